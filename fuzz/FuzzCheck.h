// Shared pieces of the fuzz targets: splitting an input into fields, and atoi as the readers
// promise to apply it.
#ifndef TILTWISE_FUZZ_FUZZCHECK_H_
#define TILTWISE_FUZZ_FUZZCHECK_H_

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Stops the run with a message; libFuzzer keeps the input that got here.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace fuzz {

// Takes the next field up to (not including) `sep`, or the whole rest when there is none.
inline std::string Field(std::string* rest, char sep) {
  std::string::size_type at = rest->find(sep);
  std::string field = rest->substr(0, at);
  rest->erase(0, at == std::string::npos ? rest->size() : at + 1);
  return field;
}

// Replies are texts up to their first zero byte; names are C strings.
inline std::string AsText(const std::string& s) {
  return s.substr(0, s.find('\0'));
}

// atoi, saturated to the int range instead of undefined on overflow.
inline int Atoi(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > 2147483648LL) v = 2147483648LL;  // beyond either limit: saturate
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int>(v);
}

inline bool Contains(const std::string& hay, const std::string& needle) {
  return hay.find(needle) != std::string::npos;
}

}  // namespace fuzz

#endif  // TILTWISE_FUZZ_FUZZCHECK_H_
