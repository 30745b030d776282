// The command line and where the password comes from, turned into one run's jobs and options.
#ifndef TILTWISE_CLI_OPTIONS_H_
#define TILTWISE_CLI_OPTIONS_H_

#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fleet/Logins.h"
#include "fleet/Runner.h"
#include "fleet/Targets.h"

namespace cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

struct CliOptions {
  fleet::Mode mode = fleet::Mode::kQuery;
  bool restore = false;              // restore: a set back to the values a report holds
  std::string report;                // restore's REPORT
  std::vector<std::string> targets;  // ADDRESS[:PORT] as typed
  std::string input;        // target list or JSON lines report, "-" for standard input; empty: none
  bool onlyFailed = false;  // --input report: only the cameras that failed in it
  std::string user = "admin";
  std::string passwordFile;
  bool passwordStdin = false;
  fleet::Want flip = fleet::Want::kKeep;
  fleet::Want mirror = fleet::Want::kKeep;
  bool force = false;
  bool dryRun = false;
  bool verify = false;
  std::string backup;  // set: file for each camera's values before, line by line
  bool json = false;
  bool csv = false;
  bool verbose = false;  // each exchange on stderr
  bool quiet = false;    // only the failures
  int jobs = 16;
  int timeoutMs = 3000;
  int deadlineMs = 30000;
  int verifyTimeoutMs = 120000;
  int verifySettleMs = 10000;
  int maxRestarting = 0;
  int canary = 0;
  int maxFailures = 0;
  // scan: the ranges as typed, the ports to try, more user:password lines, whether devices
  // without an answer are shown, and the most addresses one run may hold.
  bool scan = false;
  std::vector<std::string> ranges;
  std::string ports = "80";
  std::string credentialsFile;
  bool all = false;
  int maxAddresses = 65536;
};

// Whether an argument would carry a password (--password[=X], -p[X], -np, --password-stdin=X):
// such a command line is refused before any parser can quote it back in a message.
bool MentionsPasswordArgument(int argc, const char* const* argv);

// Returns -1 when the run should go on; otherwise the exit status, after writing the help or
// the version (to `out`, status 0) or the usage error (to `err`, status 2).
int ParseCommandLine(int argc, const char* const* argv, CliOptions* options, std::ostream& out,
                     std::ostream& err);

// Writes each error as "tiltwise-cli: ..." (at most 20, then how many more) and then
// "tiltwise-cli: `notDone`"; returns kExitUsage.
int UsageErrors(std::ostream& err, const std::vector<std::string>& errors, const char* notDone);

// A duration: digits with "ms", "s" or "m" after them, or bare digits counted in `bareMs`
// units. False unless it lies in [minMs, maxMs].
bool ParseDuration(const std::string& text, int bareMs, int minMs, int maxMs, int* ms);

// The targets named as arguments and in the --input list or report, in that order; for
// restore, the cameras of the report that may have changed, with their values before as the
// wanted ones. `openInput` gives the stream for a file ("-" is handed over as is). On any error
// `errors` gets one line each; `notes` get what the user should know but does not stop the run.
using InputOpener = std::function<std::istream*(const std::string& name)>;
std::vector<fleet::Target> CollectTargets(const CliOptions& options, const InputOpener& openInput,
                                          std::vector<std::string>* errors,
                                          std::vector<std::string>* notes);

// Merges each target with the options: its user, and for set its wanted values (the list's
// own values win, then the options; what neither names keeps the camera's value, which
// --force cannot read, and a camera with nothing to change is an error).
std::vector<fleet::Job> BuildJobs(const CliOptions& options,
                                  const std::vector<fleet::Target>& targets,
                                  std::vector<std::string>* errors);

using PasswordSources = fleet::PasswordSources;
// Where the run's logins come from (fleet::GatherLogins).
fleet::LoginSources LoginSourcesOf(const CliOptions& options);

// The run's options, with its logins (fleet::GatherLogins).
fleet::RunOptions ToRunOptions(const CliOptions& options, std::vector<fleet::Credential> logins,
                               bool sourcesFirst);

}  // namespace cli

#endif  // TILTWISE_CLI_OPTIONS_H_
