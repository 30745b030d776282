#include "camsim/CommandLine.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "base/IPv4Address.h"

namespace camsim {
namespace {

bool ParseInt(const std::string& text, NumberRange range, int* out) {
  if (text.empty() || text.size() > 11) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!(c >= '0' && c <= '9') && !(i == 0 && c == '-' && text.size() > 1)) return false;
  }
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value < range.min || value > range.max) return false;
  *out = static_cast<int>(value);
  return true;
}

// "PORT:VALUE" or "@INDEX:VALUE"; the value may itself hold colons (a password).
bool ParseCameraValue(const std::string& option, const std::string& text, CameraSelector* camera,
                      std::string* value, std::string* error) {
  size_t colon = text.find(':');
  std::string which = text.substr(0, colon);
  bool by_index = !which.empty() && which[0] == '@';
  int number = 0;
  bool ok = colon != std::string::npos &&
            (by_index ? ParseInt(which.substr(1), {0, kCameraCountRange.max - 1}, &number)
                      : ParseInt(which, {1, kPortRange.max}, &number));
  if (!ok) {
    *error = option + " " + text + ": expected PORT:VALUE or @INDEX:VALUE";
    return false;
  }
  camera->by_index = by_index;
  camera->value = number;
  *value = text.substr(colon + 1);
  return true;
}

constexpr NumberRange kAnyInt{INT_MIN, INT_MAX};
constexpr long kDaySeconds = 86400;

struct OptionSpec {
  const char* name;
  bool takes_value;
};

constexpr OptionSpec kOptions[] = {
    {"-h", false},
    {"--help", false},
    {"--no-info-page", false},
    {"--http10", false},
    {"--quiet", false},
    {"--bind", true},
    {"--port", true},
    {"--base-port", true},
    {"--cameras", true},
    {"--user", true},
    {"--password", true},
    {"--chip-type", true},
    {"--flip", true},
    {"--mirror", true},
    {"--reboot-seconds", true},
    {"--fault", true},
    {"--chip-type-at", true},
    {"--user-at", true},
    {"--password-at", true},
    {"--hosts", true},
    {"--lockout-after", true},
    {"--version", false},
    {"--auth", true},
    {"--auth-at", true},
    {"--nonce-lifetime", true},
    {"--flip-text", true},
    {"--mirror-text", true},
};

bool Number(const std::string& name, const std::string& value, NumberRange range, int* out,
            std::string* error) {
  if (ParseInt(value, range, out)) return true;
  *error = NumberError(name, value, range);
  return false;
}

// "--auth: unknown mode 'ntlm' (expected ...)"; `where` is the option, with its value for
// --auth-at.
bool UnknownMode(const std::string& where, const std::string& mode, std::string* error) {
  *error = where + ": unknown mode '" + mode + "' (expected basic, digest, digest-sha256 or any)";
  return false;
}

