// The site window's runs: read, apply and restore, each on the run's own thread, its news
// posted back to the window.
#include <atomic>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>

#include "base/Clock.h"
#include "fleet/Logins.h"
#include "fleet/ReportFile.h"
#include "site/SiteDialogs.h"
#include "site/SiteDlg.h"
#include "site/SiteScan.h"

namespace {

constexpr char kCaption[] = "Tiltwise site";
constexpr int kMostAtOnce = 1000;  // canary and restarting places

}  // namespace

bool CSiteDlg::ReadyToRun() {
  if (m_run.Running()) {
    SetStatus("A run is under way: wait for it, or Stop it.");
    return false;
  }
  if (!UpdateData(TRUE)) return false;
  if (m_nCanary < 0 || m_nCanary > kMostAtOnce || m_nMaxRestarting < 0 ||
      m_nMaxRestarting > kMostAtOnce) {
    Error("Canary and Max restarting take a number from 0 to 1000 (0: none, no limit).");
    return false;
  }
  if (m_strPassword.IsEmpty() && m_strCredentials.IsEmpty()) {
    Error("Type the cameras' password (Alt+P) or give a credentials file first.");
    if (CWnd* password = GetDlgItem(IDC_SITE_PASSWORD)) password->SetFocus();
    return false;
  }
  return true;
}

bool CSiteDlg::GatherLogins(std::vector<fleet::Credential>* logins, bool* sourcesFirst,
                            std::string* error) {
  fleet::LoginSources sources;
  sources.user = m_strUserName.GetString();
  sources.credentialsFile = m_strCredentials.GetString();
  // The typed password stands where the command line's environment variable would: login 1
  // whenever there is one, with the credentials file or without, taken as typed.
  const std::string typed = m_strPassword.GetString();
  fleet::PasswordSources passwords;
  passwords.readFile = [](const std::string&, std::string*) { return false; };
  passwords.environment = [&typed] {
    return typed.empty() ? std::nullopt : std::optional<std::string>(typed);
  };
  passwords.readStdinLine = [](std::string*) { return false; };
  passwords.stdinIsTerminal = [] { return false; };
  passwords.prompt = [](std::string*) { return false; };
  std::vector<std::string> errors;
  if (fleet::GatherLogins(sources, passwords, logins, sourcesFirst, &errors)) return true;
  *error = errors.empty() ? std::string("no login to try") : errors.front();
  return false;
}

void CSiteDlg::OnRead() {
  if (!ReadyToRun()) return;
  ShowAllRows();
  std::vector<fleet::Job> jobs;
  std::vector<int> rows = TickedRows();
  if (rows.empty()) {
    SetStatus("Tick the cameras to read first (Space, or Ctrl+A for all).");
    return;
  }
  for (int row : rows) {
    fleet::Job job;
    std::string error;
    site::MakeJob(m_rows[row], m_strUserName.GetString(), fleet::Mode::kQuery, fleet::Want::kKeep,
                  fleet::Want::kKeep, &job, &error);
    jobs.push_back(std::move(job));
  }
  StartRun(std::move(jobs), std::move(rows), fleet::Mode::kQuery);
}

void CSiteDlg::OnApply() {
  if (!ReadyToRun()) return;
  ShowAllRows();  // the wanted values as the choices above the list make them
  std::vector<int> rows = TickedRows();
  if (rows.empty()) {
    SetStatus("Tick the cameras to change first (Space, or Ctrl+A for all).");
    return;
  }
  std::vector<fleet::Job> jobs;
  std::vector<std::string> errors;
  for (int row : rows) {
    fleet::Job job;
    std::string error;
    if (site::MakeJob(m_rows[row], m_strUserName.GetString(), fleet::Mode::kSet,
                      site::WantedFlip(m_rows[row], FlipPick(), true),
                      site::WantedMirror(m_rows[row], MirrorPick(), true), &job, &error)) {
      jobs.push_back(std::move(job));
    } else {
      errors.push_back(error);
    }
  }
  if (!errors.empty()) {
    std::string text = "Nothing was sent:\n";
    for (size_t i = 0; i < errors.size() && i < 12; ++i) text += errors[i] + "\n";
    Error(text);
    return;
  }
  if (MessageBox(site::ApplyQuestion(jobs).c_str(), kCaption, MB_YESNO) != IDYES) return;
  StartRun(std::move(jobs), std::move(rows), fleet::Mode::kSet);
}

