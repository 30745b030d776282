#include "site/SiteDialogs.h"

#include "res/TiltwiseResources.h"

namespace {

// The restore question as shown: its template with this ask's runs as the choices.
std::string g_runChoices;
ui::ControlTemplate g_restoreControls[4];
ui::DialogTemplate g_restore;

ui::DialogResource g_dialogs[] = {
    {IDD_TILTWISE_SITE, &kTiltwiseSite},
    {IDD_SITE_PROMPT, &kSitePrompt},
    {IDD_SITE_RESTORE, &kSiteRestore},
};
const ui::IconResource kIcons[] = {{IDR_MAINFRAME, &kTiltwiseIcon}};
const ui::ResourceModule kModule = {g_dialogs, 3, kIcons, 1};

}  // namespace

const ui::ResourceModule& SiteResources() {
  return kModule;
}

CPromptDlg::CPromptDlg(const char* caption, const char* label, const std::string& text,
                       CWnd* pParent)
    : CDialog(IDD_SITE_PROMPT, pParent),
      m_strText(text.c_str()),
      m_caption(caption),
      m_label(label) {}

BOOL CPromptDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(m_caption);
  if (CWnd* label = GetDlgItem(IDC_SITE_PROMPT_LABEL)) label->SetWindowText(m_label);
  if (CWnd* edit = GetDlgItem(IDC_SITE_PROMPT_TEXT)) edit->SetFocus();
  return FALSE;
}

void CPromptDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Text(pDX, IDC_SITE_PROMPT_TEXT, m_strText);
}

void CPromptDlg::OnOK() {
  if (!UpdateData(TRUE)) return;
  if (m_strText.IsEmpty()) {
    MessageBox("Type a file name.", nullptr, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  EndDialog(IDOK);
}

CRestoreDlg::CRestoreDlg(std::vector<std::string> runs, CWnd* pParent)
    : CDialog(IDD_SITE_RESTORE, pParent), m_runs(std::move(runs)) {
  if (!m_runs.empty()) m_strRun = m_runs.front().c_str();
}

INT_PTR CRestoreDlg::DoModal() {
  g_runChoices.clear();
  for (const std::string& run : m_runs) g_runChoices += (g_runChoices.empty() ? "" : "\n") + run;
  g_restore = kSiteRestore;
  for (int i = 0; i < kSiteRestore.controlCount && i < 4; ++i)
    g_restoreControls[i] = kSiteRestore.controls[i];
  g_restoreControls[kSiteRestoreRuns].text = g_runChoices.c_str();
  g_restore.controls = g_restoreControls;
  g_dialogs[2].dialog = &g_restore;
  const INT_PTR result = CDialog::DoModal();
  g_dialogs[2].dialog = &kSiteRestore;
  return result;
}

void CRestoreDlg::DoDataExchange(CDataExchange* pDX) {
  DDX_Text(pDX, IDC_SITE_RUNS, m_strRun);
}
