#include "site/SiteDlg.h"

#include <algorithm>
#include <fstream>
#include <utility>

#include "fleet/ReportFile.h"
#include "site/SiteDialogs.h"

namespace {

constexpr char kCaption[] = "Tiltwise site";

const AFX_ACCEL kAccelerators[] = {
    {ui::win::kVkF5, false, IDC_SITE_READ},
    {ui::win::kVkReturn, true, IDC_SITE_APPLY},
    {'O', true, IDC_SITE_OPEN},
};

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// At most `most` of the messages, then how many more: a box the screen can hold.
std::string Lines(const std::vector<std::string>& messages, size_t most = 12) {
  std::string text;
  for (size_t i = 0; i < messages.size() && i < most; ++i) text += messages[i] + "\n";
  if (messages.size() > most)
    text += "... and " + std::to_string(messages.size() - most) + " more\n";
  return text;
}

}  // namespace

CSiteDlg::CSiteDlg(std::string list, std::string runsFolder, CWnd* pParent)
    : CDialog(IDD, pParent),
      m_strUserName("admin"),
      m_nCanary(kDefaultCanary),
      m_nMaxRestarting(kDefaultMaxRestarting),
      m_file(std::move(list)),
      m_runsFolder(std::move(runsFolder)) {
  SetAccelerators(kAccelerators, 3);
}

CSiteDlg::~CSiteDlg() {
  m_run.StopAtOnce();
  m_run.Join();
  ui::GetBackend().RunPosted();  // what the run posted last refers to this window
}

INT_PTR CSiteDlg::DoModal() {
  const INT_PTR result = CDialog::DoModal();
  m_run.StopAtOnce();
  m_run.Join();
  ui::GetBackend().RunPosted();
  return result;
}

void CSiteDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_SITE_USERNAME, m_strUserName);
  DDX_Text(pDX, IDC_SITE_PASSWORD, m_strPassword);
  DDX_Text(pDX, IDC_SITE_CREDENTIALS, m_strCredentials);
  DDX_Text(pDX, IDC_SITE_CANARY, m_nCanary);
  DDX_Text(pDX, IDC_SITE_MAXRESTARTING, m_nMaxRestarting);
}

BEGIN_MESSAGE_MAP(CSiteDlg, CDialog)
ON_BN_CLICKED(IDC_SITE_OPEN, &CSiteDlg::OnOpen)
ON_BN_CLICKED(IDC_SITE_SAVE, &CSiteDlg::OnSaveList)
ON_BN_CLICKED(IDC_SITE_SCAN, &CSiteDlg::OnScan)
ON_BN_CLICKED(IDC_SITE_BROWSE, &CSiteDlg::OnBrowse)
ON_BN_CLICKED(IDC_SITE_READ, &CSiteDlg::OnRead)
ON_BN_CLICKED(IDC_SITE_APPLY, &CSiteDlg::OnApply)
ON_BN_CLICKED(IDC_SITE_STOP, &CSiteDlg::OnStop)
ON_BN_CLICKED(IDC_SITE_RESTORE, &CSiteDlg::OnRestore)
ON_BN_CLICKED(IDC_SITE_REPORT, &CSiteDlg::OnSaveReport)
ON_LIST_NOTIFY(ui::kListTickChanged, IDC_SITE_LIST, &CSiteDlg::OnTickChanged)
END_MESSAGE_MAP()

BOOL CSiteDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (AfxGetApp()) {
    HICON icon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
    SetIcon(icon, TRUE);
    SetIcon(icon, FALSE);
  }
  m_list.SubclassDlgItem(IDC_SITE_LIST, this);
  m_progress.SubclassDlgItem(IDC_SITE_PROGRESS, this);
  ShowTitle();
  if (!m_file.empty()) {
    const std::string file = m_file;
    m_file.clear();
    LoadList(file);
  } else {
    SetStatus("Open a list of cameras (Alt+O).");
  }
  return TRUE;
}

void CSiteDlg::OnOK() {
  // Enter outside a button starts nothing: every change of a camera restarts it.
}