void CSiteDlg::OnRestore() {
  if (!ReadyToRun()) return;
  std::vector<std::string> runs = site::ListBackups(m_runsFolder);
  if (runs.empty()) {
    Error("No run to restore: " +
          (m_runsFolder.empty() ? std::string("no folder for runs")
                                : m_runsFolder + " holds no backup") +
          ".");
    return;
  }
  CRestoreDlg dlg(runs, this);
  if (dlg.DoModal() != IDOK) return;
  const std::string path = site::InFolder(m_runsFolder, dlg.m_strRun.GetString());
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> errors, notes;
  std::vector<fleet::Target> targets;
  if (in) {
    targets = site::RestoreTargets(in, path, &errors, &notes);
  } else {
    errors.push_back(path + ": cannot be read");
  }
  std::vector<fleet::Job> jobs;
  for (const fleet::Target& t : targets) {
    site::SiteRow row;
    row.target = t;
    fleet::Job job;
    std::string error;
    if (site::MakeJob(row, m_strUserName.GetString(), fleet::Mode::kSet, *t.flip, *t.mirror, &job,
                      &error)) {
      jobs.push_back(std::move(job));
    }
  }
  if (!errors.empty()) {
    std::string text = "Nothing was sent:\n";
    for (size_t i = 0; i < errors.size() && i < 12; ++i) text += errors[i] + "\n";
    Error(text);
    return;
  }
  if (jobs.empty()) {
    std::string text = "Nothing to restore.";
    for (const std::string& note : notes) text += " " + note + ".";
    SetStatus(text);
    return;
  }
  // The run's cameras are shown where the list has them, added where it has not.
  std::vector<int> rows;
  for (size_t i = 0; i < jobs.size(); ++i) {
    int row = RowOf(targets[i].address, targets[i].port);
    if (row < 0) {
      site::SiteRow added;
      added.target = targets[i];
      added.target.flip.reset();
      added.target.mirror.reset();
      m_rows.push_back(std::move(added));
      row = static_cast<int>(m_rows.size()) - 1;
    }
    rows.push_back(row);
  }
  ShowAllRows();
  const std::string question =
      "Put " + std::to_string(jobs.size()) + (jobs.size() == 1 ? " camera" : " cameras") +
      " back as they were before " + dlg.m_strRun.GetString() + "? Each set restarts the camera.";
  if (MessageBox(question.c_str(), kCaption, MB_YESNO) != IDYES) return;
  StartRun(std::move(jobs), std::move(rows), fleet::Mode::kSet);
}

