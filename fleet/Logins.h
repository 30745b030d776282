// The logins of a run: the password sources' one (login 1, when given) and the lines of a
// credentials file, numbered in that order so a list can name the one that works for a camera
// without ever holding a password.
#ifndef TILTWISE_FLEET_LOGINS_H_
#define TILTWISE_FLEET_LOGINS_H_

#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "fleet/Targets.h"

namespace fleet {

struct Credential {
  std::string user;
  std::string password;
};

// Lines "user:password" in the order to try them; blank lines and lines starting with '#' are
// skipped, a UTF-8 byte-order mark at the start is dropped. A line without a user or a
// password is an error; no error ever shows a password. Sets already in `out` or named twice
// are kept once.
void ReadCredentials(std::istream& in, const std::string& name, std::vector<Credential>* out,
                     std::vector<std::string>* errors);

struct Login {
  int number = 0;  // from 1, as a list's `login` column names it
  Credential credential;
};

// The order in which one camera gets the logins: the one its list names first (`first`, 0 for
// none), then the others by number. `user` stands for login 1's user when the password
// sources give login 1 (`sourcesFirst`): the list's user or --user.
std::vector<Login> LoginOrder(const std::vector<Credential>& logins, bool sourcesFirst,
                              const std::string& user, int first);

// Where a password can come from, so the choice can be tested without a terminal.
struct PasswordSources {
  std::function<bool(const std::string& path, std::string* text)> readFile;
  std::function<std::optional<std::string>()> environment;  // TILTWISE_PASSWORD
  std::function<bool(std::string* line)> readStdinLine;
  std::function<bool()> stdinIsTerminal;
  std::function<bool(std::string* line)> prompt;  // hidden, from the terminal
};

// What the command line names as the sources of a run's logins.
struct LoginSources {
  std::string user = "admin";  // login 1's
  std::string passwordFile;
  bool passwordStdin = false;
  bool stdinTaken = false;  // a list or report comes from standard input: no prompt
  std::string credentialsFile;
};

// --password-file, --password-stdin, TILTWISE_PASSWORD, then a prompt on a terminal. False
// with `error` set when none gives a password or the chosen one cannot be read.
bool ObtainPassword(const LoginSources& options, const PasswordSources& sources,
                    std::string* password, std::string* error);

// The run's numbered logins: the password sources' (login 1, with the user) and then the lines
// of the credentials file. With that file the password sources are asked only when one is
// named. False with `errors` set when a source cannot be read or no login is left.
bool GatherLogins(const LoginSources& options, const PasswordSources& sources,
                  std::vector<Credential>* logins, bool* sourcesFirst,
                  std::vector<std::string>* errors);

// A list's `login` must name a login of this run, and one of the row's own user.
void CheckListedLogins(const std::vector<Target>& targets, const std::vector<Credential>& logins,
                       bool sourcesFirst, std::vector<std::string>* errors);

// Whether a status says the camera stopped listening to logins for a while (403, 423, 429):
// another try only prolongs the lockout.
bool StopsTries(int httpStatus);

}  // namespace fleet

#endif  // TILTWISE_FLEET_LOGINS_H_
