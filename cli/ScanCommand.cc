#include "cli/ScanCommand.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "base/Clock.h"
#include "cli/Report.h"
#include "cli/Terminal.h"
#include "fleet/Csv.h"
#include "fleet/Ranges.h"
#include "fleet/Runner.h"

namespace cli {

const char kScanCsvHeader[] = "host,port,user,login,auth,status,chip_type,flip_now,mirror_now";

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
    "(answers, but neither its information page nor its motor range is a camera's), no-reply\n"
    "(accepted the connection, then no usable reply: silent, closed at once, too slow; a\n"
    "camera restarting looks like this) and no-answer (nothing accepted; only with --all).\n"
    "--csv writes the site list, host,port,user,login,auth,status,chip_type,flip_now,\n"
    "mirror_now, with the cameras, auth-failed and no-reply devices; set --input takes it as it\n"
    "is: login is the number of the login that worked (never a password), auth basic or\n"
    "digest; the current values are for information only.\n"
    "\n"
    "Password: --password-file FILE, --password-stdin, TILTWISE_PASSWORD or a prompt, and/or\n"
    "--credentials FILE with lines user:password; never as an argument.\n"
    "Times take a unit: 500ms, 3s, 2m (a bare number: --timeout in milliseconds, --deadline\n"
    "in seconds).\n"
    "Exit status: 0 the scan ran (whatever it found), 1 the output could not be written or\n"
    "this machine's limits (open files) kept addresses from being tried, 2 usage error, 130 "
    "stopped by Ctrl-C (what was found so far is shown; a\n"
    "second Ctrl-C leaves out the devices still being probed instead of waiting for them).\n"
    "\n"
    "Examples:\n"
    "  $ tiltwise-cli scan 192.168.1.0/24 --credentials site-logins.txt --csv > site.csv\n"
    "  $ tiltwise-cli scan 192.168.1.10-60 192.168.2.0/24 --port 80,8080 --timeout 1s --all\n"
    "  $ tiltwise-cli set --flip on --mirror off --input site.csv --dry-run";

namespace {

const char* OnOff(const std::optional<bool>& v) {
  return !v ? "" : *v ? "on" : "off";
}

bool InList(const fleet::ScanResult& r) {
  return r.kind == fleet::DeviceClass::kCamera || r.kind == fleet::DeviceClass::kAuthFailed ||
         r.kind == fleet::DeviceClass::kNoReply;
}

std::string Login(const fleet::ScanResult& r) {
  return r.login > 0 ? std::to_string(r.login) : "";
}

std::string CauseText(const fleet::ScanResult& r) {
  std::string cause = r.cause == Cause::kNone ? "" : CauseName(r.cause);
  if (!r.detail.empty()) cause += (cause.empty() ? "" : ": ") + r.detail;
  return cause;
}

// The devices to look at again, after a table too long for the screen.
std::string ScanFailures(const std::vector<fleet::ScanResult>& results) {
  std::vector<std::vector<std::string>> rows;
  for (const fleet::ScanResult& r : results) {
    if (r.kind != fleet::DeviceClass::kAuthFailed && r.kind != fleet::DeviceClass::kNoReply) {
      continue;
    }
    rows.push_back({"  " + r.host + ":" + std::to_string(r.port), fleet::DeviceClassName(r.kind),
                    CauseText(r)});
  }
  if (rows.empty()) return "";
  return "\nNot reached (" + std::to_string(rows.size()) + "):\n" + AlignColumns(rows);
}

}  // namespace

std::string ScanJsonLine(const fleet::ScanResult& r) {
  nlohmann::ordered_json j;
  j["address"] = r.host;
  j["port"] = r.port;
  j["status"] = fleet::DeviceClassName(r.kind);
  j["user"] = r.user.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(r.user);
  j["login"] = r.login > 0 ? nlohmann::ordered_json(r.login) : nlohmann::ordered_json();
  j["auth"] = r.auth.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(r.auth);
  if (!r.algorithm.empty()) j["auth_algorithm"] = r.algorithm;
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

std::string ScanCsv(const std::vector<fleet::ScanResult>& results) {
  std::string text = std::string(kScanCsvHeader) + "\n";
  for (const fleet::ScanResult& r : results) {
    if (!InList(r)) continue;
    text += r.host + "," + std::to_string(r.port) + "," + fleet::CsvCell(r.user) + "," + Login(r) +
            "," + r.auth + "," + fleet::DeviceClassName(r.kind) + "," +
            (r.chipType ? std::to_string(*r.chipType) : "") + "," + OnOff(r.flip) + "," +
            OnOff(r.mirror) + "\n";
  }
  return text;
}

std::string ScanTable(const std::vector<fleet::ScanResult>& results) {
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"ADDRESS", "STATUS", "CHIP", "FLIP", "MIRROR", "USER", "LOGIN", "CAUSE"});
  for (const fleet::ScanResult& r : results) {
    auto orDash = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    rows.push_back({r.host + ":" + std::to_string(r.port), fleet::DeviceClassName(r.kind),
                    r.chipType ? std::to_string(*r.chipType) : "-", orDash(OnOff(r.flip)),
                    orDash(OnOff(r.mirror)), orDash(r.user), orDash(Login(r)), CauseText(r)});
  }
  return AlignColumns(rows);
}

