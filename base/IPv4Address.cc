#include "base/IPv4Address.h"

#include <cstring>

namespace tw {

std::optional<IPv4Address> IPv4Address::Parse(std::string_view text) {
  std::uint32_t hostOrder = 0;
  size_t p = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (p >= text.size() || text[p++] != '.')) return std::nullopt;
    const size_t start = p;
    unsigned value = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9' && p - start < 3) {
      value = value * 10 + unsigned(text[p++] - '0');
    }
    const size_t digits = p - start;
    if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return std::nullopt;
    hostOrder = hostOrder << 8 | value;
  }
  if (p != text.size()) return std::nullopt;
  return IPv4Address(hostOrder);
}

std::optional<IPv4Address> IPv4Address::ParsePasted(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return Parse(text);
}

std::uint32_t IPv4Address::netOrder() const {
  // Without a system header: the bytes in address order.
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(value_ >> 24), static_cast<unsigned char>(value_ >> 16),
      static_cast<unsigned char>(value_ >> 8), static_cast<unsigned char>(value_)};
  std::uint32_t n = 0;
  std::memcpy(&n, bytes, sizeof n);
  return n;
}

std::string IPv4Address::ToString() const {
  return std::to_string(value_ >> 24) + "." + std::to_string((value_ >> 16) & 0xff) + "." +
         std::to_string((value_ >> 8) & 0xff) + "." + std::to_string(value_ & 0xff);
}

}  // namespace tw
