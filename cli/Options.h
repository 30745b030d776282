// The command line and where the password comes from, turned into one run's jobs and options.
#ifndef TILTWISE_CLI_OPTIONS_H_
#define TILTWISE_CLI_OPTIONS_H_

#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/Runner.h"
#include "cli/Targets.h"

namespace cli {

// Exit statuses.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

struct CliOptions {
  Mode mode = Mode::kQuery;
  std::vector<std::string> targets;  // ADDRESS[:PORT] as typed
  std::string input;                 // target list file, "-" for standard input; empty: none
  std::string user = "admin";
  std::string passwordFile;
  bool passwordStdin = false;
  std::optional<bool> flip;
  std::optional<bool> mirror;
  bool force = false;
  bool dryRun = false;
  bool verify = false;
  bool json = false;
  int jobs = 16;
  int timeoutMs = 3000;
  int deadlineSeconds = 30;
  int verifyTimeoutSeconds = 120;
};

// Returns -1 when the run should go on; otherwise the exit status, after writing the help
// (to `out`, status 0) or the usage error (to `err`, status 2).
int ParseCommandLine(int argc, const char* const* argv, CliOptions* options, std::ostream& out,
                     std::ostream& err);

// The targets named as arguments and in the list file, in that order. `openInput` gives the
// stream for --input ("-" is handed over as is). On any error `errors` gets one line each.
using InputOpener = std::function<std::istream*(const std::string& name)>;
std::vector<Target> CollectTargets(const CliOptions& options, const InputOpener& openInput,
                                   std::vector<std::string>* errors);

// Merges each target with the options: its user, and for set its wanted values (the list's
// own values win; a target without one needs the option).
std::vector<Job> BuildJobs(const CliOptions& options, const std::vector<Target>& targets,
                           std::vector<std::string>* errors);

// Where a password can come from, so the choice can be tested without a terminal.
struct PasswordSources {
  std::function<bool(const std::string& path, std::string* text)> readFile;
  std::function<std::optional<std::string>()> environment;  // TILTWISE_PASSWORD
  std::function<bool(std::string* line)> readStdinLine;
  std::function<bool()> stdinIsTerminal;
  std::function<bool(std::string* line)> prompt;  // hidden, from the terminal
};

// --password-file, --password-stdin, TILTWISE_PASSWORD, then a prompt on a terminal. False
// with `error` set when none gives a password or the chosen one cannot be read.
bool ObtainPassword(const CliOptions& options, const PasswordSources& sources,
                    std::string* password, std::string* error);

RunOptions ToRunOptions(const CliOptions& options, std::string password);

}  // namespace cli

#endif  // TILTWISE_CLI_OPTIONS_H_
