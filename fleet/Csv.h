// The target list: CSV with a header line that names the columns, as people and spreadsheets
// write it.
//
//   # site B, second floor
//   host;port;user;flip;mirror;notes
//   192.168.1.20;80;;on;off;above the gate
//   192.168.1.21;;;;;
//
// The separator is the header's: comma, semicolon or tab, or what a spreadsheet's "sep=;" line
// before it says. A UTF-8 byte-order mark and CRLF line ends are read past; fields may be quoted
// with '"' ("" inside stands for one quote) but may not span lines. Unquoted cells lose their
// blanks at either end, quoted ones are taken as they are (host and port are always trimmed).
// Lines starting with '#', blank lines and rows of empty cells are skipped.
//
// Columns, in any order and any case: host (or address, as reports write it; required), port,
// user, login (the number of a login, from 1), auth (basic or digest), flip, mirror, name,
// location. Empty cells take the defaults (port 80, the --user value,
// the --flip and --mirror options, which keep the camera's value when not given); flip and
// mirror cells take on, off or keep. The other columns reports and scans write are read past,
// so they feed --input as they are (status: only a scan's cameras are worked on). Any other
// column is carried into the reports unchanged, except a near miss (one or two letters off, four
// letters or more) of a column that changes what is sent: that is an error, since the option's
// value would quietly stand in for the one meant.
#ifndef TILTWISE_FLEET_CSV_H_
#define TILTWISE_FLEET_CSV_H_

#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/Targets.h"

namespace fleet {

// Splits one line into fields, unquoted ones trimmed of blanks. False, with `error` set, on a
// stray or unclosed quote.
bool SplitCsvLine(std::string_view line, std::vector<std::string>* fields, std::string* error,
                  char separator = ',');

// Whether a list or report column of this name (any case) is one the tool reads or writes.
bool IsKnownColumn(std::string_view name);

// The longest line any list or report may hold; a longer one is an error, not more memory.
constexpr size_t kMaxLineBytes = 64 * 1024;

enum class LineRead { kLine, kEnd, kTooLong };
// std::getline with a bound: kTooLong once a line passes kMaxLineBytes (the rest of it is left
// unread), kEnd at the end of input. A last line without its newline leaves in.eof() set.
LineRead GetBoundedLine(std::istream& in, std::string* line);

// A value as one CSV cell: quoted when a reader would otherwise split or trim it, or take it
// for the separator (comma, semicolon or tab), with line
// breaks turned into spaces, since no list line may span two.
std::string CsvCell(std::string_view value);

// Reads the whole list. Every bad line adds one message "NAME:LINE: what" to `errors`, and so
// does a missing header or a list without cameras. `targets` is complete only when `errors`
// stayed empty.
void ReadTargetList(std::istream& in, const std::string& name, std::vector<Target>* targets,
                    std::vector<std::string>* errors);

}  // namespace fleet

#endif  // TILTWISE_FLEET_CSV_H_
