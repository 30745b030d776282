#include "fleet/Csv.h"

#include <cctype>
#include <optional>
#include <set>

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
  kStatus,         // what a scan found: only its cameras are worked on
  kInformational,  // the rest of what a scan wrote, and notes: read past
  kLogin,          // the number of the login that worked
  kAuth,           // basic or digest
};
constexpr int kColumnCount = 11;

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
  if (name == "host") return Column::kHost;
  if (name == "port") return Column::kPort;
  if (name == "user") return Column::kUser;
  if (name == "flip") return Column::kFlip;
  if (name == "mirror") return Column::kMirror;
  if (name == "name") return Column::kName;
  if (name == "location") return Column::kLocation;
  if (name == "status") return Column::kStatus;
  if (name == "login") return Column::kLogin;
  if (name == "auth") return Column::kAuth;
  if (name == "chip_type" || name == "flip_now" || name == "mirror_now" || name == "note") {
    return Column::kInformational;
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

// Reads the header; false with `error` set when it is not usable.
bool ReadHeader(const std::vector<std::string>& fields, std::vector<std::optional<Column>>* columns,
                std::string* error) {
  bool seen[kColumnCount] = {};
  std::set<std::string> names;
  for (const std::string& field : fields) {
    const std::string name = Lower(Trim(field));
    std::optional<Column> column = ColumnNamed(name);
    if (!column) {
      // A misspelt "flip" column must not quietly fall back to the --flip option.
      *error = "unknown column " + Quoted(name) +
               " (known: host, port, user, login, auth, flip, mirror, name, location, note, "
               "status, chip_type, flip_now, mirror_now)";
      return false;
    }
    if (!names.insert(name).second) {
      *error = "column " + Quoted(name) + " appears twice";
      return false;
    }
    seen[static_cast<int>(*column)] = true;
    columns->push_back(column);
  }
  if (!seen[static_cast<int>(Column::kHost)]) {
    *error = "the header names no \"host\" column";
    return false;
  }
  return true;
}

bool ReadRow(const std::vector<std::string>& fields,
             const std::vector<std::optional<Column>>& columns, Target* target,
             std::string* error) {
  if (fields.size() != columns.size()) {
    *error = "expected " + std::to_string(columns.size()) + " fields as in the header, found " +
             std::to_string(fields.size());
    return false;
  }
  std::string host;
  std::optional<int> port;
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string_view value = Trim(fields[i]);
    switch (*columns[i]) {
      case Column::kHost:
        if (!ParseDottedQuad(value, &host)) {
          *error = "host " + Quoted(value) + " is not a dotted-quad IPv4 address";
          return false;
        }
        if (!ParseCameraAddress(host, &host, error)) {
          *error = "host " + *error;
          return false;
        }
        break;
      case Column::kPort:
        if (!value.empty()) {
          int p = 0;
          if (!ParsePort(value, &p)) {
            *error = "port " + Quoted(value) + " is not a port number (1-65535)";
            return false;
          }
          port = p;
        }
        break;
      case Column::kUser:
        if (!value.empty()) target->user = std::string(value);
        break;
      case Column::kName:
        target->name = std::string(value);
        break;
      case Column::kLocation:
        target->location = std::string(value);
        break;
      case Column::kStatus:
        target->status = std::string(value);
        break;
      case Column::kInformational:
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
          const char* name = *columns[i] == Column::kFlip ? "flip" : "mirror";
          if (!ParseWant(value, &want)) {
            *error = std::string(name) + " " + Quoted(value) + " is not on, off or keep";
            return false;
          }
          (*columns[i] == Column::kFlip ? target->flip : target->mirror) = want;
        }
        break;
    }
  }
  target->host = std::move(host);
  target->port = port.value_or(80);
  return true;
}

}  // namespace

bool SplitCsvLine(std::string_view line, std::vector<std::string>* fields, std::string* error) {
  fields->clear();
  std::string field;
  size_t i = 0;
  for (;;) {
    field.clear();
    // Blanks before an opening quote are allowed; the quoted part is taken as it is.
    size_t start = i;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
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
      while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
      if (i < line.size() && line[i] != ',') {
        *error = "text after a closing quote";
        return false;
      }
    } else {
      i = start;
      while (i < line.size() && line[i] != ',') {
        if (line[i] == '"') {
          *error = "a quote inside an unquoted field";
          return false;
        }
        field += line[i++];
      }
    }
    fields->push_back(field);
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

std::string CsvCell(std::string_view value) {
  const bool plain = value.find_first_of(",\"\r\n") == std::string_view::npos &&
                     (value.empty() || (value.front() != ' ' && value.back() != ' '));
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
      if (line->empty()) {
        in.setstate(std::ios::eofbit);
        return LineRead::kEnd;
      }
      return LineRead::kLine;
    }
    if (c == '\n') return LineRead::kLine;
    if (line->size() == kMaxLineBytes) return LineRead::kTooLong;
    line->push_back(static_cast<char>(c));
  }
}

void ReadTargetList(std::istream& in, const std::string& name, std::vector<Target>* targets,
                    std::vector<std::string>* errors) {
  std::vector<std::optional<Column>> columns;
  bool haveHeader = false;
  std::string line;
  std::vector<std::string> fields;
  std::string error;
  size_t number = 0;
  size_t rows = 0;
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
    if (!SplitCsvLine(view, &fields, &error)) {
      errors->push_back(where + error);
      continue;
    }
    if (!haveHeader) {
      if (!ReadHeader(fields, &columns, &error)) {
        errors->push_back(where + error);
        return;  // every further line would be wrong too
      }
      haveHeader = true;
      continue;
    }
    ++rows;
    Target target;
    target.origin = name + ":" + std::to_string(number);
    if (!ReadRow(fields, columns, &target, &error)) {
      errors->push_back(where + error);
      continue;
    }
    targets->push_back(std::move(target));
  }
  if (in.bad()) {
    errors->push_back(name + ": read error after line " + std::to_string(number));
  } else if (!haveHeader) {
    errors->push_back(name + ": no header line (such as \"host,port,flip,mirror\")");
  } else if (rows == 0) {
    errors->push_back(name + ": the list names no camera");
  }
}

}  // namespace fleet
