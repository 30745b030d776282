#include "site/SiteRows.h"

#include <algorithm>

#include "fleet/Csv.h"
#include "fleet/ReportFile.h"
#include "res/SiteResources.h"

namespace site {
namespace {

const char* OnOff(bool value) {
  return value ? "on" : "off";
}

const char* WantText(fleet::Want want) {
  switch (want) {
    case fleet::Want::kOn:
      return "on";
    case fleet::Want::kOff:
      return "off";
    case fleet::Want::kKeep:
      return "keep";
  }
  return "";
}

fleet::Want Wanted(const std::optional<fleet::Want>& cell, Pick pick, bool ticked) {
  if (ticked && pick != Pick::kCells) {
    return pick == Pick::kOn    ? fleet::Want::kOn
           : pick == Pick::kOff ? fleet::Want::kOff
                                : fleet::Want::kKeep;
  }
  return cell.value_or(fleet::Want::kKeep);
}

// The cell as the user sees it: empty when neither the list nor a pick said anything.
std::string WantedCell(const std::optional<fleet::Want>& cell, Pick pick, bool ticked) {
  if (!cell && (!ticked || pick == Pick::kCells)) return "";
  return WantText(Wanted(cell, pick, ticked));
}

}  // namespace

Pick ParsePick(const std::string& text) {
  if (text == "on") return Pick::kOn;
  if (text == "off") return Pick::kOff;
  if (text == "keep") return Pick::kKeep;
  return Pick::kCells;
}

fleet::Want WantedFlip(const SiteRow& row, Pick pick, bool ticked) {
  return Wanted(row.target.flip, pick, ticked);
}

fleet::Want WantedMirror(const SiteRow& row, Pick pick, bool ticked) {
  return Wanted(row.target.mirror, pick, ticked);
}

std::vector<std::string> Cells(const SiteRow& row, const std::string& user, Pick flip, Pick mirror,
                               bool ticked) {
  std::vector<std::string> cells(kSiteColumns);
  const fleet::Target& t = row.target;
  cells[kSiteName] = t.name;
  cells[kSiteLocation] = t.location;
  cells[kSiteAddress] = t.address.ToString() + ":" + std::to_string(t.port);
  cells[kSiteUser] = t.user.value_or(user);
  cells[kSiteStatus] = row.status;
  cells[kSiteChip] = row.chip;
  cells[kSiteFlipNow] = row.now ? OnOff(row.now->flip) : "";
  cells[kSiteMirrorNow] = row.now ? OnOff(row.now->mirror) : "";
  cells[kSiteWantedFlip] = WantedCell(t.flip, flip, ticked);
  cells[kSiteWantedMirror] = WantedCell(t.mirror, mirror, ticked);
  cells[kSiteOutcome] = row.outcome;
  cells[kSiteCause] = row.cause;
  return cells;
}

std::vector<SiteRow> ReadRows(std::istream& in, const std::string& name,
                              std::vector<std::string>* errors, std::vector<std::string>* notes) {
  std::vector<fleet::Target> targets;
  if (fleet::LooksLikeJsonLines(in)) {
    std::vector<fleet::ReportEntry> entries;
    fleet::ReadReportLines(in, name, &entries, errors, notes);
    for (fleet::ReportEntry& e : entries) targets.push_back(std::move(e.target));
  } else {
    fleet::ReadTargetList(in, name, &targets, errors);
  }
  // A scan's list: only its cameras, and the devices other logins may open.
  const size_t all = targets.size();
  targets.erase(std::remove_if(targets.begin(), targets.end(),
                               [](const fleet::Target& t) {
                                 return t.status == "not-a-camera" || t.status == "no-answer" ||
                                        t.status == "no-reply";
                               }),
                targets.end());
  if (targets.size() < all) {
    notes->push_back(std::to_string(all - targets.size()) +
                     " device(s) the scan found to be no camera, or silent, are left out");
  }
  if (errors->empty()) {
    for (std::string& e : fleet::FindDuplicates(targets)) errors->push_back(std::move(e));
  }
  std::vector<SiteRow> rows;
  if (!errors->empty()) return rows;
  for (const fleet::Target& t : targets) {
    SiteRow row;
    row.target = t;
    row.status = t.status;
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<fleet::Target> RestoreTargets(std::istream& in, const std::string& name,
                                          std::vector<std::string>* errors,
                                          std::vector<std::string>* notes) {
  std::vector<fleet::ReportEntry> entries;
  fleet::ReadReportLines(in, name, &entries, errors, notes);
  std::vector<fleet::Target> targets;
  size_t unknown = 0;
  for (fleet::ReportEntry& e : entries) {
    const fleet::RestoreStep step = fleet::PrepareRestore(&e);
    unknown += step == fleet::RestoreStep::kBeforeUnknown;
    if (step == fleet::RestoreStep::kRestore) targets.push_back(std::move(e.target));
  }
  if (unknown > 0) {
    notes->push_back(std::to_string(unknown) +
                     " camera(s) were set without reading first: their values before are "
                     "unknown, so they are left alone");
  }
  if (errors->empty()) {
    for (std::string& e : fleet::FindDuplicates(targets)) errors->push_back(std::move(e));
  }
  return targets;
}

void WriteRows(std::ostream& out, const std::vector<SiteRow>& rows, const std::string& user,
               Pick flip, Pick mirror, const std::vector<bool>& ticked) {
  // The login that worked and the list's own columns go back out, so nothing read is lost.
  std::vector<fleet::Target> targets;
  for (const SiteRow& r : rows) targets.push_back(r.target);
  const std::vector<std::string> extra = fleet::ExtraColumnNames(targets);
  out << "name,location,host,port,user,flip,mirror,status,flip_now,mirror_now,login,auth";
  for (const std::string& column : extra) out << ',' << fleet::CsvCell(column);
  out << "\r\n";
  for (size_t i = 0; i < rows.size(); ++i) {
    const SiteRow& r = rows[i];
    const bool tick = i < ticked.size() && ticked[i];
    const std::vector<std::string> c = Cells(r, user, flip, mirror, tick);
    out << fleet::CsvCell(r.target.name) << ',' << fleet::CsvCell(r.target.location) << ','
        << r.target.address.ToString() << ',' << r.target.port << ','
        << fleet::CsvCell(r.target.user.value_or("")) << ',' << c[kSiteWantedFlip] << ','
        << c[kSiteWantedMirror] << ',' << fleet::CsvCell(r.status) << ',' << c[kSiteFlipNow] << ','
        << c[kSiteMirrorNow] << ',' << (r.target.login ? std::to_string(*r.target.login) : "")
        << ',' << (r.target.digest ? "digest" : "");
    for (const std::string& column : extra) {
      auto cell = std::find_if(r.target.extra.begin(), r.target.extra.end(),
                               [&column](const auto& c) { return c.first == column; });
      out << ',' << (cell == r.target.extra.end() ? "" : fleet::CsvCell(cell->second));
    }
    out << "\r\n";
  }
}

bool MakeJob(const SiteRow& row, const std::string& user, fleet::Mode mode, fleet::Want flip,
             fleet::Want mirror, fleet::Job* job, std::string* error) {
  const fleet::Target& t = row.target;
  *job = fleet::Job();
  job->address = t.address;
  job->port = t.port;
  job->user = t.user.value_or(user);
  job->name = t.name;
  job->location = t.location;
  job->extra = t.extra;
  job->login = t.login.value_or(0);
  job->digest = t.digest;
  if (mode == fleet::Mode::kQuery) return true;
  if (flip == fleet::Want::kKeep && mirror == fleet::Want::kKeep) {
    *error = (t.name.empty() ? t.address.ToString() + ":" + std::to_string(t.port) : t.name) +
             ": nothing to change: pick Flip or Mirror, or give the list wanted values";
    return false;
  }
  job->wanted = fleet::Orientation{flip == fleet::Want::kOn, mirror == fleet::Want::kOn};
  job->keepFlip = flip == fleet::Want::kKeep;
  job->keepMirror = mirror == fleet::Want::kKeep;
  if (t.sentFlip && t.sentMirror) job->restoreSent = fleet::Orientation{*t.sentFlip, *t.sentMirror};
  return true;
}

void TakeReport(SiteRow& row, const fleet::CameraReport& report) {
  // The latest values known: after a change, else before it.
  if (report.after) {
    row.now = report.after;
  } else if (report.before && report.action != fleet::Action::kSet) {
    row.now = report.before;
  } else if (report.action == fleet::Action::kSet) {
    row.now.reset();  // sent, not read back: what it holds now is unknown
  }
  if (report.before) row.status = "camera";
  if (report.chipType != 0) row.chip = std::to_string(report.chipType);
  row.outcome = fleet::StatusName(report.status);
  row.cause = report.ok ? report.note : report.message;
  if (!report.ok && !report.detail.empty()) row.cause += " (" + report.detail + ")";
}

std::string ProgressText(const fleet::Progress& p) {
  std::string text = std::to_string(p.done) + "/" + std::to_string(p.total) + " done, " +
                     std::to_string(p.failed) + " failed, " + std::to_string(p.restarting) +
                     " restarting";
  if (p.stopping) text += ", stopping";
  return text;
}

std::string ApplyQuestion(const std::vector<fleet::Job>& jobs) {
  const std::string count =
      std::to_string(jobs.size()) + (jobs.size() == 1 ? " camera" : " cameras");
  bool same = !jobs.empty();
  for (const fleet::Job& j : jobs) {
    same = same && j.keepFlip == jobs[0].keepFlip && j.keepMirror == jobs[0].keepMirror &&
           (j.keepFlip || j.wanted.flip == jobs[0].wanted.flip) &&
           (j.keepMirror || j.wanted.mirror == jobs[0].wanted.mirror);
  }
  std::string values = "their wanted values";
  if (same) {
    const fleet::Job& j = jobs[0];
    values.clear();
    if (!j.keepFlip) values = std::string("Flip ") + OnOff(j.wanted.flip);
    if (!j.keepMirror) {
      values += (values.empty() ? "Mirror " : " and Mirror ") + std::string(OnOff(j.wanted.mirror));
    }
  }
  return "Change " + count + " to " + values + "? Each set restarts the camera.";
}

}  // namespace site
