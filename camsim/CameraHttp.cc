#include "camsim/CameraHttp.h"

#include <cctype>
#include <cstdio>

namespace camsim {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool ParseRequestLine(std::string_view line, ParsedRequest* out) {
  size_t sp1 = line.find(' ');
  if (sp1 == std::string_view::npos || sp1 == 0) return false;
  size_t sp2 = line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || sp2 == sp1 + 1) return false;
  std::string_view method = line.substr(0, sp1);
  std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  std::string_view version = line.substr(sp2 + 1);
  for (char c : method) {
    if (c < 'A' || c > 'Z') return false;
  }
  if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || !std::isdigit(version[5]) ||
      version[6] != '.' || !std::isdigit(version[7])) {
    return false;
  }
  out->method.assign(method);
  out->target.assign(target);
  return true;
}

const char* StatusText(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    default:
      return "Error";
  }
}

// First value of `key` in a query string "a=1&b=2"; false when absent.
bool QueryValue(std::string_view query, std::string_view key, std::string_view* value) {
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    size_t eq = pair.find('=');
    if (pair.substr(0, eq) == key) {
      *value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
      return true;
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return false;
}

// Reads a "-flip"/"-mirror" argument; on failure `error` names what is wrong.
bool ReadSwitch(std::string_view query, std::string_view key, int* out, std::string* error) {
  std::string_view value;
  if (!QueryValue(query, key, &value)) {
    *error = "[Error] missing parameter " + std::string(key) + "\r\n";
    return false;
  }
  if (value != "0" && value != "1") {
    *error = "[Error] invalid value for " + std::string(key) + ", expected 0 or 1\r\n";
    return false;
  }
  *out = value == "1" ? 1 : 0;
  return true;
}

std::string InfoPage(const CameraSettings& camera) {
  // A locally administered MAC address derived from the port keeps fleet cameras apart.
  char mac[32];
  std::snprintf(mac, sizeof mac, "02:54:57:00:%02X:%02X", (camera.port >> 8) & 0xff,
                camera.port & 0xff);
  return "<html>\r\n<head>\r\n<title>IP Camera</title>\r\n"
         "<script type=\"text/javascript\">\r\n"
         "var device_name=\"camera-" +
         std::to_string(camera.port) +
         "\";\r\n"
         "var model=\"PT-210\";\r\n"
         "var chip_type=" +
         std::to_string(camera.chip_type) +
         ";\r\n"
         "var sensor_type=3;\r\n"
         "var sys_ver=\"4.2.1.17\";\r\n"
         "var app_ver=\"2.0.3.9\";\r\n"
         "var mac_addr=\"" +
         mac +
         "\";\r\n"
         "var ptz_support=1;\r\n"
         "</script>\r\n</head>\r\n<body></body>\r\n</html>\r\n";
}

std::string MotorRange(const Orientation& o, const CameraSettings& camera) {
  return "var pan_range=\"355\";\r\n"
         "var tilt_range=\"90\";\r\n"
         "var flip=\"" +
         (camera.flip_text.empty() ? std::to_string(o.flip) : camera.flip_text) +
         "\";\r\n"
         "var mirror=\"" +
         (camera.mirror_text.empty() ? std::to_string(o.mirror) : camera.mirror_text) +
         "\";\r\n"
         "var pan_speed=\"7\";\r\n"
         "var tilt_speed=\"7\";\r\n";
}

// 8 KiB of comment lines that hold no variable, so the real content lies far beyond the
// 2048 bytes a client may keep.
std::string Padding() {
  std::string line = "<!-- " + std::string(53, '.') + " -->\r\n";  // 64 bytes
  std::string pad;
  pad.reserve(8192);
  for (int i = 0; i < 128; ++i) pad += line;
  return pad;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

ParseStatus ParseRequest(std::string_view data, ParsedRequest* out, size_t* header_length) {
  size_t pos = 0;
  bool have_request_line = false;
  *out = ParsedRequest();
  for (;;) {
    size_t nl = data.find('\n', pos);
    std::string_view line = data.substr(pos, nl == std::string_view::npos ? data.npos : nl - pos);
    if (!have_request_line) {
      // The request line can be judged before the header is complete.
      bool line_done = nl != std::string_view::npos;
      if (line_done && !line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line_done && line.empty()) {  // empty lines before the request line are skipped
        pos = nl + 1;
        continue;
      }
      if (!line_done) return ParseStatus::kIncomplete;
      if (!ParseRequestLine(line, out)) return ParseStatus::kBad;
      have_request_line = true;
      pos = nl + 1;
      continue;
    }
    if (nl == std::string_view::npos) return ParseStatus::kIncomplete;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = nl + 1;
    if (line.empty()) {
      *header_length = pos;
      return ParseStatus::kComplete;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || out->has_authorization) continue;
    if (EqualsNoCase(Trim(line.substr(0, colon)), "Authorization")) {
      out->authorization.assign(Trim(line.substr(colon + 1)));
      out->has_authorization = true;
    }
  }
}

bool Base64Decode(std::string_view text, std::string* out) {
  out->clear();
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() % 4 == 1) return false;
  unsigned int acc = 0;
  int bits = 0;
  for (char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z') {
      v = c - 'A';
    } else if (c >= 'a' && c <= 'z') {
      v = c - 'a' + 26;
    } else if (c >= '0' && c <= '9') {
      v = c - '0' + 52;
    } else if (c == '+') {
      v = 62;
    } else if (c == '/') {
      v = 63;
    } else {
      return false;
    }
    acc = (acc << 6) | static_cast<unsigned int>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<char>((acc >> bits) & 0xff));
    }
  }
  return true;
}