void CSiteDlg::OnCancel() {
  if (m_run.Running()) {
    const char* question = m_run.Scanning()
                               ? "A scan is under way. Stop it and close?"
                               : "A run is under way. Stop it and close? The cameras under way are "
                                 "abandoned; their backup lines are kept.";
    if (MessageBox(question, kCaption, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) {
      return;
    }
    m_run.StopAtOnce();
  }
  CDialog::OnCancel();
}

void CSiteDlg::ShowTitle() {
  SetWindowText(m_file.empty() ? kCaption : (BaseName(m_file) + " - " + kCaption).c_str());
}

bool CSiteDlg::Ticked(int row) const {
  ui::ListModel* model = m_list.GetModel();
  return model && model->Ticked(row);
}

std::vector<int> CSiteDlg::TickedRows() const {
  std::vector<int> rows;
  for (int i = 0; i < static_cast<int>(m_rows.size()); ++i) {
    if (Ticked(i)) rows.push_back(i);
  }
  return rows;
}

site::Pick CSiteDlg::FlipPick() const {
  CWnd* w = GetDlgItem(IDC_SITE_FLIP);
  return w ? site::ParsePick(w->GetWindowText().GetString()) : site::Pick::kCells;
}

site::Pick CSiteDlg::MirrorPick() const {
  CWnd* w = GetDlgItem(IDC_SITE_MIRROR);
  return w ? site::ParsePick(w->GetWindowText().GetString()) : site::Pick::kCells;
}

void CSiteDlg::ShowRow(int row) {
  ui::ListModel* model = m_list.GetModel();
  if (!model || row < 0 || row >= static_cast<int>(m_rows.size())) return;
  CWnd* user = GetDlgItem(IDC_SITE_USERNAME);
  model->SetRow(row, site::Cells(m_rows[row], user ? user->GetWindowText().GetString() : "",
                                 FlipPick(), MirrorPick(), model->Ticked(row)));
}

void CSiteDlg::ShowAllRows() {
  ui::ListModel* model = m_list.GetModel();
  if (!model) return;
  // Rows come only at the end (a scan, a restore): the others keep their ticks.
  model->SetRowCount(static_cast<int>(m_rows.size()));
  for (int i = 0; i < static_cast<int>(m_rows.size()); ++i) ShowRow(i);
}

void CSiteDlg::SetStatus(const std::string& text) {
  if (CWnd* status = GetDlgItem(IDC_SITE_STATUS)) status->SetWindowText(text.c_str());
}

void CSiteDlg::Error(const std::string& text) {
  MessageBox(text.c_str(), kCaption, MB_OK | MB_ICONERROR);
}

void CSiteDlg::OnTickChanged(int item) {
  if (item == ui::kAllRows) {
    ShowAllRows();
  } else {
    ShowRow(item);
  }
}

bool CSiteDlg::LoadList(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Error(path + " cannot be read.");
    return false;
  }
  std::vector<std::string> errors, notes;
  std::vector<site::SiteRow> rows = site::ReadRows(in, path, &errors, &notes);
  if (!errors.empty()) {
    Error("The list was not opened:\n" + Lines(errors));
    return false;
  }
  m_rows = std::move(rows);
  m_lastReports.clear();
  if (ui::ListModel* model = m_list.GetModel()) model->SetRowCount(0);
  ShowAllRows();
  m_file = path;
  ShowTitle();
  std::string status = std::to_string(m_rows.size()) + " camera(s) from " + BaseName(path) +
                       ". Tick the ones to read (F5) or change.";
  for (const std::string& note : notes) status += " " + note + ".";
  SetStatus(status);
  return true;
}

void CSiteDlg::OnOpen() {
  if (m_run.Running()) {
    SetStatus("A run is under way: open another list once it is done.");
    return;
  }
  CPromptDlg dlg("Open list - Tiltwise site", "&List file (CSV list, scan list or report):", m_file,
                 this);
  if (dlg.DoModal() == IDOK) LoadList(dlg.m_strText.GetString());
}

void CSiteDlg::OnSaveList() {
  CPromptDlg dlg("Save list - Tiltwise site", "Save the list &as:", m_file, this);
  if (dlg.DoModal() != IDOK) return;
  const std::string path = dlg.m_strText.GetString();
  std::vector<bool> ticked;
  for (int i = 0; i < static_cast<int>(m_rows.size()); ++i) ticked.push_back(Ticked(i));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  CWnd* user = GetDlgItem(IDC_SITE_USERNAME);
  site::WriteRows(out, m_rows, user ? user->GetWindowText().GetString() : "", FlipPick(),
                  MirrorPick(), ticked);
  out.flush();
  if (!out) {
    Error(path + " cannot be written: the list was not saved.");
    return;
  }
  m_file = path;
  ShowTitle();
  SetStatus("Saved " + std::to_string(m_rows.size()) + " camera(s) to " + path + ".");
}

void CSiteDlg::OnBrowse() {
  CWnd* edit = GetDlgItem(IDC_SITE_CREDENTIALS);
  CPromptDlg dlg("Credentials file - Tiltwise site", "&Credentials file (user:password lines):",
                 edit ? edit->GetWindowText().GetString() : "", this);
  if (dlg.DoModal() == IDOK && edit) edit->SetWindowText(dlg.m_strText);
}

void CSiteDlg::OnSaveReport() {
  if (m_lastReports.empty()) {
    SetStatus("No report yet: read or apply first.");
    return;
  }
  CPromptDlg dlg("Save report - Tiltwise site", "Save the report (CSV) &as:", "", this);
  if (dlg.DoModal() != IDOK) return;
  const std::string path = dlg.m_strText.GetString();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  // The list's own columns too, each once, in the order they first appear.
  std::vector<std::string> extra;
  for (const fleet::CameraReport& r : m_lastReports) {
    for (const auto& cell : r.extra) {
      if (std::find(extra.begin(), extra.end(), cell.first) == extra.end()) {
        extra.push_back(cell.first);
      }
    }
  }
  out << fleet::CsvHeader(extra);
  for (const fleet::CameraReport& r : m_lastReports) out << fleet::CsvRow(r, extra);
  out.flush();
  if (!out) {
    Error(path + " cannot be written: the report was not saved.");
    return;
  }
  SetStatus("Saved the report of " + std::to_string(m_lastReports.size()) + " camera(s) to " +
            path + ".");
}

void CSiteDlg::OnStop() {
  if (!m_run.Running()) {
    SetStatus("Nothing runs.");
    return;
  }
  if (m_run.Scanning()) {
    m_run.Stop();
    SetStatus("Stopping: no further address is tried; the devices being asked answer first.");
  } else if (!m_run.Stopping()) {
    m_run.Stop();
    SetStatus("Stopping: no further camera starts. Stop again to abandon the ones under way.");
  } else {
    m_run.StopAtOnce();
    SetStatus("Stopping at once: the cameras under way are abandoned.");
  }
}

int CSiteDlg::RowOf(tw::IPv4Address address, int port) const {
  for (size_t i = 0; i < m_rows.size(); ++i) {
    if (m_rows[i].target.address == address && m_rows[i].target.port == port) {
      return static_cast<int>(i);
    }
  }
  return -1;
}
