#include "cli/ScanCommand.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

#include "base/Clock.h"
#include "cgi/net.h"
#include "cli/Ranges.h"
#include "cli/Report.h"

namespace cli {

const char kScanCsvHeader[] = "host,port,user,status,chip_type,flip_now,mirror_now";

namespace {

constexpr size_t kMaxLine = 64 * 1024;
constexpr std::uint64_t kDefaultMaxAddresses = 65536;

const char kScanFooter[] =
    "RANGE: a CIDR block (192.168.1.0/24; from /30 down the network and broadcast addresses\n"
    "are left out), a from-to range (192.168.1.10-192.168.1.60 or 192.168.1.10-60) or one\n"
    "address. Every address is tried on every --port at once, without waiting for silent ones;\n"
    "only those that accept a connection get the information page, and the cameras among\n"
    "them the orientation read. Each credential set is tried at most once per device, in\n"
    "order: the password sources below first, then the lines of --credentials; a 403, 423 or\n"
    "429 ends the tries on that device.\n"
    "\n"
    "Found: camera, auth-failed (401 to every credential set, or locked), not-a-camera\n"
    "(answers, but neither its information page nor its motor range is a camera's) and\n"
    "no-answer (shown only with --all).\n"
    "--csv writes the site list, host,port,user,status,chip_type,flip_now,mirror_now, with the\n"
    "cameras and auth-failed devices; set --input takes it as it is, the current values being\n"
    "for information only.\n"
    "\n"
    "Password: --password-file FILE, --password-stdin, TILTWISE_PASSWORD or a prompt, and/or\n"
    "--credentials FILE with lines user:password; never as an argument.\n"
    "Exit status: 0 the scan ran (finding nothing included), 1 the output could not be\n"
    "written, 2 usage error, 130 stopped by Ctrl-C (what was found so far is shown; a\n"
    "second Ctrl-C leaves out the devices still being probed instead of waiting for them).\n"
    "\n"
    "Example:\n"
    "  tiltwise-cli scan 192.168.1.0/24 --credentials site-logins.txt --csv > site.csv\n"
    "  tiltwise-cli set --flip on --mirror off --input site.csv --dry-run";

struct ScanCommandLine {
  std::vector<std::string> ranges;
  std::string ports = "80";
  std::string user = "admin";
  std::string passwordFile;
  bool passwordStdin = false;
  std::string credentialsFile;
  int jobs = 64;
  int timeoutMs = 3000;
  int deadlineSeconds = 10;
  bool json = false;
  bool csv = false;
  bool all = false;
  std::uint64_t maxAddresses = kDefaultMaxAddresses;
};

const char* OnOff(const std::optional<bool>& v) {
  return !v ? "" : *v ? "on" : "off";
}

// Quoted when a reader would otherwise split or trim it.
std::string CsvField(const std::string& value) {
  const bool plain = value.find_first_of(",\"\r\n") == std::string::npos &&
                     (value.empty() || (value.front() != ' ' && value.back() != ' '));
  if (plain) return value;
  std::string out = "\"";
  for (char c : value) {
    if (c == '\r' || c == '\n') c = ' ';  // one line per device, whatever the name holds
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

bool InList(const ScanResult& r) {
  return r.kind == DeviceClass::kCamera || r.kind == DeviceClass::kAuthFailed;
}

int Parse(int argc, const char* const* argv, ScanCommandLine* o, std::ostream& out,
          std::ostream& err) {
  if (MentionsPasswordArgument(argc, argv)) {
    err << "tiltwise-cli: a password is never taken as an argument (others could read it in "
           "the process list); use --password-file FILE, --password-stdin, TILTWISE_PASSWORD "
           "or --credentials FILE\n";
    return kExitUsage;
  }
  CLI::App app(
      "Finds the cameras in address ranges, with their chip type and current Flip and "
      "Mirror, and writes the site's camera list.",
      "tiltwise-cli scan");
  app.footer(kScanFooter);
  app.add_option("ranges", o->ranges, "Address ranges: CIDR, FROM-TO, FROM-LAST_OCTET or ADDRESS")
      ->type_name("RANGE");
  app.add_option("--port", o->ports, "Ports to try on every address, separated by commas")
      ->type_name("P[,P...]")
      ->capture_default_str();
  app.add_option("-u,--user", o->user, "User name of the password from the password sources")
      ->capture_default_str();
  app.add_option("--password-file", o->passwordFile, "Read the password from the file's first line")
      ->type_name("FILE");
  app.add_flag("--password-stdin", o->passwordStdin,
               "Read the password from the first line of standard input");
  app.add_option("--credentials", o->credentialsFile,
                 "Further credential sets, one user:password per line, tried in order")
      ->type_name("FILE");
  app.add_option("-j,--jobs", o->jobs, "Devices probed at once (connects are not limited by it)")
      ->check(CLI::Range(1, 256))
      ->capture_default_str();
  app.add_option("--timeout", o->timeoutMs,
                 "Connect limit, and limit of each wait for a device, in milliseconds")
      ->type_name("MS")
      ->check(CLI::Range(1, 600000))
      ->capture_default_str();
  app.add_option("--deadline", o->deadlineSeconds,
                 "Hard limit for one device's requests, in seconds")
      ->type_name("SECONDS")
      ->check(CLI::Range(1, 86400))
      ->capture_default_str();
  CLI::Option* json = app.add_flag("--json", o->json, "One JSON object per device found");
  CLI::Option* csv = app.add_flag("--csv", o->csv, "The camera list as CSV, for set --input");
  json->excludes(csv);
  app.add_flag("--all", o->all, "Show the addresses without an answer too (not in --csv)");
  app.add_option("--max-addresses", o->maxAddresses, "Most addresses one run may scan")
      ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1} << 24))
      ->capture_default_str();
  try {
    app.parse(argc - 1, argv + 1);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
  }
  if (o->ranges.empty()) {
    err << "tiltwise-cli: no range given: name CIDR blocks, FROM-TO ranges or addresses\n"
           "Run tiltwise-cli scan --help for more information.\n";
    return kExitUsage;
  }
  if (o->passwordStdin && !o->passwordFile.empty()) {
    err << "tiltwise-cli: give either --password-file or --password-stdin, not both\n";
    return kExitUsage;
  }
  return -1;
}

// Reads one line of at most kMaxLine bytes; false at the end of the input.
bool ReadLine(std::istream& in, std::string* line, bool* tooLong) {
  line->clear();
  *tooLong = false;
  int c = 0;
  bool any = false;
  while ((c = in.get()) != std::char_traits<char>::eof()) {
    any = true;
    if (c == '\n') return true;
    if (line->size() >= kMaxLine) {
      *tooLong = true;
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      return true;
    }
    line->push_back(static_cast<char>(c));
  }
  return any;
}

}  // namespace