bool CSiteDlg::StartRun(std::vector<fleet::Job> jobs, std::vector<int> jobRows, fleet::Mode mode) {
  fleet::RunOptions options = m_runOptions;
  options.mode = mode;
  std::string loginError;
  if (!GatherLogins(&options.logins, &options.sourcesFirst, &loginError)) {
    Error("Nothing was sent: " + loginError);
    return false;
  }
  // A list's `login` names a line of the credentials file it was made with.
  std::vector<fleet::Target> listed;
  for (int row : jobRows) listed.push_back(m_rows[row].target);
  std::vector<std::string> loginErrors;
  fleet::CheckListedLogins(listed, options.logins, options.sourcesFirst, &loginErrors);
  if (!loginErrors.empty()) {
    Error("Nothing was sent: " + loginErrors.front());
    return false;
  }
  if (mode == fleet::Mode::kSet) {
    options.verify = true;
    options.canary = m_nCanary;
    options.maxRestarting = m_nMaxRestarting;
    // No camera is touched without its backup line going somewhere first.
    auto files = std::make_unique<site::RunFiles>();
    std::string error;
    if (!site::OpenRunFiles(m_runsFolder, std::time(nullptr), files.get(), &error)) {
      Error("Nothing was sent: the run's backup cannot be kept (" + error + ").");
      return false;
    }
    m_files = std::move(files);
  }
  m_bSetRun = mode == fleet::Mode::kSet;
  m_runStart = tw::NowMs();
  m_bBackupFailed = false;
  m_bReportFailed = false;
  m_jobRows = std::move(jobRows);
  for (int row : m_jobRows) {
    m_rows[row].outcome = "waiting";
    m_rows[row].cause.clear();
    ShowRow(row);
  }

  auto shared = std::make_shared<std::vector<fleet::Job>>(jobs);
  site::RunFiles* files = m_files.get();
  site::RunEvents events;
  ui::Backend* ui = &ui::GetBackend();
  events.read = [this, ui, files, shared](size_t job, const fleet::Orientation& before,
                                          const fleet::Orientation& wanted) {
    if (files) {
      // Flushed line by line: a run that ends at any moment can still be put back.
      files->backup << fleet::BackupLine((*shared)[job], before, wanted) << "\n" << std::flush;
      if (!files->backup) {
        ui->Post([this] {
          m_bBackupFailed = true;
          m_run.Stop();
        });
        return false;
      }
    }
    ui->Post([this, job, before] { OnCameraRead(job, before); });
    return true;
  };
  events.restarting = [this, ui](size_t job) {
    ui->Post([this, job] { OnCameraStep(job, "restarting"); });
  };
  events.back = [this, ui](size_t job) { ui->Post([this, job] { OnCameraStep(job, "back"); }); };
  events.finished = [this, ui, files](const fleet::CameraReport& report) {
    if (files && files->report) {
      files->report << fleet::JsonLine(report) << "\n" << std::flush;
      if (!files->report) ui->Post([this] { m_bReportFailed = true; });
    }
    ui->Post([this, report] { OnCameraFinished(report); });
  };
  events.progress = [this, ui](const fleet::Progress& p) {
    ui->Post([this, p] { OnProgress(p); });
  };
  events.done = [this, ui](std::vector<fleet::CameraReport> reports) {
    ui->Post([this, reports = std::move(reports)]() mutable { OnRunDone(std::move(reports)); });
  };
  m_progress.SetRange32(0, static_cast<int>(jobs.size()));
  m_progress.SetPos(0);
  if (!m_run.Start(std::move(jobs), std::move(options), std::move(events))) {
    m_files.reset();
    Error("Nothing was sent: no thread can be started for the run.");
    return false;
  }
  SetStatus(m_bSetRun ? "Changing " + std::to_string(m_jobRows.size()) + " camera(s)..."
                      : "Reading " + std::to_string(m_jobRows.size()) + " camera(s)...");
  return true;
}

void CSiteDlg::OnCameraRead(size_t job, fleet::Orientation before) {
  if (job >= m_jobRows.size()) return;
  site::SiteRow& row = m_rows[m_jobRows[job]];
  row.now = before;
  row.status = "camera";
  row.outcome = "setting";
  ShowRow(m_jobRows[job]);
}

void CSiteDlg::OnCameraStep(size_t job, const char* outcome) {
  if (job >= m_jobRows.size()) return;
  m_rows[m_jobRows[job]].outcome = outcome;
  ShowRow(m_jobRows[job]);
}

void CSiteDlg::OnCameraFinished(const fleet::CameraReport& report) {
  if (report.index >= m_jobRows.size()) return;
  site::TakeReport(m_rows[m_jobRows[report.index]], report);
  ShowRow(m_jobRows[report.index]);
}

void CSiteDlg::OnProgress(const fleet::Progress& progress) {
  if (!m_run.Running()) return;  // a tick that came after the end
  m_progress.SetRange32(0, static_cast<int>(progress.total));
  m_progress.SetPos(static_cast<int>(progress.done));
  SetStatus(site::ProgressText(progress));
}

