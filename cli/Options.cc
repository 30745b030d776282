#include "cli/Options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>
#include <sstream>
#include <string_view>
#include <tuple>

#include "base/Text.h"
#include "cli/HelpText.h"
#include "cli/ScanCommand.h"
#include "fleet/Csv.h"
#include "res/version.h"

namespace cli {
namespace {

const char* const kCommands[] = {"query", "set", "restore", "scan"};

// Strings here, turned into numbers after parsing: the parser's own checks fill the help with
// type and range clutter and word their errors for programmers.
struct RawOptions {
  std::string jobs = "16";
  std::string timeout = "3000ms";
  std::string deadline = "30s";
  std::string verifyTimeout = "120s";
  std::string verifySettle = "10s";
  std::string flip;
  std::string mirror;
  std::string maxRestarting;
  std::string canary;
  std::string maxFailures;
  std::string maxAddresses;
};

// The common options' help, in the words of the command.
struct CommonHelp {
  const char* user;
  const char* jobs;
  const char* timeout;
  const char* deadline;
  const char* json;
  const char* csv;
  const char* quiet;
};

const CommonHelp kCameraHelp = {
    "User name for cameras without their own (default admin)",
    "Cameras worked on at once, 1-256 (default 16)",
    "Limit of each wait for a camera (default 3s)",
    "Hard limit for one camera's requests (default 30s)",
    "One JSON object per camera and line, as each finishes",
    "The report as CSV, one row per camera; the summary on stderr",
    "Only the failed cameras and the summary, and only when one failed; "
    "no progress"};

const CommonHelp kScanHelp = {"User name of the password from the password sources (default admin)",
                              "Devices probed at once, 1-256 (default 64)",
                              "Connect limit, and limit of each wait for a device (default 3s)",
                              "Hard limit for one device's requests (default 10s)",
                              "One JSON object per device found",
                              "The camera list as CSV, for set --input",
                              "Only the summary; no progress"};

void AddCommon(CLI::App* sub, CliOptions* o, RawOptions* raw,
               const CommonHelp& help = kCameraHelp) {
  sub->add_option("-u,--user", o->user, help.user)->type_name("USER");
  sub->add_option("--password-file", o->passwordFile,
                  "Read the password from the file's first line")
      ->type_name("FILE");
  sub->add_flag("--password-stdin", o->passwordStdin,
                "Read the password from the first line of standard input");
  sub->add_option("--credentials", o->credentialsFile,
                  "Further logins, one user:password per line, tried in order after the "
                  "password sources' (login 1)")
      ->type_name("FILE");
  sub->add_option("-j,--jobs", raw->jobs, help.jobs)->type_name("N");
  sub->add_option("--timeout", raw->timeout, help.timeout)->type_name("TIME");
  sub->add_option("--deadline", raw->deadline, help.deadline)->type_name("TIME");
  sub->add_flag("--json", o->json, help.json);
  sub->add_flag("--csv", o->csv, help.csv);
  sub->add_flag("-v,--verbose", o->verbose,
                "Each request line and its reply's status line on stderr (no credentials)");
  sub->add_flag("-q,--quiet", o->quiet, help.quiet);
}

void AddTargets(CLI::App* sub, CliOptions* o) {
  sub->add_option("targets", o->targets,
                  "Cameras as ADDRESS[:PORT] (four decimal parts, no leading zeros; port 80)")
      ->type_name("TARGET");
  sub->add_option("-i,--input", o->input,
                  "CSV list of cameras (header with host and optionally port, user, flip, "
                  "mirror; '#' comments) or the JSON lines report of an earlier run; \"-\" "
                  "for standard input")
      ->type_name("FILE");
  sub->add_flag("--only-failed", o->onlyFailed,
                "With a report as --input: only the cameras that failed in it (a report's "
                "flip_wanted and mirror_wanted, keep included, count as the list's values)");
}

// The options a set and a restore share: what it waits for and how fast it goes.
void AddChanging(CLI::App* sub, CliOptions* o, RawOptions* raw) {
  sub->add_flag("-n,--dry-run", o->dryRun, "Show current against wanted; send no set");
  sub->add_flag("--verify", o->verify,
                "Wait for each restarted camera and check the values it reports");
  sub->add_option("--verify-timeout", raw->verifyTimeout,
                  "Longest wait for a camera to come back (default 120s)")
      ->type_name("TIME");
  sub->add_option("--verify-settle", raw->verifySettle,
                  "How long a camera never seen restarting must keep the new values before "
                  "they count as verified; 0 for cameras that apply without a restart "
                  "(default 10s, at most the verify timeout)")
      ->type_name("TIME");
  sub->add_option("--max-restarting", raw->maxRestarting,
                  "At most N cameras under way, from their read to their return after the set; "
                  "one that does not come back keeps its place (needs --verify)")
      ->type_name("N");
  sub->add_option("--canary", raw->canary,
                  "Set and verify K cameras before any other is set (cameras already as wanted "
                  "do not count); any failure meanwhile stops the run")
      ->type_name("K");
  sub->add_option("--max-failures", raw->maxFailures, "Start no further camera after N failures")
      ->type_name("N");
}

// "frobnicate is not a command" with the nearest command when one is close.
std::string UnknownCommand(const std::string& word) {
  std::string text = "\"" + word + "\" is not a command (";
  for (const char* c : kCommands) text += std::string(c) + (c == kCommands[3] ? ")" : ", ");
  const char* nearest = nullptr;
  size_t best = 3;  // further than two edits is no longer a typo
  for (const char* c : kCommands) {
    const size_t d = tw::EditDistance(word, c);
    if (d < best) {
      best = d;
      nearest = c;
    }
  }
  if (nearest != nullptr) text += "; did you mean \"" + std::string(nearest) + "\"?";
  return text;
}

bool ParseCount(const std::string& text, int min, int max, int* value) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const long v = std::stol(text);
  if (v < min || v > max) return false;
  *value = static_cast<int>(v);
  return true;
}

}  // namespace

