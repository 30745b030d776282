// Text as people see it: how far apart two words are, and how many terminal columns a UTF-8
// text takes.
#ifndef TILTWISE_BASE_TEXT_H_
#define TILTWISE_BASE_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tw {

// Insertions, deletions and replacements that turn `a` into `b` (bytes).
size_t EditDistance(std::string_view a, std::string_view b);

// Columns a terminal gives the UTF-8 text: East Asian wide characters two, combining marks
// and zero-width characters none, anything else (an invalid byte too) one.
size_t DisplayWidth(std::string_view text);

// The text with what would move a terminal's cursor or garble it (control characters, bytes
// that are no UTF-8) each replaced by '?'.
std::string Printable(std::string_view text);

}  // namespace tw

#endif  // TILTWISE_BASE_TEXT_H_
