// The target list: CSV with a header line that names the columns.
//
//   # site B, second floor
//   host,port,user,flip,mirror
//   192.168.1.20,80,,on,off
//   192.168.1.21
//
// Columns: host (required), port, user, login (the number of a login, from 1), auth (basic or
// digest), flip, mirror, name, location, in any order; names are matched without regard to case.
// note, and the columns a scan writes (status, chip_type, flip_now, mirror_now), are for people and
// read past; any other name is an error. Empty cells take the defaults (port 80, the --user value,
// the --flip and --mirror options, which keep the camera's value when not given); flip and mirror
// cells take on, off or keep. Lines starting with '#' and blank lines are skipped. Fields may be
// quoted with '"' ("" inside stands for one quote) but may not span lines.
#ifndef TILTWISE_FLEET_CSV_H_
#define TILTWISE_FLEET_CSV_H_

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/Targets.h"

namespace fleet {

// Splits one line into fields. False, with `error` set, on a stray or unclosed quote.
bool SplitCsvLine(std::string_view line, std::vector<std::string>* fields, std::string* error);

// The longest line any list or report may hold; a longer one is an error, not more memory.
constexpr size_t kMaxLineBytes = 64 * 1024;

enum class LineRead { kLine, kEnd, kTooLong };
// std::getline with a bound: kTooLong once a line passes kMaxLineBytes (the rest of it is left
// unread), kEnd at the end of input.
LineRead GetBoundedLine(std::istream& in, std::string* line);

// A value as one CSV cell: quoted when a reader would otherwise split or trim it, with line
// breaks turned into spaces, since no list line may span two.
std::string CsvCell(std::string_view value);

// Reads the whole list. Every bad line adds one message "NAME:LINE: what" to `errors`, and so
// does a missing header or a list without cameras. `targets` is complete only when `errors`
// stayed empty.
void ReadTargetList(std::istream& in, const std::string& name, std::vector<Target>* targets,
                    std::vector<std::string>* errors);

}  // namespace fleet

#endif  // TILTWISE_FLEET_CSV_H_