// Every spelling that would carry a password in an argument, looked for before the parser,
// whose messages repeat what they could not take: --password[=X], -p[X], -np (short options
// run together), and a value given to the --password-stdin flag.
bool MentionsPasswordArgument(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--") break;  // targets follow
    if (a == "--password" || a.rfind("--password=", 0) == 0 ||
        a.rfind("--password-stdin=", 0) == 0) {
      return true;
    }
    if (a.size() < 2 || a[0] != '-' || a[1] == '-') continue;
    for (size_t k = 1; k < a.size(); ++k) {
      if (a[k] == 'p') return true;
      // The rest of "-uNAME", "-iFILE", "-j8" is that option's value, not more options.
      if (a[k] == 'u' || a[k] == 'i' || a[k] == 'j') break;
    }
  }
  return false;
}

int UsageErrors(std::ostream& err, const std::vector<std::string>& errors, const char* notDone) {
  constexpr size_t kShown = 20;
  for (size_t i = 0; i < errors.size() && i < kShown; ++i)
    err << "tiltwise-cli: " << errors[i] << "\n";
  if (errors.size() > kShown)
    err << "tiltwise-cli: ... and " << errors.size() - kShown << " more\n";
  err << "tiltwise-cli: " << notDone << "\n";
  return kExitUsage;
}

bool ParseDuration(const std::string& text, int bareMs, int minMs, int maxMs, int* ms) {
  const size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
  if (digits == 0 || digits > 9) return false;
  const std::string unit = text.substr(digits);
  long long scale = bareMs;
  if (unit == "ms") {
    scale = 1;
  } else if (unit == "s") {
    scale = 1000;
  } else if (unit == "m") {
    scale = 60000;
  } else if (!unit.empty()) {
    return false;
  }
  const long long v = std::stoll(text.substr(0, digits)) * scale;
  if (v < minMs || v > maxMs) return false;
  *ms = static_cast<int>(v);
  return true;
}