std::string ScanSummary(const fleet::ScanProgress& p, size_t addresses, size_t ports) {
  const std::string seconds = Seconds(p.elapsedMs);
  std::string text = std::to_string(addresses) + (addresses == 1 ? " address" : " addresses");
  if (ports > 1) text += " x " + std::to_string(ports) + " ports";
  text += ": " + std::to_string(p.cameras) + (p.cameras == 1 ? " camera, " : " cameras, ") +
          std::to_string(p.authFailed) + " auth-failed, " + std::to_string(p.notACamera) +
          " not-a-camera, " + std::to_string(p.noReply) + " no-reply, " +
          std::to_string(p.noAnswer) + " no-answer, " + seconds;
  if (p.swept < p.total || p.probed < p.open) {
    text += " (stopped: " + std::to_string(p.total - p.swept) + " not tried, " +
            std::to_string(p.open - p.probed) + " not probed)";
  }
  return text;
}

int RunScanCommand(const CliOptions& o, const PasswordSources& passwords,
                   const std::atomic<bool>& stop, const std::atomic<bool>* hardStop,
                   std::ostream& out, std::ostream& err, bool progressOnTerminal,
                   bool outputOnTerminal) {
  auto usage = [&err](const std::vector<std::string>& errors) {
    return UsageErrors(err, errors, "nothing was scanned");
  };

  std::vector<std::string> errors;
  std::vector<fleet::AddressRange> ranges;
  for (const std::string& text : o.ranges) {
    fleet::AddressRange r;
    std::string error;
    if (fleet::ParseRange(text, &r, &error)) {
      ranges.push_back(r);
    } else {
      errors.push_back(error);
    }
  }
  std::vector<int> ports;
  std::string error;
  if (!fleet::ParsePortList(o.ports, &ports, &error)) errors.push_back("--port: " + error);
  std::vector<std::uint32_t> addresses;
  if (errors.empty() && !fleet::ExpandRanges(ranges, o.maxAddresses, &addresses, &error)) {
    errors.push_back(error);
  }
  if (!errors.empty()) return usage(errors);
  if (const size_t skipped = fleet::DropNonDestinations(&addresses); skipped > 0 && !o.quiet) {
    err << "tiltwise-cli: " << skipped
        << " address(es) skipped: 0.0.0.0/8, multicast and 255.255.255.255 name no camera\n";
  }

  // The password sources first, as the other commands use them.
  std::vector<fleet::Credential> logins;
  bool sourcesFirst = true;
  if (!fleet::GatherLogins(LoginSourcesOf(o), passwords, &logins, &sourcesFirst, &errors)) {
    if (stop.load()) return kExitInterrupted;
    return usage(errors);
  }
  if (stop.load()) return kExitInterrupted;
  // Until here a signal ends any read at once; from here on the devices under way finish.
  term::InstallStopHandlers();

  std::vector<fleet::Endpoint> endpoints;
  endpoints.reserve(addresses.size() * ports.size());
  for (std::uint32_t a : addresses) {
    for (int p : ports) endpoints.push_back({a, p});
  }
  fleet::ScanOptions so;
  so.credentials = std::move(logins);
  so.jobs = o.jobs;
  so.timeoutMs = o.timeoutMs;
  so.deadlineMs = o.deadlineMs;
  so.keepNoAnswer = o.all;
  so.hardStop = hardStop;

  if (!fleet::StartNetwork()) {
    err << "tiltwise-cli: the socket library cannot be started\n";
    return kExitFailed;
  }
  std::mutex mu;
  bool outputFailed = false;
  ProgressLine line(err);
  fleet::ScanProgress progress;
  // Ctrl-C, or nobody left to read what is found: either ends the scan.
  std::atomic<bool> halt{false};
  const std::vector<fleet::ScanResult> results = fleet::RunScan(
      endpoints, so, halt,
      [&](const fleet::ScanResult& r) {
        if (!o.json) return;
        std::lock_guard<std::mutex> lock(mu);
        line.Clear();
        if (!outputFailed) {
          out << ScanJsonLine(r) << "\n" << std::flush;
          outputFailed = !out;
          if (outputFailed) halt = true;
        }
      },
      [&](const fleet::ScanProgress& p) {
        if (stop.load()) halt = true;
        if (!progressOnTerminal) return;
        std::lock_guard<std::mutex> lock(mu);
        line.Draw(std::to_string(p.swept) + "/" + std::to_string(p.total) + " tried, " +
                  std::to_string(p.open) + " answered, " + std::to_string(p.cameras) +
                  (p.cameras == 1 ? " camera, " : " cameras, ") + Seconds(p.elapsedMs) +
                  (p.stopping ? ", stopping" : ""));
      },
      &progress, 100);
  if (hardStop == nullptr || !hardStop->load()) fleet::EndNetwork();
  {
    std::lock_guard<std::mutex> lock(mu);
    line.Clear();
  }
  if (!outputFailed && !o.json && (o.csv || !o.quiet)) {
    out << (o.csv ? ScanCsv(results) : ScanTable(results)) << std::flush;
    outputFailed = !out;
  }
  // The summary is no data: on stdout only beside the table.
  const std::string summary = ScanSummary(progress, addresses.size(), ports.size());
  if (!o.json && !o.csv && !outputFailed) {
    out << summary << "\n" << (outputOnTerminal ? ScanFailures(results) : "") << std::flush;
    outputFailed = !out;
  } else if (progressOnTerminal) {
    err << summary << "\n";
  }
  if (outputFailed) {
    err << "tiltwise-cli: writing the scan's results failed\n";
    return kExitFailed;
  }
  if (!progress.localError.empty()) {
    // Never a device's fault: say it as the run's, and fail the run.
    err << "tiltwise-cli: " << progress.localFailures
        << " address(es) not tried or probed to the end: " << progress.localError
        << " (raise the open-file limit, ulimit -n, or give fewer --jobs)\n";
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
