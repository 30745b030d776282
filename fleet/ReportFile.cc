#include "fleet/ReportFile.h"

#include <nlohmann/json.hpp>

namespace fleet {
namespace {

using nlohmann::json;

constexpr size_t kMaxLine = 64 * 1024;

// One line without its end; false at the end of input. A longer line ends the read at the
// limit with `tooLong` set: an endless one (a device) must not keep it going.
bool ReadLine(std::istream& in, std::string* line, bool* tooLong, bool* ended) {
  line->clear();
  *tooLong = false;
  *ended = false;
  std::streambuf* buf = in.rdbuf();
  for (;;) {
    const int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return !line->empty() || *tooLong;
    }
    if (c == '\n') {
      *ended = true;
      return true;
    }
    if (line->size() == kMaxLine) {
      *tooLong = true;
      return true;
    }
    line->push_back(static_cast<char>(c));
  }
}

bool OptionalText(const json& j, const char* key, std::string* out, std::string* error) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return true;
  if (!it->is_string()) {
    *error = std::string("\"") + key + "\" is not text";
    return false;
  }
  *out = it->get<std::string>();
  return true;
}

bool OptionalBool(const json& j, const char* key, std::optional<bool>* out, std::string* error) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return true;
  if (!it->is_boolean()) {
    *error = std::string("\"") + key + "\" is not true, false or null";
    return false;
  }
  *out = it->get<bool>();
  return true;
}

// true, false, or a word ParseWant takes ("keep" where a set kept the camera's value).
bool OptionalWant(const json& j, const char* key, std::optional<Want>* out, std::string* error) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return true;
  Want want = Want::kKeep;
  if (it->is_boolean()) {
    want = it->get<bool>() ? Want::kOn : Want::kOff;
  } else if (!it->is_string() || !ParseWant(it->get<std::string>(), &want)) {
    *error = std::string("\"") + key + "\" is not true, false or \"keep\"";
    return false;
  }
  *out = want;
  return true;
}

bool OptionalLogin(const json& j, Target* t, std::string* error) {
  auto login = j.find("login");
  if (login != j.end() && !login->is_null()) {
    if (!login->is_number_integer() || login->get<long long>() < 1 ||
        login->get<long long>() > 999999) {
      *error = "\"login\" is not a login number";
      return false;
    }
    t->login = login->get<int>();
  }
  std::string auth;
  if (!OptionalText(j, "auth", &auth, error)) return false;
  t->digest = auth == "digest";
  return true;
}

bool ReadEntry(const json& j, ReportEntry* e, std::string* error) {
  if (!j.is_object()) {
    *error = "not a JSON object";
    return false;
  }
  std::string address;
  if (!OptionalText(j, "address", &address, error)) return false;
  if (!ParseDottedQuad(address, &e->target.host)) {
    *error = "no dotted-quad \"address\"";
    return false;
  }
  if (!ParseCameraAddress(e->target.host, &e->target.host, error)) {
    *error = "\"address\": " + *error;
    return false;
  }
  auto port = j.find("port");
  if (port == j.end() || !port->is_number_integer() || port->get<long long>() < 1 ||
      port->get<long long>() > 65535) {
    *error = "no \"port\" 1-65535";
    return false;
  }
  e->target.port = port->get<int>();
  std::string user;
  if (!OptionalText(j, "user", &user, error)) return false;
  if (!user.empty()) e->target.user = user;
  if (!OptionalText(j, "name", &e->target.name, error) ||
      !OptionalText(j, "location", &e->target.location, error) ||
      !OptionalText(j, "action", &e->action, error) ||
      !OptionalText(j, "outcome", &e->outcome, error) || !OptionalBool(j, "ok", &e->ok, error)) {
    return false;
  }
  // A scan's JSON lines name what each device is.
  if (!OptionalText(j, "request", &e->request, error) ||
      !OptionalText(j, "status", &e->target.status, error)) {
    return false;
  }
  std::optional<bool> flip;
  std::optional<bool> mirror;
  if (!OptionalBool(j, "flip_before", &flip, error) ||
      !OptionalBool(j, "mirror_before", &mirror, error)) {
    return false;
  }
  if (flip && mirror) e->before = Orientation{*flip, *mirror};
  flip.reset();
  mirror.reset();
  if (!OptionalWant(j, "flip_wanted", &e->target.flip, error) ||
      !OptionalWant(j, "mirror_wanted", &e->target.mirror, error) ||
      !OptionalLogin(j, &e->target, error)) {
    return false;
  }
  // What the set sent: a kept value is the one it read.
  const auto sent = [e](std::optional<Want> want, bool Orientation::*field) -> std::optional<bool> {
    if (want == Want::kKeep && e->before) return (*e->before).*field;
    if (!want || want == Want::kKeep) return std::nullopt;
    return want == Want::kOn;
  };
  flip = sent(e->target.flip, &Orientation::flip);
  mirror = sent(e->target.mirror, &Orientation::mirror);
  if (flip && mirror) e->wanted = Orientation{*flip, *mirror};
  return true;
}

}  // namespace