int ParseCommandLine(int argc, const char* const* argv, CliOptions* o, std::ostream& out,
                     std::ostream& err) {
  // Before the parser sees it, so no message can repeat what follows the option.
  if (MentionsPasswordArgument(argc, argv)) {
    err << "tiltwise-cli: a password is never taken as an argument (others could read it in "
           "the process list); use --password-file FILE, --password-stdin or TILTWISE_PASSWORD\n";
    return kExitUsage;
  }
  auto usage = [&err](const std::string& text) {
    err << "tiltwise-cli: " << text << "\nRun with --help for more information.\n";
    return kExitUsage;
  };
  if (argc > 1 && argv[1][0] != '-' &&
      std::none_of(std::begin(kCommands), std::end(kCommands),
                   [&](const char* c) { return std::strcmp(c, argv[1]) == 0; })) {
    return usage(UnknownCommand(argv[1]));
  }

  CLI::App app(kDescription, "tiltwise-cli");
  app.footer(kFooter);
  app.require_subcommand(1);
  app.get_formatter()->column_width(26);
  app.set_version_flag("--version", std::string("tiltwise-cli ") + TILTWISE_VERSION_STR,
                       "Show the version and exit");
  RawOptions raw;

  CLI::App* scan = app.add_subcommand(
      "scan", "Find the cameras in address ranges; write the site's camera list");
  scan->add_option("ranges", o->ranges, "Address ranges: CIDR, FROM-TO, FROM-LAST_OCTET or ADDRESS")
      ->type_name("RANGE");
  scan->add_option("--port", o->ports, "Ports to try on every address, with commas (default 80)")
      ->type_name("P[,P...]");
  AddCommon(scan, o, &raw, kScanHelp);
  scan->add_flag("--all", o->all, "Show the addresses without an answer too (not in --csv)");
  scan->add_option("--max-addresses", raw.maxAddresses,
                   "Most addresses one run may scan, up to 16777216 (default 65536)")
      ->type_name("N");
  scan->footer(kScanFooter);

  CLI::App* query = app.add_subcommand("query", "Read and print each camera's Flip and Mirror");
  AddTargets(query, o);
  AddCommon(query, o, &raw);
  query->footer(std::string(kQueryFooter) + "\n\n" + kListHelp + "\n\n" + kSeeMain);

  CLI::App* set = app.add_subcommand("set", "Write Flip and Mirror; each changed camera restarts");
  AddTargets(set, o);
  set->add_option("--flip", raw.flip, "Wanted Flip; not given: keep the camera's")
      ->type_name("on|off|keep");
  set->add_option("--mirror", raw.mirror, "Wanted Mirror; not given: keep the camera's")
      ->type_name("on|off|keep");
  set->add_flag("--force", o->force, "Send the set without reading first (needs both values)");
  set->add_option("--backup", o->backup,
                  "Write each camera's values before the change to FILE as it is read")
      ->type_name("FILE");
  AddChanging(set, o, &raw);
  AddCommon(set, o, &raw);
  set->footer(std::string(kSetFooter) + "\n\n" + kListHelp + "\n\n" + kSeeMain);

  CLI::App* restore =
      app.add_subcommand("restore", "Set the cameras an earlier set changed back as they were");
  restore->add_option("report", o->report, "The earlier set's JSON lines report or backup")
      ->type_name("REPORT");
  AddChanging(restore, o, &raw);
  AddCommon(restore, o, &raw);
  restore->footer(std::string(kRestoreFooter) + "\n\n" + kSeeMain);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e, out, err);
    return status == 0 ? kExitOk : kExitUsage;
  }

  o->restore = restore->parsed();
  o->mode = set->parsed() || o->restore ? fleet::Mode::kSet : fleet::Mode::kQuery;
  o->scan = scan->parsed();
  if (o->scan && scan->count("--jobs") == 0) raw.jobs = "64";
  if (o->scan && scan->count("--deadline") == 0) raw.deadline = "10s";

  if (!ParseCount(raw.jobs, 1, 256, &o->jobs)) {
    return usage("--jobs \"" + raw.jobs + "\": give a number of cameras from 1 to 256");
  }
  if (!ParseDuration(raw.timeout, 1, 1, 600000, &o->timeoutMs)) {
    return usage("--timeout \"" + raw.timeout + "\": give a time from 1ms to 10m (500ms, 3s)");
  }
  if (!ParseDuration(raw.deadline, 1000, 1, 86400000, &o->deadlineMs)) {
    return usage("--deadline \"" + raw.deadline + "\": give a time from 1ms to 24 hours (30s, 2m)");
  }
  if (!ParseDuration(raw.verifyTimeout, 1000, 1000, 3600000, &o->verifyTimeoutMs)) {
    return usage("--verify-timeout \"" + raw.verifyTimeout +
                 "\": give a time from 1s to 60m (90s, 2m)");
  }
  if (!ParseDuration(raw.verifySettle, 1000, 0, 3600000, &o->verifySettleMs)) {
    return usage("--verify-settle \"" + raw.verifySettle +
                 "\": give a time from 0 to 60m (0, 10s, 1m)");
  }
  for (auto [name, text, slot] :
       {std::make_tuple("--max-restarting", &raw.maxRestarting, &o->maxRestarting),
        std::make_tuple("--canary", &raw.canary, &o->canary),
        std::make_tuple("--max-failures", &raw.maxFailures, &o->maxFailures)}) {
    if (!text->empty() && !ParseCount(*text, 1, 1000000, slot)) {
      return usage(std::string(name) + " \"" + *text + "\": give a whole number of 1 or more");
    }
  }
  for (auto [name, text, slot] : {std::make_tuple("--flip", &raw.flip, &o->flip),
                                  std::make_tuple("--mirror", &raw.mirror, &o->mirror)}) {
    if (!text->empty() && !fleet::ParseWant(*text, slot)) {
      return usage(std::string(name) + " \"" + *text + "\": give on, off or keep");
    }
  }

  if (!raw.maxAddresses.empty() && !ParseCount(raw.maxAddresses, 1, 1 << 24, &o->maxAddresses)) {
    return usage("--max-addresses \"" + raw.maxAddresses +
                 "\": give a number of addresses from 1 to 16777216");
  }
  if (o->scan && o->ranges.empty()) {
    return usage("no range given: name CIDR blocks, FROM-TO ranges or addresses");
  }
  if (o->restore && o->report.empty()) return usage("restore needs the REPORT of an earlier set");
  if (o->json && o->csv) return usage("give either --json or --csv, not both");
  if (o->verbose && o->quiet) return usage("give either --verbose or --quiet, not both");
  if (o->dryRun && (o->force || o->verify)) {
    return usage(std::string("--dry-run sends no set, so it takes no ") +
                 (o->force ? "--force" : "--verify"));
  }
  if (!o->backup.empty() && (o->force || o->dryRun)) {
    return usage(std::string("--backup keeps the values read before a set, so it takes no ") +
                 (o->force ? "--force" : "--dry-run"));
  }
  if (o->maxRestarting > 0 && !o->verify) {
    return usage("--max-restarting needs --verify: only reading a camera back shows it returned");
  }
  if (o->canary > 0 && o->dryRun) return usage("--dry-run sends no set, so it takes no --canary");
  if (!o->restore && !o->scan && o->targets.empty() && o->input.empty()) {
    return usage("no camera given: name ADDRESS[:PORT] targets or --input FILE");
  }
  if (o->onlyFailed && o->input.empty()) {
    return usage("--only-failed needs the JSON lines report of an earlier run as --input");
  }
  if (o->passwordStdin && (o->input == "-" || o->report == "-")) {
    return usage(std::string("--password-stdin and ") + (o->restore ? "REPORT" : "--input") +
                 " - cannot both read standard input");
  }
  if (o->passwordStdin && !o->passwordFile.empty()) {
    return usage("give either --password-file or --password-stdin, not both");
  }
  return -1;
}

}  // namespace cli
