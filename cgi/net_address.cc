// The one reader of typed camera addresses, the same on every system.
#include <cstring>
#include <string>

#include "cgi/net.h"

namespace net {

bool ParseIPv4(const char* text, std::uint32_t* addressNetOrder) {
  if (text == nullptr) return false;
  std::uint32_t hostOrder = 0;
  const char* p = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *p++ != '.') return false;
    const char* start = p;
    unsigned value = 0;
    while (*p >= '0' && *p <= '9' && p - start < 3) value = value * 10 + unsigned(*p++ - '0');
    const long digits = p - start;
    if (digits == 0 || value > 255 || (digits > 1 && *start == '0')) return false;
    hostOrder = hostOrder << 8 | value;
  }
  if (*p != '\0') return false;
  // Network order without a system header: the bytes in address order.
  unsigned char bytes[4] = {
      static_cast<unsigned char>(hostOrder >> 24), static_cast<unsigned char>(hostOrder >> 16),
      static_cast<unsigned char>(hostOrder >> 8), static_cast<unsigned char>(hostOrder)};
  std::memcpy(addressNetOrder, bytes, sizeof bytes);
  return true;
}

bool ParsePastedIPv4(const char* text, std::uint32_t* addressNetOrder) {
  if (text == nullptr) return false;
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (blank(*text)) ++text;
  std::string trimmed(text);
  while (!trimmed.empty() && blank(trimmed.back())) trimmed.pop_back();
  return ParseIPv4(trimmed.c_str(), addressNetOrder);
}

bool IsDestination(std::uint32_t addressNetOrder) {
  unsigned char bytes[4];
  std::memcpy(bytes, &addressNetOrder, sizeof bytes);
  if (bytes[0] == 0 || (bytes[0] & 0xf0) == 0xe0) return false;
  return !(bytes[0] == 255 && bytes[1] == 255 && bytes[2] == 255 && bytes[3] == 255);
}

}  // namespace net
