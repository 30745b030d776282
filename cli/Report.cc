#include "cli/Report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <mutex>

#include "base/Text.h"
#include "fleet/Csv.h"

namespace cli {
namespace {

const char* OnOff(bool on) {
  return on ? "on" : "off";
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
std::string Label(const std::string& text) {
  return text.empty() ? "-" : tw::Printable(text);
}

const std::string* ExtraCell(const fleet::CameraReport& r, const std::string& name) {
  for (const auto& [key, value] : r.extra) {
    if (key == name) return &value;
  }
  return nullptr;
}

std::ostream* g_traceOut = nullptr;
std::mutex g_traceMu;

void TraceLine(const char* ip, int port, const char* request, const char* status,
               long long elapsedMs) {
  const std::string line = "tiltwise-cli: " + std::string(ip) + ":" + std::to_string(port) + " " +
                           tw::Printable(request) + " -> " +
                           (*status ? tw::Printable(status) : std::string("no reply")) + " (" +
                           std::to_string(elapsedMs) + " ms)\n";
  std::lock_guard<std::mutex> lock(g_traceMu);
  *g_traceOut << line << std::flush;
}

// Columns a cell takes on a terminal: a colour's escape sequence takes none.
size_t CellWidth(const std::string& cell) {
  const size_t escape = cell.find("\033[");
  if (escape == std::string::npos) return tw::DisplayWidth(cell);
  const size_t end = std::min(cell.find('m', escape), cell.size() - 1);
  return tw::DisplayWidth(cell.substr(0, escape)) + CellWidth(cell.substr(end + 1));
}

}  // namespace

void TraceExchanges(std::ostream& err) {
  g_traceOut = &err;
  fleet::TraceExchanges(&TraceLine);
}

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
  // The list's labels get columns only when some camera has one; its own columns follow.
  const bool labels = std::any_of(reports.begin(), reports.end(), [](const fleet::CameraReport& r) {
    return !r.name.empty() || !r.location.empty();
  });
  std::vector<std::string> extra;
  for (const fleet::CameraReport& r : reports) {
    for (const auto& cell : r.extra) {
      if (std::find(extra.begin(), extra.end(), cell.first) == extra.end()) {
        extra.push_back(cell.first);
      }
    }
  }
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"CAMERA"});
  if (labels) rows[0].insert(rows[0].end(), {"NAME", "LOCATION"});
  for (const std::string& name : extra) {
    std::string title = tw::Printable(name);
    for (char& c : title) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    rows[0].push_back(title);
  }
  const size_t timeColumn = rows[0].size() + 5;
  rows[0].insert(rows[0].end(), {"ACTION", "RESULT", "CAUSE", "FLIP", "MIRROR", "TIME", "MESSAGE"});
  for (const fleet::CameraReport& r : reports) {
    // The cause leads; the dialog's fixed text follows, as it says less.
    std::string message = r.detail.empty() ? r.message : r.detail;
    for (const std::string* more : {&r.message, &r.note}) {
      if (more->empty() || *more == message) continue;
      message += (message.empty() ? "(" : " (") + *more + ")";
    }
    std::vector<std::string> row = {r.host + ":" + std::to_string(r.port)};
    if (labels) row.insert(row.end(), {Label(r.name), Label(r.location)});
    for (const std::string& name : extra) {
      const std::string* value = ExtraCell(r, name);
      row.push_back(Label(value ? *value : std::string()));
    }
    row.insert(row.end(),
               {fleet::ActionName(r.action),
                r.ok     ? "ok"
                : colour ? "\033[1;31mFAILED\033[0m"
                         : "FAILED",
                r.cause == Cause::kNone ? "-" : CauseName(r.cause),
                Cell(r.before, r.after ? r.after : r.wanted, &fleet::Orientation::flip),
                Cell(r.before, r.after ? r.after : r.wanted, &fleet::Orientation::mirror),
                std::to_string(r.elapsedMs) + " ms", message});
    rows.push_back(std::move(row));
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
  return fleet::RunSummary(reports, elapsedMs);
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
    if (!csvHeaderWritten_) WriteOutLocked(fleet::CsvHeader(extraColumns_));
    csvHeaderWritten_ = true;
    WriteOutLocked(fleet::CsvRow(report, extraColumns_));
  } else {
    WriteOutLocked(fleet::JsonLine(report) + "\n");
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
  std::vector<fleet::CameraReport> failed;
  std::copy_if(reports.begin(), reports.end(), std::back_inserter(failed),
               [](const fleet::CameraReport& r) { return !r.ok; });
  if (format_ == ReportFormat::kJson) {
    if (showProgress_ && !quiet_) err_ << FormatSummary(reports, elapsedMs) << std::endl;
    return;
  }
  if (format_ == ReportFormat::kCsv) {
    if (!csvHeaderWritten_) WriteOutLocked(fleet::CsvHeader(extraColumns_));
    csvHeaderWritten_ = true;
    // Standard output holds only data.
    if (!quiet_ || !failed.empty()) err_ << FormatSummary(reports, elapsedMs) << std::endl;
    return;
  }
  if (quiet_ && failed.empty()) return;
  WriteOutLocked(FormatTable(quiet_ ? failed : reports, colour_) +
                 FormatSummary(reports, elapsedMs) + "\n" +
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
