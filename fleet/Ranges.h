// Address ranges as installers type them, for finding cameras: a CIDR block, a from-to range or
// one address, all in strict dotted-quad IPv4.
#ifndef TILTWISE_FLEET_RANGES_H_
#define TILTWISE_FLEET_RANGES_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fleet {

// Inclusive, in host byte order; empty when first > last.
struct AddressRange {
  std::uint32_t first = 0;
  std::uint32_t last = 0;
  std::uint64_t size() const { return first > last ? 0 : std::uint64_t{last} - first + 1; }
};

// "192.168.1.0/24" (host bits are cleared; from /30 down the network and broadcast addresses
// are left out), "192.168.1.10-192.168.1.60", "192.168.1.10-60" or "192.168.1.10".
// False with `error` set (the text quoted whole) for anything else.
bool ParseRange(std::string_view text, AddressRange* range, std::string* error);

// Every address of the ranges in the order given, each once. False with `error` set when
// there would be more than `maxAddresses`; nothing is expanded then.
bool ExpandRanges(const std::vector<AddressRange>& ranges, std::uint64_t maxAddresses,
                  std::vector<std::uint32_t>* addresses, std::string* error);

// Drops the addresses that name no camera (tw::IPv4Address::IsDestination); returns how many.
size_t DropNonDestinations(std::vector<std::uint32_t>* hostOrder);

// "80" or "80,8080": each port once, in the order given.
bool ParsePortList(std::string_view text, std::vector<int>* ports, std::string* error);

}  // namespace fleet

#endif  // TILTWISE_FLEET_RANGES_H_
