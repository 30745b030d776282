#include "cli/Logins.h"

#include <fstream>

namespace cli {

bool ObtainPassword(const CliOptions& options, const PasswordSources& sources,
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
  if (sources.stdinIsTerminal() && options.input != "-" && options.report != "-") {
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

bool GatherLogins(const CliOptions& o, const PasswordSources& sources,
                  std::vector<fleet::Credential>* logins, bool* sourcesFirst,
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
    fleet::ReadCredentials(in, o.credentialsFile, logins, errors);
    if (!errors->empty()) return false;
    if (logins->size() == before && before == 0) {
      errors->push_back(o.credentialsFile + ": no user:password line");
      return false;
    }
  }
  return true;
}

void CheckListedLogins(const std::vector<fleet::Target>& targets,
                       const std::vector<fleet::Credential>& logins, bool sourcesFirst,
                       std::vector<std::string>* errors) {
  for (const fleet::Target& t : targets) {
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

}  // namespace cli
