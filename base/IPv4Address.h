// An IPv4 address as users type it: read once, strictly, then carried as a value that gives
// its text, its number and its bytes in network order.
#ifndef TILTWISE_BASE_IPV4ADDRESS_H_
#define TILTWISE_BASE_IPV4ADDRESS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

class IPv4Address {
 public:
  constexpr IPv4Address() = default;
  static constexpr IPv4Address FromHostOrder(std::uint32_t value) { return IPv4Address(value); }

  // Strict dotted quad: exactly four decimal parts 0-255, a part of two or more digits never
  // starting with 0, nothing before or after. The short, hex and octal forms the system's
  // readers take would reach a camera the user did not type ("127.0.0.010" is not 127.0.0.8).
  static std::optional<IPv4Address> Parse(std::string_view text);
  // Parse of the text without the blanks and tabs at either end, which an address copied from
  // a spreadsheet or a web page brings along; a blank inside still fails.
  static std::optional<IPv4Address> ParsePasted(std::string_view text);

  // Whether the address can name one camera: not 0.0.0.0/8 (connecting there reaches this
  // machine), not multicast (224.0.0.0/4) and not 255.255.255.255.
  constexpr bool IsDestination() const {
    return (value_ >> 24) != 0 && (value_ >> 28) != 0xe && value_ != 0xffffffffu;
  }

  constexpr std::uint32_t hostOrder() const { return value_; }
  // The value as a socket address holds it: the bytes in address order, whatever the CPU's.
  std::uint32_t netOrder() const;
  // The canonical dotted quad, which is what Parse took.
  std::string ToString() const;

  friend constexpr bool operator==(IPv4Address a, IPv4Address b) { return a.value_ == b.value_; }
  friend constexpr bool operator!=(IPv4Address a, IPv4Address b) { return a.value_ != b.value_; }
  friend constexpr bool operator<(IPv4Address a, IPv4Address b) { return a.value_ < b.value_; }

 private:
  constexpr explicit IPv4Address(std::uint32_t value) : value_(value) {}
  std::uint32_t value_ = 0;
};

}  // namespace tw

#endif  // TILTWISE_BASE_IPV4ADDRESS_H_