void ReadCredentials(std::istream& in, const std::string& name, std::vector<Credential>* out,
                     std::vector<std::string>* errors) {
  std::string line;
  bool tooLong = false;
  size_t number = 0;
  std::set<std::pair<std::string, std::string>> seen;
  for (const Credential& c : *out) seen.emplace(c.user, c.password);
  while (ReadLine(in, &line, &tooLong)) {
    ++number;
    const std::string where = name + ":" + std::to_string(number) + ": ";
    if (tooLong) {
      errors->push_back(where + "line longer than 64 KiB");
      continue;
    }
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) {
      errors->push_back(where + "not user:password (no colon)");
    } else if (colon == 0) {
      errors->push_back(where + "no user name before the colon");
    } else if (colon + 1 == line.size()) {
      errors->push_back(where + "empty password after the colon");
    } else if (seen.emplace(line.substr(0, colon), line.substr(colon + 1)).second) {
      out->push_back({line.substr(0, colon), line.substr(colon + 1)});
    }
  }
  if (in.bad()) errors->push_back(name + ": read error after line " + std::to_string(number));
}

std::string ScanJsonLine(const ScanResult& r) {
  nlohmann::ordered_json j;
  j["address"] = r.host;
  j["port"] = r.port;
  j["status"] = DeviceClassName(r.kind);
  j["user"] = r.user.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(r.user);
  j["chip_type"] = r.chipType ? nlohmann::ordered_json(*r.chipType) : nlohmann::ordered_json();
  j["flip_now"] = r.flip ? nlohmann::ordered_json(*r.flip) : nlohmann::ordered_json();
  j["mirror_now"] = r.mirror ? nlohmann::ordered_json(*r.mirror) : nlohmann::ordered_json();
  j["cause"] = CauseName(r.cause);  // as the other commands write it
  if (r.request != Request::kNone) j["request"] = RequestName(r.request);
  if (r.httpStatus != 0) j["http_status"] = r.httpStatus;
  if (!r.detail.empty()) j["detail"] = r.detail;
  j["elapsed_ms"] = r.elapsedMs;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string ScanCsv(const std::vector<ScanResult>& results) {
  std::string text = std::string(kScanCsvHeader) + "\n";
  for (const ScanResult& r : results) {
    if (!InList(r)) continue;
    text += r.host + "," + std::to_string(r.port) + "," + CsvField(r.user) + "," +
            DeviceClassName(r.kind) + "," + (r.chipType ? std::to_string(*r.chipType) : "") + "," +
            OnOff(r.flip) + "," + OnOff(r.mirror) + "\n";
  }
  return text;
}

std::string ScanTable(const std::vector<ScanResult>& results) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"ADDRESS", "STATUS", "CHIP", "FLIP", "MIRROR", "USER", "CAUSE"});
  for (const ScanResult& r : results) {
    auto orDash = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    std::string cause = r.cause == Cause::kNone ? "" : CauseName(r.cause);
    if (!r.detail.empty()) cause += (cause.empty() ? "" : ": ") + r.detail;
    rows.push_back({r.host + ":" + std::to_string(r.port), DeviceClassName(r.kind),
                    r.chipType ? std::to_string(*r.chipType) : "-", orDash(OnOff(r.flip)),
                    orDash(OnOff(r.mirror)), orDash(r.user), cause});
  }
  return AlignColumns(rows);
}