bool LooksLikeJsonLines(std::istream& in) {
  std::streambuf* buf = in.rdbuf();
  // Only blanks are skipped; a list's first byte stays for the list reader.
  for (;;) {
    const int c = buf->sgetc();
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      buf->sbumpc();
      continue;
    }
    return c == '{';
  }
}

void ReadReportLines(std::istream& in, const std::string& name, std::vector<ReportEntry>* entries,
                     std::vector<std::string>* errors, std::vector<std::string>* warnings) {
  std::string line;
  bool tooLong = false;
  bool ended = false;
  size_t number = 0;
  const size_t before = entries->size();
  while (ReadLine(in, &line, &tooLong, &ended)) {
    ++number;
    const std::string where = name + ":" + std::to_string(number);
    if (tooLong) {
      // No report has such lines; reading on could take forever (a device, a huge file).
      errors->push_back(where + ": a line longer than 64 KiB: no report");
      return;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const json j = json::parse(line, nullptr, false);
    ReportEntry e;
    e.target.origin = where;
    std::string error = "not a JSON object";
    if (!j.is_discarded() && ReadEntry(j, &e, &error)) {
      entries->push_back(std::move(e));
      continue;
    }
    if (!ended && in.eof()) {
      warnings->push_back(where +
                          ": the last line is cut short (the run was stopped while "
                          "writing it); it is left out");
      break;
    }
    errors->push_back(where + ": " + error);
  }
  if (in.bad()) {
    errors->push_back(name + ": read error after line " + std::to_string(number));
  } else if (entries->size() == before && errors->empty()) {
    errors->push_back(name + ": the report names no camera");
  }
}

bool MayHaveChanged(const ReportEntry& e) {
  if (e.action.empty()) return true;  // a backup line
  if (e.action != "set") return false;
  // The set command went out; a lost reply says nothing about whether it was taken.
  if (e.request == "setmotorrange") return true;
  for (const char* sent : {"set", "set-failed", "not-applied", "no-answer-after-restart",
                           "verify-interrupted", "interrupted"}) {
    if (e.outcome == sent) return true;
  }
  return false;
}

std::string BackupLine(const Job& job, const Orientation& before, const Orientation& wanted) {
  nlohmann::ordered_json j;
  j["address"] = job.host;
  j["port"] = job.port;
  j["user"] = job.user;
  if (!job.name.empty()) j["name"] = job.name;
  if (!job.location.empty()) j["location"] = job.location;
  if (job.login > 0) j["login"] = job.login;
  if (job.digest) j["auth"] = "digest";
  j["flip_before"] = before.flip;
  j["mirror_before"] = before.mirror;
  j["flip_wanted"] = wanted.flip;
  j["mirror_wanted"] = wanted.mirror;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace fleet
