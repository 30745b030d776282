#include "fleet/Logins.h"

#include <fstream>
#include <optional>
#include <set>
#include <utility>

#include "fleet/Csv.h"

namespace fleet {

void ReadCredentials(std::istream& in, const std::string& name, std::vector<Credential>* out,
                     std::vector<std::string>* errors) {
  std::string line;
  size_t number = 0;
  std::set<std::pair<std::string, std::string>> seen;
  for (const Credential& c : *out) seen.emplace(c.user, c.password);
  for (LineRead got; (got = GetBoundedLine(in, &line)) != LineRead::kEnd;) {
    ++number;
    const std::string where = name + ":" + std::to_string(number) + ": ";
    if (got == LineRead::kTooLong) {
      errors->push_back(where + "a line longer than " + std::to_string(kMaxLineBytes / 1024) +
                        " KiB is no credentials file");
      break;
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

std::vector<Login> LoginOrder(const std::vector<Credential>& logins, bool sourcesFirst,
                              const std::string& user, int first) {
  std::vector<Login> order;
  auto add = [&](size_t i) {
    Login l{static_cast<int>(i + 1), logins[i]};
    if (i == 0 && sourcesFirst) l.credential.user = user;
    order.push_back(std::move(l));
  };
  if (first >= 1 && static_cast<size_t>(first) <= logins.size()) add(first - 1);
  for (size_t i = 0; i < logins.size(); ++i) {
    if (static_cast<int>(i + 1) != first) add(i);
  }
  return order;
}

bool StopsTries(int httpStatus) {
  return httpStatus == 403 || httpStatus == 423 || httpStatus == 429;
}

bool ObtainPassword(const LoginSources& options, const PasswordSources& sources,
                    std::string* password, std::string* error) {
  // An empty password would be sent as one to every camera and count as a failed login.
  auto firstLine = [error](std::string text, const char* where) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // editors' UTF-8 mark
    const size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.erase(end);
    if (text.empty()) *error = std::string("the password ") + where + " is empty";
    return text;
  };
  if (!options.passwordFile.empty()) {
    std::string text;
    if (!sources.readFile(options.passwordFile, &text)) {
      *error = "cannot read the password file " + options.passwordFile;
      return false;
    }
    *password = firstLine(std::move(text), "file's first line");
    return !password->empty();
  }
  if (options.passwordStdin) {
    std::string line;
    const bool ok =
        sources.stdinIsTerminal() ? sources.prompt(&line) : sources.readStdinLine(&line);
    if (!ok) {
      *error = "no password on standard input";
      return false;
    }
    *password = firstLine(std::move(line), "on standard input");
    return !password->empty();
  }
  if (std::optional<std::string> env = sources.environment(); env && !env->empty()) {
    *password = std::move(*env);
    return true;
  }
  if (sources.stdinIsTerminal() && !options.stdinTaken) {
    std::string line;
    if (!sources.prompt(&line)) {
      *error = "no password entered";
      return false;
    }
    *password = std::move(line);
    return true;
  }
  *error =
      "no password: use --password-file FILE, --password-stdin or the environment variable "
      "TILTWISE_PASSWORD (a prompt is shown only when standard input is a terminal)";
  return false;
}

bool GatherLogins(const LoginSources& o, const PasswordSources& sources,
                  std::vector<Credential>* logins, bool* sourcesFirst,
                  std::vector<std::string>* errors) {
  const std::optional<std::string> env = sources.environment();
  *sourcesFirst = o.credentialsFile.empty() || !o.passwordFile.empty() || o.passwordStdin ||
                  (env && !env->empty());
  if (*sourcesFirst) {
    std::string password;
    std::string error;
    if (!ObtainPassword(o, sources, &password, &error)) {
      errors->push_back(error + (o.credentialsFile.empty() ? "; or --credentials FILE" : ""));
      return false;
    }
    logins->push_back({o.user, std::move(password)});
  }
  if (!o.credentialsFile.empty()) {
    std::ifstream in(o.credentialsFile, std::ios::binary);
    if (!in) {
      errors->push_back(o.credentialsFile + ": cannot be read");
      return false;
    }
    const size_t before = logins->size();
    ReadCredentials(in, o.credentialsFile, logins, errors);
    if (!errors->empty()) return false;
    if (logins->size() == before && before == 0) {
      errors->push_back(o.credentialsFile + ": no user:password line");
      return false;
    }
  }
  return true;
}

void CheckListedLogins(const std::vector<Target>& targets, const std::vector<Credential>& logins,
                       bool sourcesFirst, std::vector<std::string>* errors) {
  for (const Target& t : targets) {
    if (!t.login) continue;
    const size_t n = static_cast<size_t>(*t.login);
    if (n > logins.size()) {
      errors->push_back(t.origin + ": login " + std::to_string(n) + ", but this run has " +
                        std::to_string(logins.size()) +
                        " (the password sources first, then the --credentials lines)");
    } else if (t.user && (n > 1 || !sourcesFirst) && *t.user != logins[n - 1].user) {
      // Another file, or its lines in another order: the number would send a wrong password.
      errors->push_back(t.origin + ": login " + std::to_string(n) + " is user \"" +
                        logins[n - 1].user + "\", not \"" + *t.user + "\"");
    }
  }
}

}  // namespace fleet
