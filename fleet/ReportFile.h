// The report files: JSON lines (read back as the cameras of a new run, to retry the failures or
// restore the values before) and CSV, and the backup lines `set --backup` writes as each camera
// is read.
#ifndef TILTWISE_FLEET_REPORTFILE_H_
#define TILTWISE_FLEET_REPORTFILE_H_

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fleet/Runner.h"
#include "fleet/Targets.h"

namespace fleet {

// One line of a report or a backup file.
struct ReportEntry {
  Target target;           // address, port, user, name and location; origin "FILE:LINE"
  std::string action;      // "set", "skip", ...; empty in a backup line
  std::string outcome;     // "set", "not-applied", ...; empty in a backup line
  std::optional<bool> ok;  // none in a backup line
  std::string request;     // the request a failure came from
  std::optional<Orientation> before;
  std::optional<Orientation> wanted;  // what the set sent (or was about to)
};

// True when the first byte that is not blank is '{'; consumes nothing.
bool LooksLikeJsonLines(std::istream& in);

// Reads every line. A bad line adds "NAME:LINE: what" to `errors`, except a last line that
// ends without a newline: a run killed while writing leaves one, so it only adds to
// `warnings`. An empty report is an error.
void ReadReportLines(std::istream& in, const std::string& name, std::vector<ReportEntry>* entries,
                     std::vector<std::string>* errors, std::vector<std::string>* warnings);

// Whether the run that wrote the line may have changed the camera: a backup line (the set
// may have gone out after it was written), or a set that went out or may have, whatever came
// back.
bool MayHaveChanged(const ReportEntry& entry);

// What restoring one line asks for. With kRestore, `entry->target` now wants the values the
// camera held before the run, and knows what the set sent, so only what the run changed and the
// camera still holds goes back. kBeforeUnknown: set without reading first (--force).
enum class RestoreStep { kUnchanged, kBeforeUnknown, kRestore };
RestoreStep PrepareRestore(ReportEntry* entry);

// {"index":..,"address":..,"port":..,"user":..,("name":..,"location":..,)"action":..,
//  "outcome":..,"ok":..,"message":..,"flip_before":..,"mirror_before":..,"flip_wanted":..,
//  "mirror_wanted":..,"flip_after":..,"mirror_after":..,"elapsed_ms":..}, with "detail" (after
// "message"), "note" and "verified" only when they apply, and the list's own columns last;
// unknown values are null. "index" counts the cameras in the run's order from 1. No newline.
std::string JsonLine(const fleet::CameraReport& report);

// The same fields as CSV: a header naming them and one row per camera (name and location
// always, empty when the input gave none; unknown values empty), then the `extra` columns of the
// list. Each ends with "\r\n".
std::string CsvHeader(const std::vector<std::string>& extra = {});
std::string CsvRow(const fleet::CameraReport& report, const std::vector<std::string>& extra = {});

// {"address":..,"port":..,"user":..,("name","location",)"flip_before":..,"mirror_before":..,
// "flip_wanted":..,"mirror_wanted":..} with no newline: the values a camera held when `set`
// read it, and the values its set sends.
std::string BackupLine(const Job& job, const Orientation& before, const Orientation& wanted);
// The line and its newline, flushed: a run killed at any moment can still be restored. False
// when the write failed.
bool WriteBackupLine(std::ostream& out, const Job& job, const Orientation& before,
                     const Orientation& wanted);

}  // namespace fleet

#endif  // TILTWISE_FLEET_REPORTFILE_H_