bool CheckBasicAuth(std::string_view header_value, std::string_view user,
                    std::string_view password) {
  std::string_view v = Trim(header_value);
  size_t sp = v.find(' ');
  if (sp == std::string_view::npos || !EqualsNoCase(v.substr(0, sp), "Basic")) return false;
  std::string decoded;
  if (!Base64Decode(Trim(v.substr(sp + 1)), &decoded)) return false;
  return decoded.size() == user.size() + 1 + password.size() &&
         decoded.compare(0, user.size(), user) == 0 && decoded[user.size()] == ':' &&
         decoded.compare(user.size() + 1, std::string::npos, password) == 0;
}

std::string BuildResponse(bool http10, int status, std::string_view content_type,
                          std::string_view body, std::string_view challenges) {
  std::string r = http10 ? "HTTP/1.0 " : "HTTP/1.1 ";
  r += std::to_string(status);
  r += ' ';
  r += StatusText(status);
  r += "\r\nServer: tiltwise-camsim\r\nContent-Type: ";
  r += content_type;
  r += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n";
  if (status == 401 && !challenges.empty()) {
    r += challenges;
  } else if (status == 401) {
    r += "WWW-Authenticate: Basic realm=\"";
    r += kRealm;
    r += "\"\r\n";
  }
  r += "\r\n";
  r += body;
  return r;
}

std::string BadRequestResponse(bool http10) {
  return BuildResponse(http10, 400, "text/html", "400 Bad Request\r\n");
}

Outcome Respond(const ParsedRequest& request, const CameraSettings& camera,
                Orientation* orientation, const DigestContext* digest) {
  Outcome outcome;
  std::string body;
  std::string type = "text/html";
  std::string challenges;
  const DigestContext context = digest ? *digest : DigestContext();
  const AuthMode mode = digest ? camera.auth : AuthMode::kBasic;
  const AuthVerdict verdict =
      request.method != "GET"
          ? AuthVerdict{}
          : CheckLogin(request.authorization, request.has_authorization, request.target, mode,
                       camera.user, camera.password, context);
  outcome.scheme = verdict.scheme;
  if (request.method != "GET") {
    outcome.status = 405;
    body = "405 Method Not Allowed\r\n";
  } else if (!verdict.passed) {
    outcome.status = 401;
    outcome.login = verdict.login;
    body = "401 Unauthorized\r\n";
    challenges = ChallengeLines(mode, verdict.stale, context);
  } else {
    outcome.login = Login::kPassed;
    std::string_view target = request.target;
    size_t q = target.find('?');
    std::string_view path = target.substr(0, q);
    std::string_view query = q == std::string_view::npos ? "" : target.substr(q + 1);
    std::string_view cmd;
    if (path == "/qx.html" && camera.info_page) {
      outcome.status = 200;
      body = InfoPage(camera);
    } else if (path == "/param.cgi" && QueryValue(query, "cmd", &cmd) &&
               (cmd == "getmotorrange" || cmd == "setmotorrange")) {
      outcome.status = 200;
      type = "text/plain";
      if (cmd == "getmotorrange") {
        outcome.motor_range = true;
        if (camera.no_values) {
          // What a router or another web server on the port might answer.
          type = "text/html";
          body =
              "<html>\r\n<head><title>Welcome</title></head>\r\n<body>It "
              "works.</body>\r\n</html>\r\n";
        } else {
          body = MotorRange(*orientation, camera);
        }
      } else {
        Orientation wanted;
        if (ReadSwitch(query, "-flip", &wanted.flip, &body) &&
            ReadSwitch(query, "-mirror", &wanted.mirror, &body)) {
          *orientation = wanted;
          outcome.restart = true;
          body = "[Succeed]set ok, camera restarting.\r\n";
        }
      }
    } else {
      outcome.status = 404;
      body = "404 Not Found\r\n";
    }
  }
  if (camera.oversize) body = Padding() + body;
  outcome.reply = BuildResponse(camera.http10, outcome.status, type, body, challenges);
  return outcome;
}

std::string PrintableTarget(std::string_view target) {
  std::string s(target);
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7e) c = '?';
  }
  return s;
}

}  // namespace camsim
