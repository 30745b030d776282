// The site window's rows: the cameras of a list, what the user wants of each, and what the
// last read or run found. No window and no network: the dialog shows these rows and the run
// adapter fills them in.
#ifndef TILTWISE_SITE_SITEROWS_H_
#define TILTWISE_SITE_SITEROWS_H_

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fleet/Runner.h"
#include "fleet/Targets.h"

namespace site {

// A Flip or Mirror choice above the list: empty leaves the rows' own cells.
enum class Pick { kCells, kOn, kOff, kKeep };
Pick ParsePick(const std::string& text);  // "", "on", "off", "keep"

struct SiteRow {
  fleet::Target target;  // as the list gave it; its flip and mirror are the wanted cells
  std::string status;    // what a scan found, or "camera" once read
  std::string chip;
  std::optional<fleet::Orientation> now;  // as last read
  std::string outcome;                    // the last run's, or what it is doing now
  std::string cause;
};

// The twelve cells of the list, in the template's column order. `user` stands in for rows
// without one of their own; `flip` and `mirror` override the wanted cells when picked.
std::vector<std::string> Cells(const SiteRow& row, const std::string& user, Pick flip, Pick mirror,
                               bool ticked);

// What a row's camera is to end up with: the pick when there is one (ticked rows only), else
// the list's cell, else keep.
fleet::Want WantedFlip(const SiteRow& row, Pick pick, bool ticked);
fleet::Want WantedMirror(const SiteRow& row, Pick pick, bool ticked);

// A site list, a scan's list or a report, read as tiltwise-cli reads its input. Each message
// goes to `errors` (nothing read then) or `notes`.
std::vector<SiteRow> ReadRows(std::istream& in, const std::string& name,
                              std::vector<std::string>* errors, std::vector<std::string>* notes);

// The cameras an earlier set may have changed, from its backup or report, each wanting its
// values before, as tiltwise-cli restore takes them. Messages as for ReadRows.
std::vector<fleet::Target> RestoreTargets(std::istream& in, const std::string& name,
                                          std::vector<std::string>* errors,
                                          std::vector<std::string>* notes);

// The list as tiltwise-cli reads it back: the wanted values as shown, the read values in the
// columns a scan writes.
void WriteRows(std::ostream& out, const std::vector<SiteRow>& rows, const std::string& user,
               Pick flip, Pick mirror, const std::vector<bool>& ticked);

// The job of one row; false with `error` set when it has nothing to change (kSet).
bool MakeJob(const SiteRow& row, const std::string& user, fleet::Mode mode, fleet::Want flip,
             fleet::Want mirror, fleet::Job* job, std::string* error);

// A finished camera's report into its row.
void TakeReport(SiteRow& row, const fleet::CameraReport& report);

// "12/40 done, 1 failed, 5 restarting" (", stopping" while a stop is under way).
std::string ProgressText(const fleet::Progress& progress);

// "Change 37 cameras to their wanted values? Each set restarts the camera." with the values
// named ("to Flip on, Mirror keep") when they are the same for every job.
std::string ApplyQuestion(const std::vector<fleet::Job>& jobs);

}  // namespace site

#endif  // TILTWISE_SITE_SITEROWS_H_
