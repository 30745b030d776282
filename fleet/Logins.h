// The logins of a run: the password sources' one (login 1, when given) and the lines of a
// credentials file, numbered in that order so a list can name the one that works for a camera
// without ever holding a password.
#ifndef TILTWISE_FLEET_LOGINS_H_
#define TILTWISE_FLEET_LOGINS_H_

#include <istream>
#include <string>
#include <vector>

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

// Whether a status says the camera stopped listening to logins for a while (403, 423, 429):
// another try only prolongs the lockout.
bool StopsTries(int httpStatus);

}  // namespace fleet

#endif  // TILTWISE_FLEET_LOGINS_H_
