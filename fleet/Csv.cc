#include "fleet/Csv.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>

#include "base/Text.h"

namespace fleet {
namespace {

enum class Column {
  kHost,
  kPort,
  kUser,
  kFlip,
  kMirror,
  kName,
  kLocation,
  kStatus,    // what a scan found: only its cameras are worked on
  kIndex,     // a report's place in the list before
  kReadPast,  // the rest of what a scan or a report wrote: read past
  kCarried,   // a column of the list's own: carried into the report as it is
  kUnnamed,   // a spreadsheet's empty header cell: its cells must stay empty
  kLogin,     // the number of the login that worked
  kAuth,      // basic or digest
};
constexpr int kColumnCount = 14;

struct KnownColumn {
  const char* name;
  Column column;
};
// Every report's and scan's column is known, so any of them feeds --input as it is.
const KnownColumn kKnownColumns[] = {
    {"host", Column::kHost},
    {"address", Column::kHost},
    {"port", Column::kPort},
    {"user", Column::kUser},
    {"flip", Column::kFlip},
    {"mirror", Column::kMirror},
    {"name", Column::kName},
    {"location", Column::kLocation},
    {"status", Column::kStatus},
    {"index", Column::kIndex},
    {"login", Column::kLogin},
    {"auth", Column::kAuth},
    {"auth_algorithm", Column::kReadPast},
    {"chip_type", Column::kReadPast},
    {"flip_now", Column::kReadPast},
    {"mirror_now", Column::kReadPast},
    {"http_status", Column::kReadPast},
    {"note", Column::kReadPast},
    {"action", Column::kReadPast},
    {"outcome", Column::kReadPast},
    {"ok", Column::kReadPast},
    {"message", Column::kReadPast},
    {"cause", Column::kReadPast},
    {"request", Column::kReadPast},
    {"detail", Column::kReadPast},
    {"flip_before", Column::kReadPast},
    {"mirror_before", Column::kReadPast},
    {"flip_wanted", Column::kReadPast},
    {"mirror_wanted", Column::kReadPast},
    {"flip_after", Column::kReadPast},
    {"mirror_after", Column::kReadPast},
    {"verified", Column::kReadPast},
    {"elapsed_ms", Column::kReadPast},
};

// A near miss of one of these would quietly send the option's value instead of the list's.
const char* const kSendingColumns[] = {"host", "port", "user", "flip", "mirror", "login"};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::optional<Column> ColumnNamed(const std::string& name) {
  for (const KnownColumn& k : kKnownColumns) {
    if (name == k.name) return k.column;
  }
  return std::nullopt;
}

// Keeps the error short when a line holds binary junk or is very long.
std::string Quoted(std::string_view value) {
  std::string out = "\"";
  size_t n = 0;
  for (char c : value) {
    if (++n > 40) {
      out += "...";
      break;
    }
    out +=
        (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) ? '?' : c;
  }
  return out + "\"";
}

struct Header {
  std::vector<Column> columns;
  std::vector<std::string> names;  // as written, for the carried columns
};

// Reads the header; false with `error` set when it is not usable.
bool ReadHeader(const std::vector<std::string>& fields, Header* header, std::string* error) {
  bool seen[kColumnCount] = {};
  std::set<std::string> names;
  for (const std::string& field : fields) {
    const std::string_view written = Trim(field);
    const std::string name = Lower(written);
    std::optional<Column> column = ColumnNamed(name);
    if (name.empty()) {
      column = Column::kUnnamed;
    } else if (!column) {
      // Carried, it would end up in every report.
      if (name.find("pass") != std::string::npos || name == "pw" || name == "pwd") {
        *error = "column " + Quoted(written) +
                 ": a password does not belong in a list (use --password-file or --credentials)";
        return false;
      }
      for (const char* sending : kSendingColumns) {
        const size_t d = tw::EditDistance(name, sending);
        if (name.size() >= 4 && d >= 1 && d <= 2) {
          *error = "unknown column " + Quoted(written) + ": did you mean " + sending + "?";
          return false;
        }
      }
      column = Column::kCarried;
    }
    if (!name.empty() && !names.insert(name).second) {
      *error = "column " + Quoted(name) + " appears twice";
      return false;
    }
    if (*column == Column::kHost && seen[static_cast<int>(Column::kHost)]) {
      *error = "the columns \"host\" and \"address\" both name the camera: keep one";
      return false;
    }
    seen[static_cast<int>(*column)] = true;
    header->columns.push_back(*column);
    header->names.emplace_back(written);
  }
  if (!seen[static_cast<int>(Column::kHost)]) {
    *error = "the header names no \"host\" column";
    return false;
  }
  return true;
}

bool ReadRow(std::vector<std::string>* fields, const Header& header, Target* target,
             std::string* error) {
  const std::vector<Column>& columns = header.columns;
  // Spreadsheets end rows with separators for cells some other row uses.
  while (fields->size() > columns.size() && fields->back().empty()) fields->pop_back();
  if (fields->size() != columns.size()) {
    *error = "expected " + std::to_string(columns.size()) + " fields as in the header, found " +
             std::to_string(fields->size());
    return false;
  }
  std::optional<int> port;
  for (size_t i = 0; i < fields->size(); ++i) {
    const std::string& value = (*fields)[i];
    switch (columns[i]) {
      case Column::kHost: {
        const std::string_view address = Trim(value);
        if (!ParseCameraAddress(address, &target->address,
                                "host " + Quoted(address) + " is not a dotted-quad IPv4 address",
                                "host ", error)) {
          return false;
        }
        break;
      }
      case Column::kPort:
        if (const std::string_view number = Trim(value); !number.empty()) {
          int p = 0;
          if (!ParsePort(number, &p)) {
            *error = "port " + Quoted(number) + " is not a port number (1-65535)";
            return false;
          }
          port = p;
        }
        break;
      case Column::kUser:
        if (!value.empty()) target->user = value;
        break;
      case Column::kName:
        target->name = value;
        break;
      case Column::kLocation:
        target->location = value;
        break;
      case Column::kStatus:
        target->status = value;
        break;
      case Column::kIndex:
        // Only to restore the order: a cell that is no count leaves it as it is.
        if (const std::string_view n = Trim(value);
            !n.empty() && n.size() < 10 && n.find_first_not_of("0123456789") == n.npos) {
          target->listIndex = std::stoul(std::string(n));
        }
        break;
      case Column::kCarried:
        target->extra.emplace_back(header.names[i], value);
        break;
      case Column::kUnnamed:
        if (!value.empty()) {
          *error = "a value (" + Quoted(value) + ") in column " + std::to_string(i + 1) +
                   ", which the header leaves unnamed";
          return false;
        }
        break;
      case Column::kReadPast:
        break;
      case Column::kLogin:
        if (!value.empty()) {
          int login = 0;
          if (value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos ||
              (login = std::stoi(std::string(value))) < 1) {
            *error = "login " + Quoted(value) + " is not a login number (1 and up)";
            return false;
          }
          target->login = login;
        }
        break;
      case Column::kAuth:
        if (!value.empty() && Lower(value) != "basic" && Lower(value) != "digest") {
          *error = "auth " + Quoted(value) + " is not basic or digest";
          return false;
        }
        target->digest = Lower(value) == "digest";
        break;
      case Column::kFlip:
      case Column::kMirror:
        if (!value.empty()) {
          Want want = Want::kKeep;
          const char* name = columns[i] == Column::kFlip ? "flip" : "mirror";
          if (!ParseWant(value, &want)) {
            *error = std::string(name) + " " + Quoted(value) + " is not on, off or keep";
            return false;
          }
          (columns[i] == Column::kFlip ? target->flip : target->mirror) = want;
        }
        break;
    }
  }
  target->port = port.value_or(80);
  return true;
}

// The header's separator: whichever of comma, semicolon and tab it holds most of outside
// quotes (a comma for a single column).
char SeparatorOf(std::string_view header) {
  size_t counts[3] = {};
  bool quoted = false;
  for (char c : header) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == ',') ++counts[0];
    if (c == ';') ++counts[1];
    if (c == '\t') ++counts[2];
  }
  const char kSeparators[] = {',', ';', '\t'};
  size_t best = 0;
  for (size_t k = 1; k < 3; ++k) {
    if (counts[k] > counts[best]) best = k;
  }
  return kSeparators[best];
}

