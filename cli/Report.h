// How reports reach the user: an aligned table at the end, or one JSON object per line as each
// camera finishes; progress on standard error. Every write is whole lines under one lock.
#ifndef TILTWISE_CLI_REPORT_H_
#define TILTWISE_CLI_REPORT_H_

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "fleet/ReportFile.h"
#include "fleet/Runner.h"

namespace cli {

// Header and one row per report, columns padded to the widest cell; the last column is
// "message (detail) (note)". Columns line up by the width a terminal gives them. `colour`:
// FAILED in red, for a terminal.
std::string FormatTable(const std::vector<fleet::CameraReport>& reports, bool colour = false);

// The cameras that failed, again, each with its cause: after a long table on a terminal they
// would be off the screen. Empty when none failed.
std::string FormatFailures(const std::vector<fleet::CameraReport>& reports);

// Rows padded to their widest cells, two spaces apart, no trailing blanks; `rightColumn` is
// aligned to the right.
std::string AlignColumns(const std::vector<std::vector<std::string>>& rows,
                         size_t rightColumn = static_cast<size_t>(-1));

// "3 cameras: 2 ok, 1 failed, 4.2 s" (and how many were not started).
std::string FormatSummary(const std::vector<fleet::CameraReport>& reports, std::int64_t elapsedMs);

// "12/40 done, 1 failed, 3.5 s" (and how many wait for their restart, and "stopping").
std::string FormatProgress(const fleet::Progress& progress);

// From now on every exchange's request line and reply status go to `err`, one line each
// ("tiltwise-cli: 127.0.0.5:80 GET /qx.html HTTP/1.1 -> HTTP/1.1 200 OK (12 ms)").
void TraceExchanges(std::ostream& err);

// "4.2 s".
std::string Seconds(std::int64_t ms);

// The one line of progress on a terminal, redrawn in place. Not locked: its owner orders the
// calls with its other writes to the stream.
class ProgressLine {
 public:
  explicit ProgressLine(std::ostream& err) : err_(err) {}
  void Draw(const std::string& text);
  void Clear();

 private:
  std::ostream& err_;
  size_t width_ = 0;  // characters of the line now on the screen
};

enum class ReportFormat { kTable, kJson, kCsv };

class Reporter {
 public:
  // `showProgress`: keep a progress line on `err` (meant for a terminal only).
  Reporter(std::ostream& out, std::ostream& err, ReportFormat format, bool showProgress);

  // From any thread, as each camera finishes.
  void OnReport(const fleet::CameraReport& report);
  // From the thread that runs the jobs.
  void OnTick(const fleet::Progress& progress);
  // Once, after the run: the table and the summary (JSON and CSV: the summary on `err`).
  void Finish(const std::vector<fleet::CameraReport>& reports, std::int64_t elapsedMs);

  // `out` is a terminal: the table is followed by the failures again, FAILED in red when
  // `colour`.
  void SetTerminalOutput(bool colour);

  // True once a write to `out` failed (a closed pipe, a full disk).
  bool OutputFailed() const;

  // Before the run: the list's own columns, which CSV rows carry at their end.
  void SetExtraColumns(std::vector<std::string> names) { extraColumns_ = std::move(names); }
  // Before the run: the table shows only the failed cameras, and nothing when none failed.
  void SetQuiet(bool quiet) { quiet_ = quiet; }

 private:
  void ClearProgressLocked();
  void DrawProgressLocked();
  void WriteOutLocked(const std::string& text);

  std::ostream& out_;
  std::ostream& err_;
  const ReportFormat format_;
  bool csvHeaderWritten_ = false;
  std::vector<std::string> extraColumns_;
  bool quiet_ = false;
  const bool showProgress_;
  mutable std::mutex mu_;
  fleet::Progress last_;
  ProgressLine line_;
  bool stopNoticeShown_ = false;
  bool outputFailed_ = false;
  bool terminal_ = false;
  bool colour_ = false;
};

}  // namespace cli

#endif  // TILTWISE_CLI_REPORT_H_
