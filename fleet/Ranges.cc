#include "fleet/Ranges.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <unordered_set>

#include "base/IPv4Address.h"
#include "fleet/Targets.h"

namespace fleet {
namespace {

bool ParseAddress(std::string_view text, std::uint32_t* hostOrder) {
  const std::optional<tw::IPv4Address> address = tw::IPv4Address::Parse(text);
  if (address) *hostOrder = address->hostOrder();
  return address.has_value();
}

// Decimal, no sign, no leading zero, at most `maxDigits`.
bool ParseSmall(std::string_view text, size_t maxDigits, std::uint32_t* value) {
  if (text.empty() || text.size() > maxDigits || (text.size() > 1 && text[0] == '0')) {
    return false;
  }
  std::uint32_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  *value = v;
  return true;
}

}  // namespace

bool ParseRange(std::string_view text, AddressRange* range, std::string* error) {
  const std::string quoted = "\"" + std::string(text) + "\"";
  const size_t slash = text.find('/');
  const size_t dash = text.find('-');
  std::uint32_t first = 0;
  if (slash != std::string_view::npos) {
    std::uint32_t bits = 0;
    if (!ParseAddress(text.substr(0, slash), &first) ||
        !ParseSmall(text.substr(slash + 1), 2, &bits) || bits > 32) {
      *error = quoted + " is not a CIDR block such as 192.168.1.0/24 (a prefix of 0-32 bits)";
      return false;
    }
    const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
    range->first = first & mask;
    range->last = range->first | ~mask;
    // /31 and /32 have no network or broadcast address to leave out.
    if (bits <= 30) {
      ++range->first;
      --range->last;
    }
    return true;
  }
  if (dash != std::string_view::npos) {
    const std::string_view to = text.substr(dash + 1);
    std::uint32_t last = 0;
    std::uint32_t octet = 0;
    bool ok = ParseAddress(text.substr(0, dash), &first);
    if (ok && to.find('.') == std::string_view::npos) {
      ok = ParseSmall(to, 3, &octet) && octet <= 255;
      last = (first & 0xffffff00u) | octet;
    } else if (ok) {
      ok = ParseAddress(to, &last);
    }
    if (!ok) {
      *error = quoted +
               " is not a range such as 192.168.1.10-192.168.1.60 or 192.168.1.10-60 "
               "(dotted-quad IPv4)";
      return false;
    }
    if (last < first) {
      *error = quoted + " ends before it starts";
      return false;
    }
    range->first = first;
    range->last = last;
    return true;
  }
  if (!ParseAddress(text, &first)) {
    *error = quoted +
             " is not an address range: give a CIDR block (192.168.1.0/24), a from-to range "
             "(192.168.1.10-60) or one dotted-quad IPv4 address";
    return false;
  }
  range->first = range->last = first;
  return true;
}

bool ExpandRanges(const std::vector<AddressRange>& ranges, std::uint64_t maxAddresses,
                  std::vector<std::uint32_t>* addresses, std::string* error) {
  // The parts of each range not named before, found against the ranges taken so far (kept
  // disjoint, by first address), so overlaps cost nothing however large the ranges are.
  std::map<std::uint32_t, std::uint32_t> taken;
  std::vector<AddressRange> parts;
  std::uint64_t count = 0;
  for (const AddressRange& r : ranges) {
    if (r.size() == 0) continue;
    std::uint64_t next = r.first;  // the first address of r not yet looked at
    auto it = taken.upper_bound(r.first);
    if (it != taken.begin() && std::prev(it)->second >= r.first) --it;
    for (; it != taken.end() && it->first <= r.last && next <= r.last; ++it) {
      if (it->first > next) parts.push_back({static_cast<std::uint32_t>(next), it->first - 1});
      next = std::max<std::uint64_t>(next, std::uint64_t{it->second} + 1);
    }
    if (next <= r.last) parts.push_back({static_cast<std::uint32_t>(next), r.last});
    // Merge r into the taken ones.
    std::uint32_t first = r.first;
    std::uint32_t last = r.last;
    it = taken.upper_bound(first);
    if (it != taken.begin() && std::prev(it)->second + std::uint64_t{1} >= first) --it;
    while (it != taken.end() && it->first <= std::uint64_t{last} + 1) {
      first = std::min(first, it->first);
      last = std::max(last, it->second);
      it = taken.erase(it);
    }
    taken.emplace(first, last);
  }
  for (const AddressRange& p : parts) count += p.size();
  if (count > maxAddresses) {
    *error = "the ranges hold " + std::to_string(count) + " addresses, more than " +
             std::to_string(maxAddresses) + "; name smaller ranges or raise --max-addresses";
    return false;
  }
  std::vector<std::uint32_t> out;
  out.reserve(static_cast<size_t>(count));
  for (const AddressRange& p : parts) {
    for (std::uint64_t a = p.first; a <= p.last; ++a) out.push_back(static_cast<std::uint32_t>(a));
  }
  addresses->swap(out);
  return true;
}

size_t DropNonDestinations(std::vector<std::uint32_t>* addresses) {
  const size_t before = addresses->size();
  addresses->erase(std::remove_if(addresses->begin(), addresses->end(),
                                  [](std::uint32_t a) {
                                    return !tw::IPv4Address::FromHostOrder(a).IsDestination();
                                  }),
                   addresses->end());
  return before - addresses->size();
}

bool ParsePortList(std::string_view text, std::vector<int>* ports, std::string* error) {
  std::vector<int> out;
  std::unordered_set<int> seen;
  for (;;) {
    const size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    int port = 0;
    if (!ParsePort(item, &port)) {
      *error = "\"" + std::string(item) + "\" is not a port number (1-65535)";
      return false;
    }
    if (seen.insert(port).second) out.push_back(port);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  ports->swap(out);
  return true;
}

}  // namespace fleet