// A spreadsheet's "sep=;" line before the header; false when the line is none. Later cells of
// the line (a spreadsheet saved it again) must be empty.
bool SeparatorLine(std::string_view line, std::optional<char>* separator, std::string* error) {
  if (Lower(line.substr(0, 4)) != "sep=") return false;
  line.remove_prefix(4);
  if (line.empty() || (line[0] != ',' && line[0] != ';' && line[0] != '\t')) {
    *error = "the \"sep=\" line names no comma, semicolon or tab";
    return true;
  }
  *separator = line[0];
  if (Trim(line).find_first_not_of(line[0]) != std::string_view::npos) {
    *error = "text after the \"sep=\" line's separator";
  }
  return true;
}

}  // namespace

bool IsKnownColumn(std::string_view name) {
  return ColumnNamed(Lower(name)).has_value();
}

bool SplitCsvLine(std::string_view line, std::vector<std::string>* fields, std::string* error,
                  char separator) {
  fields->clear();
  std::string field;
  size_t i = 0;
  const auto blank = [&](size_t k) {
    return (line[k] == ' ' || line[k] == '\t') && line[k] != separator;
  };
  for (;;) {
    field.clear();
    // Blanks around a quoted field are dropped; the quoted part is taken as it is.
    while (i < line.size() && blank(i)) ++i;
    if (i < line.size() && line[i] == '"') {
      ++i;
      for (;;) {
        if (i >= line.size()) {
          *error = "a quoted field is not closed";
          return false;
        }
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      while (i < line.size() && blank(i)) ++i;
      if (i < line.size() && line[i] != separator) {
        *error = "text after a closing quote";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != separator) {
        if (line[i] == '"') {
          *error = "a quote inside an unquoted field";
          return false;
        }
        field += line[i++];
      }
      while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.pop_back();
    }
    fields->push_back(field);
    if (i >= line.size()) return true;
    ++i;  // the separator
  }
}

std::string CsvCell(std::string_view value) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  // Any separator quoted: a header is read in the dialect it holds most of.
  const bool plain = value.find_first_of(",;\t\"\r\n") == std::string_view::npos &&
                     (value.empty() || (!blank(value.front()) && !blank(value.back())));
  if (plain) return std::string(value);
  std::string out = "\"";
  for (char c : value) {
    if (c == '\r' || c == '\n') c = ' ';
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

LineRead GetBoundedLine(std::istream& in, std::string* line) {
  line->clear();
  std::streambuf* buf = in.rdbuf();
  for (;;) {
    const int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      return line->empty() ? LineRead::kEnd : LineRead::kLine;
    }
    if (c == '\n') return LineRead::kLine;
    if (line->size() == kMaxLineBytes) return LineRead::kTooLong;
    line->push_back(static_cast<char>(c));
  }
}

void ReadTargetList(std::istream& in, const std::string& name, std::vector<Target>* targets,
                    std::vector<std::string>* errors) {
  Header header;
  bool haveHeader = false;
  std::optional<char> separator;
  std::string line;
  std::vector<std::string> fields;
  std::string error;
  size_t number = 0;
  size_t rows = 0;
  const size_t first = targets->size();
  for (LineRead got; (got = GetBoundedLine(in, &line)) != LineRead::kEnd;) {
    ++number;
    if (got == LineRead::kTooLong) {
      errors->push_back(name + ":" + std::to_string(number) + ": a line longer than " +
                        std::to_string(kMaxLineBytes / 1024) + " KiB is no camera list");
      return;
    }
    std::string_view view(line);
    if (number == 1 && view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);  // UTF-8 mark
    if (!view.empty() && view.back() == '\r') view.remove_suffix(1);
    const std::string_view trimmed = Trim(view);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    const std::string where = name + ":" + std::to_string(number) + ": ";
    if (!haveHeader && !separator && SeparatorLine(trimmed, &separator, &error)) {
      if (!error.empty()) {
        errors->push_back(where + error);
        return;
      }
      continue;
    }
    if (!separator) separator = SeparatorOf(view);
    if (!SplitCsvLine(view, &fields, &error, *separator)) {
      errors->push_back(where + error);
      if (!haveHeader) return;
      continue;
    }
    if (!haveHeader) {
      if (!ReadHeader(fields, &header, &error)) {
        errors->push_back(where + error);
        return;  // every further line would be wrong too
      }
      haveHeader = true;
      continue;
    }
    if (std::all_of(fields.begin(), fields.end(), [](const std::string& f) { return f.empty(); }))
      continue;  // a spreadsheet's empty row
    ++rows;
    Target target;
    target.origin = name + ":" + std::to_string(number);
    if (!ReadRow(&fields, header, &target, &error)) {
      errors->push_back(where + error);
      continue;
    }
    targets->push_back(std::move(target));
  }
  SortByListIndex(targets, first);  // a report, written as cameras finished
  if (in.bad()) {
    errors->push_back(name + ": read error after line " + std::to_string(number));
  } else if (!haveHeader) {
    errors->push_back(name + ": no header line (such as \"host,port,flip,mirror\")");
  } else if (rows == 0) {
    errors->push_back(name + ": the list names no camera");
  }
}

}  // namespace fleet