// Applies one option with its value to `cl`.
bool Apply(const std::string& name, const std::string& value, CommandLine* cl,
           SimulatorOptions* options, std::string* error) {
  SimulatorOptions& o = *options;
  if (name == "-h" || name == "--help") {
    cl->help = true;
  } else if (name == "--version") {
    cl->version = true;
  } else if (name == "--hosts") {
    const size_t dash = value.find('-');
    const std::optional<tw::IPv4Address> from =
        dash == std::string::npos ? std::nullopt : tw::IPv4Address::Parse(value.substr(0, dash));
    const std::optional<tw::IPv4Address> to =
        dash == std::string::npos ? std::nullopt : tw::IPv4Address::Parse(value.substr(dash + 1));
    if (!from || !to) {
      *error = "--hosts " + value + ": expected FIRST-LAST, two dotted-quad addresses";
      return false;
    }
    const uint32_t first = from->hostOrder();
    const uint32_t last = to->hostOrder();
    if (first >> 24 != 127 || last >> 24 != 127) {
      *error = "--hosts " + value + ": the addresses must lie in 127.0.0.0/8 (loopback)";
      return false;
    }
    if (last < first || last - first >= 65535) {
      *error = "--hosts " + value + ": expected FIRST <= LAST, at most 65535 addresses";
      return false;
    }
    o.bind_address = from->ToString();
    o.cameras = static_cast<int>(last - first + 1);
    o.address_per_camera = true;
  } else if (name == "--lockout-after") {
    return Number(name, value, kLockoutRange, &o.lockout_after, error);
  } else if (name == "--auth") {
    if (!ParseAuthMode(value, &o.auth)) return UnknownMode(name, value, error);
  } else if (name == "--nonce-lifetime") {
    int seconds = 0;
    if (!Number(name, value, {1, kDaySeconds}, &seconds, error)) return false;
    o.nonce_lifetime = std::chrono::seconds(seconds);
  } else if (name == "--no-info-page") {
    o.info_page = false;
  } else if (name == "--http10") {
    o.http10 = true;
  } else if (name == "--quiet") {
    o.print_requests = false;
  } else if (name == "--bind") {
    o.bind_address = value;  // read by MakeSetup()
  } else if (name == "--port" || name == "--base-port") {
    return Number(name, value, kPortRange, &o.port, error);
  } else if (name == "--cameras") {
    return Number(name, value, kCameraCountRange, &o.cameras, error);
  } else if (name == "--user") {
    o.user = value;
  } else if (name == "--password") {
    o.password = value;
  } else if (name == "--chip-type") {
    return Number(name, value, kAnyInt, &o.chip_type, error);
  } else if (name == "--flip") {
    return Number(name, value, kSwitchRange, &o.flip, error);
  } else if (name == "--mirror") {
    return Number(name, value, kSwitchRange, &o.mirror, error);
  } else if (name == "--flip-text" || name == "--mirror-text") {
    // Quotes or line ends would change the reply's form, not just the value.
    if (value.empty() || value.find_first_of("\"\r\n") != std::string::npos) {
      *error = name + ": give a text without quotes or line ends: '" + value + "'";
      return false;
    }
    (name == "--flip-text" ? o.flip_text : o.mirror_text) = value;
  } else if (name == "--reboot-seconds") {
    int seconds = 0;
    if (!Number(name, value, {0, kDaySeconds}, &seconds, error)) return false;
    o.reboot_time = std::chrono::seconds(seconds);
  } else {  // the per-camera options
    CameraOverride ov;
    std::string v;
    if (!ParseCameraValue(name, value, &ov.camera, &v, error)) return false;
    if (name == "--fault") {
      Fault fault;
      if (!ParseFault(v, &fault) || fault == Fault::kNone) {
        *error = "--fault " + value + ": unknown kind '" + v +
                 "' (expected silent, close, trickle, oversize, novalues, reset, dropset, "
                 "slowset, forget or twice)";
        return false;
      }
      ov.fault = fault;
    } else if (name == "--chip-type-at") {
      int chip_type = 0;
      if (!Number(name, v, kAnyInt, &chip_type, error)) return false;
      ov.chip_type = chip_type;
    } else if (name == "--user-at") {
      ov.user = v;
    } else if (name == "--auth-at") {
      AuthMode mode;
      if (!ParseAuthMode(v, &mode)) return UnknownMode(name + " " + value, v, error);
      ov.auth = mode;
    } else {
      ov.password = v;
    }
    o.overrides.push_back(ov);
  }
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, CommandLine* out, std::string* error) {
  CommandLine cl;
  SimulatorOptions o;
  o.print_requests = true;
  o.log_capacity = 0;  // the program prints its log; it keeps none in memory
  bool port_given = false;
  bool base_port_given = false;
  bool cameras_given = false;
  bool bind_given = false;

  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool inline_value = false;
    size_t eq = name.find('=');
    if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      inline_value = true;
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : kOptions) {
      if (name == s.name) spec = &s;
    }
    if (!spec) {
      *error =
          (args[i].rfind("-", 0) == 0 ? "unknown option: " : "unexpected argument: ") + args[i];
      return false;
    }
    if (!spec->takes_value && inline_value) {
      *error = name + " takes no value";
      return false;
    }
    if (spec->takes_value && !inline_value) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (!Apply(name, value, &cl, &o, error)) return false;
    port_given |= name == "--port";
    base_port_given |= name == "--base-port";
    cameras_given |= name == "--cameras";
    bind_given |= name == "--bind";
  }
  if (o.address_per_camera && (cameras_given || bind_given)) {
    *error = std::string("--hosts gives one camera per address; drop ") +
             (cameras_given ? "--cameras" : "--bind");
    return false;
  }

  if (port_given && base_port_given) {
    *error = "--port and --base-port both set the first port; give one of them";
    return false;
  }
  if (!MakeSetup(std::move(o), &cl.setup, error)) return false;
  *out = std::move(cl);
  return true;
}