std::string ScanSummary(const ScanProgress& p, size_t addresses, size_t ports) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(p.elapsedMs) / 1000.0);
  std::string text = std::to_string(addresses) + (addresses == 1 ? " address" : " addresses");
  if (ports > 1) text += " x " + std::to_string(ports) + " ports";
  text += ": " + std::to_string(p.cameras) + (p.cameras == 1 ? " camera, " : " cameras, ") +
          std::to_string(p.authFailed) + " auth-failed, " + std::to_string(p.notACamera) +
          " not-a-camera, " + std::to_string(p.noAnswer) + " no-answer, " + seconds;
  if (p.swept < p.total || p.probed < p.open) {
    text += " (stopped: " + std::to_string(p.total - p.swept) + " not tried, " +
            std::to_string(p.open - p.probed) + " not probed)";
  }
  return text;
}

int RunScanCommand(int argc, const char* const* argv, const PasswordSources& passwords,
                   const std::atomic<bool>& stop, const std::atomic<bool>* hardStop,
                   std::ostream& out, std::ostream& err, bool progressOnTerminal) {
  ScanCommandLine o;
  if (const int parsed = Parse(argc, argv, &o, out, err); parsed >= 0) return parsed;
  auto usage = [&err](const std::vector<std::string>& errors) {
    for (size_t i = 0; i < errors.size() && i < 20; ++i)
      err << "tiltwise-cli: " << errors[i] << "\n";
    if (errors.size() > 20) err << "tiltwise-cli: ... and " << errors.size() - 20 << " more\n";
    err << "tiltwise-cli: nothing was scanned\n";
    return kExitUsage;
  };

  std::vector<std::string> errors;
  std::vector<AddressRange> ranges;
  for (const std::string& text : o.ranges) {
    AddressRange r;
    std::string error;
    if (ParseRange(text, &r, &error)) {
      ranges.push_back(r);
    } else {
      errors.push_back(error);
    }
  }
  std::vector<int> ports;
  std::string error;
  if (!ParsePortList(o.ports, &ports, &error)) errors.push_back("--port: " + error);
  std::vector<std::uint32_t> addresses;
  if (errors.empty() && !ExpandRanges(ranges, o.maxAddresses, &addresses, &error)) {
    errors.push_back(error);
  }
  if (!errors.empty()) return usage(errors);

  // The password sources first, as the other commands use them; with --credentials they are
  // only asked when one is named.
  std::vector<Credential> logins;
  CliOptions po;
  po.user = o.user;
  po.passwordFile = o.passwordFile;
  po.passwordStdin = o.passwordStdin;
  const std::optional<std::string> env = passwords.environment();
  if (o.credentialsFile.empty() || !o.passwordFile.empty() || o.passwordStdin ||
      (env && !env->empty())) {
    std::string password;
    if (!ObtainPassword(po, passwords, &password, &error)) {
      if (stop.load()) return kExitInterrupted;
      return usage({error + "; or --credentials FILE"});
    }
    logins.push_back({o.user, std::move(password)});
  }
  if (!o.credentialsFile.empty()) {
    std::ifstream in(o.credentialsFile, std::ios::binary);
    if (!in) return usage({o.credentialsFile + ": cannot be read"});
    ReadCredentials(in, o.credentialsFile, &logins, &errors);
    if (!errors.empty()) return usage(errors);
    if (logins.empty()) return usage({o.credentialsFile + ": no user:password line"});
  }
  if (stop.load()) return kExitInterrupted;

  std::vector<Endpoint> endpoints;
  endpoints.reserve(addresses.size() * ports.size());
  for (std::uint32_t a : addresses) {
    for (int p : ports) endpoints.push_back({a, p});
  }
  ScanOptions so;
  so.credentials = std::move(logins);
  so.jobs = o.jobs;
  so.timeoutMs = o.timeoutMs;
  so.deadlineMs = o.deadlineSeconds * 1000;
  so.keepNoAnswer = o.all;
  so.hardStop = hardStop;

  if (!net::Startup()) {
    err << "tiltwise-cli: the socket library cannot be started\n";
    return kExitFailed;
  }
  std::mutex mu;
  bool outputFailed = false;
  size_t drawn = 0;
  auto clearProgress = [&] {
    if (drawn == 0) return;
    err << '\r' << std::string(drawn, ' ') << '\r' << std::flush;
    drawn = 0;
  };
  ScanProgress progress;
  // Ctrl-C, or nobody left to read what is found: either ends the scan.
  std::atomic<bool> halt{false};
  const std::vector<ScanResult> results = RunScan(
      endpoints, so, halt,
      [&](const ScanResult& r) {
        if (!o.json) return;
        std::lock_guard<std::mutex> lock(mu);
        clearProgress();
        if (!outputFailed) {
          out << ScanJsonLine(r) << "\n" << std::flush;
          outputFailed = !out;
          if (outputFailed) halt = true;
        }
      },
      [&](const ScanProgress& p) {
        if (stop.load()) halt = true;
        if (!progressOnTerminal) return;
        std::lock_guard<std::mutex> lock(mu);
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s", static_cast<double>(p.elapsedMs) / 1000.0);
        const std::string text = std::to_string(p.swept) + "/" + std::to_string(p.total) +
                                 " tried, " + std::to_string(p.open) + " answered, " +
                                 std::to_string(p.cameras) +
                                 (p.cameras == 1 ? " camera, " : " cameras, ") + seconds +
                                 (p.stopping ? ", stopping" : "");
        err << '\r' << text;
        if (text.size() < drawn) err << std::string(drawn - text.size(), ' ');
        err << std::flush;
        drawn = std::max(drawn, text.size());
      },
      &progress, 100);
  if (hardStop == nullptr || !hardStop->load()) net::Cleanup();
  {
    std::lock_guard<std::mutex> lock(mu);
    clearProgress();
  }
  if (!outputFailed && !o.json) {
    out << (o.csv ? ScanCsv(results) : ScanTable(results)) << std::flush;
    outputFailed = !out;
  }
  // The summary is no data: on stdout only beside the table.
  const std::string summary = ScanSummary(progress, addresses.size(), ports.size());
  if (!o.json && !o.csv && !outputFailed) {
    out << summary << "\n" << std::flush;
    outputFailed = !out;
  } else if (progressOnTerminal) {
    err << summary << "\n";
  }
  if (outputFailed) {
    err << "tiltwise-cli: writing the scan's results failed\n";
    return kExitFailed;
  }
  if (hardStop != nullptr && hardStop->load()) {
    err << "tiltwise-cli: stopped at once: devices being probed are left out\n";
    out.flush();
    err.flush();
    std::_Exit(kExitInterrupted);  // abandoned probes may still be inside an exchange
  }
  return stop.load() ? kExitInterrupted : kExitOk;
}

}  // namespace cli
