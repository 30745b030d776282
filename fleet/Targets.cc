#include "fleet/Targets.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

#include "base/IPv4Address.h"

namespace fleet {
namespace {

// Decimal digits only, at most `maxDigits`, no leading zero unless the number is 0.
bool ParseDecimal(std::string_view text, size_t maxDigits, long* value) {
  if (text.empty() || text.size() > maxDigits) return false;
  if (text.size() > 1 && text[0] == '0') return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

bool ParseCameraAddress(std::string_view text, tw::IPv4Address* address,
                        const std::string& notDottedQuad, const std::string& prefix,
                        std::string* error) {
  const std::optional<tw::IPv4Address> read = tw::IPv4Address::Parse(text);
  if (!read) {
    *error = notDottedQuad;
    return false;
  }
  if (!read->IsDestination()) {
    *error = prefix + "\"" + read->ToString() +
             "\" names no camera (0.0.0.0/8, multicast and 255.255.255.255 are no single host)";
    return false;
  }
  *address = *read;
  return true;
}

bool ParsePort(std::string_view text, int* port) {
  long v = 0;
  if (!ParseDecimal(text, 5, &v) || v < 1 || v > 65535) return false;
  *port = static_cast<int>(v);
  return true;
}

bool ParseTarget(std::string_view text, Target* target, std::string* error) {
  std::string_view address = text;
  std::string_view port;
  size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  tw::IPv4Address host;
  // The whole argument: an IPv6 address would otherwise be quoted cut at its first colon.
  if (!ParseCameraAddress(address, &host,
                          "\"" + std::string(text) +
                              "\" is not ADDRESS[:PORT] with a dotted-quad IPv4 address (such "
                              "as 192.168.1.20:80)",
                          "", error)) {
    return false;
  }
  int number = 80;
  if (colon != std::string_view::npos && !ParsePort(port, &number)) {
    *error = "\"" + std::string(port) + "\" is not a port number (1-65535)";
    return false;
  }
  target->address = host;
  target->port = number;
  return true;
}

bool ParseOnOff(std::string_view text, bool* value) {
  const std::string t = Lower(text);
  if (t == "on" || t == "1" || t == "yes" || t == "true") {
    *value = true;
    return true;
  }
  if (t == "off" || t == "0" || t == "no" || t == "false") {
    *value = false;
    return true;
  }
  return false;
}

bool ParseWant(std::string_view text, Want* want) {
  bool on = false;
  if (ParseOnOff(text, &on)) {
    *want = on ? Want::kOn : Want::kOff;
    return true;
  }
  if (Lower(text) != "keep") return false;
  *want = Want::kKeep;
  return true;
}

void SortByListIndex(std::vector<Target>* targets, size_t from) {
  const auto begin = targets->begin() + static_cast<std::ptrdiff_t>(from);
  if (std::any_of(begin, targets->end(), [](const Target& t) { return t.listIndex == 0; })) return;
  std::stable_sort(begin, targets->end(),
                   [](const Target& a, const Target& b) { return a.listIndex < b.listIndex; });
}

std::vector<std::string> ExtraColumnNames(const std::vector<Target>& targets) {
  std::vector<std::string> names;
  for (const Target& t : targets) {
    for (const auto& cell : t.extra) {
      if (std::find(names.begin(), names.end(), cell.first) == names.end()) {
        names.push_back(cell.first);
      }
    }
  }
  return names;
}

std::vector<std::string> FindDuplicates(const std::vector<Target>& targets) {
  std::vector<std::string> errors;
  std::map<std::pair<tw::IPv4Address, int>, const Target*> seen;
  for (const Target& t : targets) {
    auto [it, inserted] = seen.emplace(std::make_pair(t.address, t.port), &t);
    if (!inserted) {
      errors.push_back(t.origin + ": " + t.address.ToString() + ":" + std::to_string(t.port) +
                       " is named more than once (also " + it->second->origin + ")");
    }
  }
  return errors;
}

}  // namespace fleet
