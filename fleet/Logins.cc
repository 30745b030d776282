#include "fleet/Logins.h"

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

}  // namespace fleet