const char* UsageText() {
  return "Usage: tiltwise-camsim [OPTION]...\n"
         "Stands in for network cameras' web servers: the information page /qx.html and the\n"
         "param.cgi commands getmotorrange and setmotorrange, behind Basic or Digest\n"
         "authentication.\n"
         "\n"
         "  --bind ADDR             numeric address to listen on (default 127.0.0.1)\n"
         "  --port P                the camera's port; 0 = any free port (default 8080)\n"
         "  --cameras N             run N independent cameras on ports P..P+N-1 (default 1)\n"
         "  --hosts FIRST-LAST      instead, one camera on each address of a range inside\n"
         "                          127.0.0.0/8, all on port P (0: one free port for all)\n"
         "  --base-port P           the first camera's port; the same as --port\n"
         "  --user USER             user name the cameras accept (default admin)\n"
         "  --password PASS         password the cameras accept (default quillpen)\n"
         "  --chip-type N           chip_type on the information page (default 71)\n"
         "  --flip 0|1              starting flip setting (default 0)\n"
         "  --mirror 0|1            starting mirror setting (default 0)\n"
         "  --flip-text TEXT        getmotorrange shows TEXT as flip's value (such as 2)\n"
         "  --mirror-text TEXT      the same for mirror\n"
         "  --no-info-page          answer /qx.html with 404 Not Found\n"
         "  --http10                status lines say HTTP/1.0 instead of HTTP/1.1\n"
         "  --reboot-seconds N      after a successful set the camera restarts: it refuses\n"
         "                          connections for N seconds (default 0: back at once)\n"
         "  --lockout-after N       after N failed logins in a row (wrong credentials) a\n"
         "                          camera answers 403 Forbidden to everything until it\n"
         "                          restarts (default 0: never); Basic sent to a camera\n"
         "                          that wants Digest is a failed login, a request without\n"
         "                          credentials is none\n"
         "  --auth MODE             the login the cameras ask for: basic (default), digest\n"
         "                          (Digest with MD5), digest-sha256 (Digest with SHA-256\n"
         "                          only) or any (Basic and both Digest algorithms)\n"
         "  --auth-at CAM:MODE      another login mode for one camera\n"
         "  --nonce-lifetime S      Digest nonces older than S seconds are answered with\n"
         "                          stale=true (default 300); a restart forgets them all\n"
         "  --fault CAM:KIND        make one camera misbehave; KIND is one of\n"
         "                            silent    read the request, never answer\n"
         "                            close     accept and close without a byte\n"
         "                            trickle   send the reply one byte a second\n"
         "                            oversize  an 8 KiB reply, content after byte 2048\n"
         "                            novalues  getmotorrange: 200 OK, a page without the values\n"
         "                            reset     getmotorrange: the header, then a reset before\n"
         "                                      the values\n"
         "                            dropset   apply a set, restart, close without a reply\n"
         "                            slowset   apply a set, restart, reply 5 s later\n"
         "                            forget    apply a set, answer with the new values, then\n"
         "                                      2 s later restart back to the old ones\n"
         "                            twice     come back from a set's restart with the old\n"
         "                                      values, restart again 2 s later, then hold\n"
         "                                      the new ones\n"
         "  --chip-type-at CAM:N    another chip type for one camera\n"
         "  --user-at CAM:USER      another user name for one camera\n"
         "  --password-at CAM:PASS  another password for one camera\n"
         "  --quiet                 print no request or restart lines\n"
         "  -h, --help              show this help and exit\n"
         "      --version           show the version and exit\n"
         "\n"
         "CAM is a port number, or @I for the I-th camera counted from 0 (needed with --port 0\n"
         "and with --hosts, where cameras count in address order).\n"
         "Options given twice: the last one counts; per-camera options add up.\n"
         "\n"
         "Once ready it prints \"listening on ADDR:PORT\", for a fleet \"ADDR:FIRST-LAST (N\n"
         "cameras)\" or with --hosts \"FIRST-LAST:PORT (N cameras)\". Then, unless --quiet,\n"
         "one line for each request, \"PORT METHOD PATH STATUS\" (with --hosts \"ADDR:PORT\n"
         "METHOD PATH STATUS\"; a camera that asks for Digest adds the login the request\n"
         "used: basic, digest or none), and with --reboot-seconds above 0 two for each restart:\n"
         "\"ADDR:PORT restart begins\" when the camera stops listening and\n"
         "\"ADDR:PORT restart ends\" once it accepts connections again.\n"
         "The cameras never wait for that output: lines its reader does not take in time are\n"
         "dropped, and at the stop \"N log lines dropped\" on stderr says how many.\n"
         "Stops on SIGINT or SIGTERM.\n"
         "Exit status: 0 after a stop by signal, 1 when it cannot listen, 2 on bad usage.\n";
}

std::string ListeningLine(const CameraSimulator& sim) {
  const std::vector<std::string>& hosts = sim.hosts();
  const std::vector<int>& ports = sim.ports();
  if (hosts.size() > 1 && hosts.front() != hosts.back()) {
    return "listening on " + hosts.front() + "-" + hosts.back() + ":" +
           std::to_string(ports.front()) + " (" + std::to_string(hosts.size()) + " cameras)";
  }
  std::string line = "listening on " + sim.address();
  if (ports.size() > 1) {
    line += "-" + std::to_string(ports.back()) + " (" + std::to_string(ports.size()) + " cameras)";
  }
  return line;
}

}  // namespace camsim
