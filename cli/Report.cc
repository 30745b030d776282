#include "cli/Report.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "fleet/Csv.h"

namespace cli {
namespace {

const char* OnOff(bool on) {
  return on ? "on" : "off";
}

nlohmann::ordered_json OptionalBool(const std::optional<fleet::Orientation>& o,
                                    bool fleet::Orientation::*field) {
  if (!o) return nullptr;
  return (*o).*field;
}

// What was asked for: "keep" where the camera's value was to stay, so a report alone can run
// the camera again; what the set sent where nothing was asked for (a report of before).
nlohmann::ordered_json Wanted(const std::optional<fleet::Want>& want,
                              const std::optional<fleet::Orientation>& sent,
                              bool fleet::Orientation::*field) {
  if (!want) return OptionalBool(sent, field);
  if (*want == fleet::Want::kKeep) return "keep";
  return *want == fleet::Want::kOn;
}

// "off->on" for a change, "on" when nothing changed or only one side is known, "-" when none.
std::string Cell(const std::optional<fleet::Orientation>& before,
                 const std::optional<fleet::Orientation>& after, bool fleet::Orientation::*field) {
  if (before && after && (*before).*field != (*after).*field) {
    return std::string(OnOff((*before).*field)) + "->" + OnOff((*after).*field);
  }
  if (before) return OnOff((*before).*field);
  if (after) return std::string("->") + OnOff((*after).*field);
  return "-";
}

// A list's cell as a table cell: control characters would move the terminal's cursor.
std::string Label(std::string text) {
  if (text.empty()) return "-";
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

// The report's fields in their order; the JSON line and the CSV row both come from here.
nlohmann::ordered_json Fields(const fleet::CameraReport& r) {
  nlohmann::ordered_json j;
  j["address"] = r.host;
  j["port"] = r.port;
  j["user"] = r.user;
  if (!r.name.empty()) j["name"] = r.name;
  if (!r.location.empty()) j["location"] = r.location;
  j["action"] = fleet::ActionName(r.action);
  j["outcome"] = fleet::StatusName(r.status);
  j["ok"] = r.ok;
  j["message"] = r.message;
  j["cause"] = CauseName(r.cause);
  if (r.cause != Cause::kNone) j["request"] = RequestName(r.request);
  if (!r.detail.empty()) j["detail"] = r.detail;
  if (!r.note.empty()) j["note"] = r.note;
  j["flip_before"] = OptionalBool(r.before, &fleet::Orientation::flip);
  j["mirror_before"] = OptionalBool(r.before, &fleet::Orientation::mirror);
  j["flip_wanted"] = Wanted(r.flipWanted, r.wanted, &fleet::Orientation::flip);
  j["mirror_wanted"] = Wanted(r.mirrorWanted, r.wanted, &fleet::Orientation::mirror);
  j["flip_after"] = OptionalBool(r.after, &fleet::Orientation::flip);
  j["mirror_after"] = OptionalBool(r.after, &fleet::Orientation::mirror);
  if (r.verified) j["verified"] = *r.verified;
  if (r.login > 0) j["login"] = r.login;
  if (!r.auth.empty()) j["auth"] = r.auth;
  j["elapsed_ms"] = r.elapsedMs;
  return j;
}

const char* const kCsvColumns[] = {
    "address",      "port",        "user",          "name",        "location",      "action",
    "outcome",      "ok",          "message",       "cause",       "request",       "detail",
    "note",         "flip_before", "mirror_before", "flip_wanted", "mirror_wanted", "flip_after",
    "mirror_after", "verified",    "login",         "auth",        "elapsed_ms"};

// Columns a cell takes: a colour's escape sequence takes none.
size_t CellWidth(const std::string& cell) {
  size_t width = 0;
  for (size_t i = 0; i < cell.size(); ++i) {
    if (cell[i] == '\033' && i + 1 < cell.size() && cell[i + 1] == '[') {
      i = std::min(cell.find('m', i), cell.size() - 1);
      continue;
    }
    ++width;
  }
  return width;
}

}  // namespace

std::string Seconds(std::int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
  return text;
}

void ProgressLine::Draw(const std::string& text) {
  err_ << '\r' << text;
  if (text.size() < width_) err_ << std::string(width_ - text.size(), ' ');
  err_ << std::flush;
  width_ = std::max(width_, text.size());
}

void ProgressLine::Clear() {
  if (width_ == 0) return;
  // Plain spaces rather than terminal escapes: they work on every console.
  err_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
  width_ = 0;
}

std::string JsonLine(const fleet::CameraReport& r) {
  return Fields(r).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string CsvHeader() {
  std::string line;
  for (const char* c : kCsvColumns) line += std::string(line.empty() ? "" : ",") + c;
  return line + "\r\n";
}

std::string CsvRow(const fleet::CameraReport& r) {
  const nlohmann::ordered_json j = Fields(r);
  std::string line;
  bool first = true;
  for (const char* c : kCsvColumns) {
    if (!first) line += ',';
    first = false;
    auto it = j.find(c);
    if (it == j.end() || it->is_null()) continue;
    line += fleet::CsvCell(
        it->is_string()
            ? it->get<std::string>()
            : it->dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
  }
  return line + "\r\n";
}

std::string AlignColumns(const std::vector<std::vector<std::string>>& rows, size_t rightColumn) {
  std::vector<size_t> width;
  for (const auto& row : rows) {
    width.resize(std::max(width.size(), row.size()), 0);
    for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], CellWidth(row[c]));
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      const std::string pad(width[c] - CellWidth(row[c]), ' ');
      line += c == rightColumn ? pad + row[c] : row[c] + pad;
      if (c + 1 < row.size()) line += "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  return text;
}

std::string FormatTable(const std::vector<fleet::CameraReport>& reports, bool colour) {
  // The list's labels get columns only when some camera has one.
  const bool labels = std::any_of(reports.begin(), reports.end(), [](const fleet::CameraReport& r) {
    return !r.name.empty() || !r.location.empty();
  });
  const size_t timeColumn = labels ? 8 : 6;
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"CAMERA", "ACTION", "RESULT", "CAUSE", "FLIP", "MIRROR", "TIME", "MESSAGE"});
  if (labels) rows[0].insert(rows[0].begin() + 1, {"NAME", "LOCATION"});
  for (const fleet::CameraReport& r : reports) {
    // The cause leads; the dialog's fixed text follows, as it says less.
    std::string message = r.detail.empty() ? r.message : r.detail;
    for (const std::string* extra : {&r.message, &r.note}) {
      if (extra->empty() || *extra == message) continue;
      message += (message.empty() ? "(" : " (") + *extra + ")";
    }
    rows.push_back({r.host + ":" + std::to_string(r.port), fleet::ActionName(r.action),
                    r.ok     ? "ok"
                    : colour ? "\033[1;31mFAILED\033[0m"
                             : "FAILED",
                    r.cause == Cause::kNone ? "-" : CauseName(r.cause),
                    Cell(r.before, r.after ? r.after : r.wanted, &fleet::Orientation::flip),
                    Cell(r.before, r.after ? r.after : r.wanted, &fleet::Orientation::mirror),
                    std::to_string(r.elapsedMs) + " ms", message});
    if (labels) {
      rows.back().insert(rows.back().begin() + 1, {Label(r.name), Label(r.location)});
    }
  }
  return AlignColumns(rows, timeColumn);  // times line up on their unit
}

std::string FormatFailures(const std::vector<fleet::CameraReport>& reports) {
  std::vector<std::vector<std::string>> rows;
  for (const fleet::CameraReport& r : reports) {
    if (r.ok) continue;
    rows.push_back({"  " + r.host + ":" + std::to_string(r.port), CauseName(r.cause),
                    r.detail.empty() ? r.message : r.detail});
  }
  if (rows.empty()) return "";
  return "\nFailed (" + std::to_string(rows.size()) + "):\n" + AlignColumns(rows);
}

std::string FormatSummary(const std::vector<fleet::CameraReport>& reports, std::int64_t elapsedMs) {
  size_t ok = 0;
  size_t notStarted = 0;
  for (const fleet::CameraReport& r : reports) {
    if (r.ok) ++ok;
    if (r.status == fleet::Status::kNotStarted) ++notStarted;
  }
  std::string text = std::to_string(reports.size()) +
                     (reports.size() == 1 ? " camera: " : " cameras: ") + std::to_string(ok) +
                     " ok, " + std::to_string(reports.size() - ok) + " failed";
  if (notStarted > 0) text += " (" + std::to_string(notStarted) + " not started)";
  return text + ", " + Seconds(elapsedMs);
}

std::string FormatProgress(const fleet::Progress& p) {
  std::string text = std::to_string(p.done) + "/" + std::to_string(p.total) + " done, " +
                     std::to_string(p.failed) + " failed, " + Seconds(p.elapsedMs);
  if (p.restarting > 0) text += ", " + std::to_string(p.restarting) + " restarting";
  if (p.stopping) text += ", stopping";
  return text;
}

Reporter::Reporter(std::ostream& out, std::ostream& err, ReportFormat format, bool showProgress)
    : out_(out), err_(err), format_(format), showProgress_(showProgress), line_(err) {}

void Reporter::ClearProgressLocked() {
  line_.Clear();
}

void Reporter::DrawProgressLocked() {
  if (showProgress_ && last_.total > 0) line_.Draw(FormatProgress(last_));
}

void Reporter::WriteOutLocked(const std::string& text) {
  if (outputFailed_) return;
  out_ << text << std::flush;
  if (!out_) outputFailed_ = true;
}

void Reporter::OnReport(const fleet::CameraReport& report) {
  std::lock_guard<std::mutex> lock(mu_);
  ++last_.done;
  if (!report.ok) ++last_.failed;
  if (format_ == ReportFormat::kTable) return;
  ClearProgressLocked();
  if (format_ == ReportFormat::kCsv) {
    // Rows as cameras finish, like the JSON lines: a stopped run still leaves its rows.
    if (!csvHeaderWritten_) WriteOutLocked(CsvHeader());
    csvHeaderWritten_ = true;
    WriteOutLocked(CsvRow(report));
  } else {
    WriteOutLocked(JsonLine(report) + "\n");
  }
  DrawProgressLocked();
}

void Reporter::OnTick(const fleet::Progress& progress) {
  std::lock_guard<std::mutex> lock(mu_);
  last_ = progress;
  if (progress.stopping && !stopNoticeShown_) {
    stopNoticeShown_ = true;
    ClearProgressLocked();
    err_ << "tiltwise-cli: stopping: " << progress.running
         << " camera(s) under way will finish, no further camera is started" << std::endl;
  }
  DrawProgressLocked();
}

void Reporter::Finish(const std::vector<fleet::CameraReport>& reports, std::int64_t elapsedMs) {
  std::lock_guard<std::mutex> lock(mu_);
  ClearProgressLocked();
  if (format_ == ReportFormat::kJson) {
    if (showProgress_) err_ << FormatSummary(reports, elapsedMs) << std::endl;
    return;
  }
  if (format_ == ReportFormat::kCsv) {
    if (!csvHeaderWritten_) WriteOutLocked(CsvHeader());
    csvHeaderWritten_ = true;
    // Standard output holds only data.
    err_ << FormatSummary(reports, elapsedMs) << std::endl;
    return;
  }
  WriteOutLocked(FormatTable(reports, colour_) + FormatSummary(reports, elapsedMs) + "\n" +
                 (terminal_ ? FormatFailures(reports) : std::string()));
}

void Reporter::SetTerminalOutput(bool colour) {
  std::lock_guard<std::mutex> lock(mu_);
  terminal_ = true;
  colour_ = colour;
}

bool Reporter::OutputFailed() const {
  std::lock_guard<std::mutex> lock(mu_);
  return outputFailed_;
}

}  // namespace cli
