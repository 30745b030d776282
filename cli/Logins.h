// Where the logins of a run come from: the password sources (a file, standard input, the
// environment or a prompt) and the --credentials file, never an argument.
#ifndef TILTWISE_CLI_LOGINS_H_
#define TILTWISE_CLI_LOGINS_H_

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "fleet/Logins.h"

namespace cli {

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

// The run's numbered logins: the password sources' (login 1, with --user) and then the lines of
// --credentials. With --credentials the password sources are asked only when one is named.
// False with `errors` set when a source cannot be read or no login is left.
bool GatherLogins(const CliOptions& options, const PasswordSources& sources,
                  std::vector<fleet::Credential>* logins, bool* sourcesFirst,
                  std::vector<std::string>* errors);

// A list's `login` must name a login of this run, and one of the row's own user.
void CheckListedLogins(const std::vector<fleet::Target>& targets,
                       const std::vector<fleet::Credential>& logins, bool sourcesFirst,
                       std::vector<std::string>* errors);

}  // namespace cli

#endif  // TILTWISE_CLI_LOGINS_H_