void CSiteDlg::OnRunDone(std::vector<fleet::CameraReport> reports) {
  m_run.Join();
  std::string text = reports.empty()
                         ? std::string("The run ended without reports.")
                         : "Done: " + fleet::RunSummary(reports, tw::NowMs() - m_runStart) + ".";
  if (m_files) {
    m_files->backup.close();
    m_files->report.close();
    m_lastBackup = m_files->backupPath;
    m_lastReport = m_files->reportPath;
    text += " Backup and report: " + m_runsFolder + " (" + m_files->stamp + ").";
    m_files.reset();
  }
  if (m_bBackupFailed) {
    Error("Writing the backup failed: the cameras after it were not changed.");
  }
  if (m_bReportFailed) Error("Writing the run's report failed: it is incomplete.");
  m_lastReports = std::move(reports);
  m_progress.SetPos(static_cast<int>(m_jobRows.size()));
  SetStatus(text);
}

void CSiteDlg::OnScan() {
  if (m_run.Running()) {
    SetStatus("A run is under way: wait for it, or Stop it.");
    return;
  }
  if (!UpdateData(TRUE)) return;
  if (m_strPassword.IsEmpty() && m_strCredentials.IsEmpty()) {
    Error("Type the cameras' password (Alt+P) or give a credentials file first.");
    return;
  }
  std::vector<fleet::Credential> logins;
  bool sourcesFirst = false;
  std::string loginError;
  if (!GatherLogins(&logins, &sourcesFirst, &loginError)) {
    Error("Nothing was scanned: " + loginError);
    return;
  }
  CPromptDlg dlg(
      "Scan - Tiltwise site",
      "&Ranges and ports (192.168.1.0/24 192.168.2.10-60 --port 80,8080):", m_scanRequest, this);
  if (dlg.DoModal() != IDOK) return;
  m_scanRequest = dlg.m_strText.GetString();
  std::vector<fleet::Endpoint> endpoints;
  size_t addresses = 0;
  std::string error;
  if (!site::ParseScanRequest(m_scanRequest, &endpoints, &addresses, &error)) {
    Error("Nothing was scanned: " + error);
    return;
  }
  fleet::ScanOptions options;
  options.credentials = std::move(logins);
  options.timeoutMs = m_runOptions.timeoutMs;
  ui::Backend* ui = &ui::GetBackend();
  site::ScanEvents events;
  events.found = [this, ui](const fleet::ScanResult& r) {
    if (site::IsListed(r)) ui->Post([this, r] { OnFound(r); });
  };
  events.progress = [this, ui](const fleet::ScanProgress& p) {
    ui->Post([this, p] { OnScanProgress(p, false); });
  };
  events.done = [this, ui](const fleet::ScanProgress& p) {
    ui->Post([this, p] { OnScanProgress(p, true); });
  };
  m_jobRows.clear();
  m_progress.SetRange32(0, static_cast<int>(endpoints.size()));
  m_progress.SetPos(0);
  if (!m_run.StartScan(std::move(endpoints), std::move(options), std::move(events))) {
    Error("Nothing was scanned: no thread can be started for the scan.");
    return;
  }
  SetStatus("Scanning " + std::to_string(addresses) + " address(es)...");
}

void CSiteDlg::OnFound(const fleet::ScanResult& result) {
  const std::optional<tw::IPv4Address> address = tw::IPv4Address::Parse(result.host);
  if (!address) return;
  int row = RowOf(*address, result.port);
  if (row < 0) {
    m_rows.emplace_back();
    row = static_cast<int>(m_rows.size()) - 1;
  }
  site::TakeScanResult(m_rows[row], result);
  if (ui::ListModel* model = m_list.GetModel()) model->SetRowCount(static_cast<int>(m_rows.size()));
  ShowRow(row);
}

void CSiteDlg::OnScanProgress(const fleet::ScanProgress& p, bool done) {
  if (!done && !m_run.Running()) return;  // a tick that came after the end
  if (done) m_run.Join();
  m_progress.SetRange32(0, static_cast<int>(p.total));
  m_progress.SetPos(static_cast<int>(done ? p.total : p.swept));
  std::string text = std::to_string(p.swept) + "/" + std::to_string(p.total) + " tried, " +
                     std::to_string(p.cameras) + " camera(s), " + std::to_string(p.authFailed) +
                     " no login opened";
  if (done) {
    text = "Scan done: " + text + (p.stopping ? " (stopped)" : "") +
           ". Tick and apply, or save the list.";
  } else if (p.stopping) {
    text += ", stopping";
  }
  SetStatus(text);
}
