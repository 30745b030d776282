#include "ui/Dialog.h"

#include <climits>
#include <cstdio>
#include <vector>

#include "ui/WinApp.h"

namespace {

ui::Backend& B() {
  return ui::GetBackend();
}

// Dialogs inside DoModal, innermost last.
std::vector<CDialog*>& ModalDialogs() {
  static std::vector<CDialog*> dialogs;
  return dialogs;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

CDialog* AfxGetModalDialog() {
  return ModalDialogs().empty() ? nullptr : ModalDialogs().back();
}

bool AfxParseInt(const char* text, int* value) {
  if (!text) return false;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (*p < '0' || *p > '9') return false;
  long long n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    n = n * 10 + (*p - '0');
    if (n > static_cast<long long>(INT_MAX) + 1) return false;  // no wrap-around, ever
  }
  while (IsBlank(*p)) ++p;
  if (*p != '\0') return false;
  if (negative) n = -n;
  if (n < INT_MIN || n > INT_MAX) return false;
  *value = static_cast<int>(n);
  return true;
}

// ---- CDataExchange

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

HWND CDataExchange::PrepareCtrl(int nIDC) {
  HWND control = B().FindControl(m_pDlgWnd->m_hWnd, nIDC);
  if (!control) {
    // A field bound to a control the template lacks: a programming error, not user input.
    std::fprintf(stderr, "dialog data exchange: no control with id %d\n", nIDC);
    m_bFailed = true;
    return nullptr;
  }
  m_idLastControl = nIDC;
  m_bEditLastControl = false;
  return control;
}

HWND CDataExchange::PrepareEditCtrl(int nIDC) {
  HWND control = PrepareCtrl(nIDC);
  if (control) m_bEditLastControl = true;
  return control;
}

void CDataExchange::Fail() {
  HWND control = B().FindControl(m_pDlgWnd->m_hWnd, m_idLastControl);
  if (control) {
    B().Focus(control);
    if (m_bEditLastControl) B().SelectText(control, 0, -1);
  }
  m_bFailed = true;
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
  if (pDX->Failed()) return;
  HWND control = pDX->PrepareEditCtrl(nIDC);
  if (!control) return;
  if (pDX->m_bSaveAndValidate) {
    value = CString(B().GetText(control));
  } else {
    B().SetText(control, value);
  }
}

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
  if (pDX->Failed()) return;
  HWND control = pDX->PrepareEditCtrl(nIDC);
  if (!control) return;
  if (pDX->m_bSaveAndValidate) {
    int parsed = 0;
    if (!AfxParseInt(B().GetText(control).c_str(), &parsed)) {
      AfxMessageBox("Please enter an integer.", MB_OK | MB_ICONEXCLAMATION);
      pDX->Fail();
      return;
    }
    value = parsed;
  } else {
    CString text;
    text.Format("%d", value);
    B().SetText(control, text);
  }
}

void DDX_Check(CDataExchange* pDX, int nIDC, int& value) {
  if (pDX->Failed()) return;
  HWND control = pDX->PrepareCtrl(nIDC);
  if (!control) return;
  if (pDX->m_bSaveAndValidate) {
    value = B().GetCheck(control);
  } else {
    B().SetCheck(control, value ? 1 : 0);
  }
}

// ---- CDialog

INT_PTR CDialog::DoModal() {
  const ui::DialogTemplate* dialog = ui::FindDialogResource(static_cast<int>(m_nIDTemplate));
  if (!dialog) return -1;
  for (CDialog* running : ModalDialogs()) {
    if (running == this) return -1;
  }
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (!owner && AfxGetModalDialog()) owner = AfxGetModalDialog()->m_hWnd;
  ModalDialogs().push_back(this);
  m_bInCommand = m_bCloseAsked = m_bEnded = false;
  int result = B().RunModal(*dialog, owner, *this);
  ModalDialogs().pop_back();
  ForgetWindow();  // also when the backend could not make the window at all
  return result;
}

void CDialog::EndDialog(int nResult) {
  if (m_hWnd) m_bEnded = true;
  B().EndModal(m_hWnd, nResult);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
  if (!m_hWnd) return FALSE;
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return dx.Failed() ? FALSE : TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

bool CDialog::HandleInitDialog(ui::WindowHandle dialog) {
  m_hWnd = dialog;
  return OnInitDialog() != FALSE;
}

bool CDialog::HandleCommand(int id) {
  if (m_bInCommand) return false;
  m_bInCommand = true;
  OnCmdMsg(id);
  // A close asked for meanwhile is answered now, as if it had come now.
  while (m_bCloseAsked && !m_bEnded) {
    m_bCloseAsked = false;
    OnCmdMsg(IDCANCEL);
  }
  m_bCloseAsked = false;
  m_bInCommand = false;
  return true;
}

bool CDialog::HandleAccelerator(int key, bool ctrl) {
  for (int i = 0; i < m_nAccel; ++i) {
    if (m_pAccel[i].key == key && m_pAccel[i].ctrl == ctrl) {
      HandleCommand(m_pAccel[i].nID);
      return true;
    }
  }
  return false;
}

bool CDialog::HandleClose() {
  if (!m_bInCommand) return HandleCommand(IDCANCEL);
  m_bCloseAsked = true;
  return false;
}

void CDialog::HandleDestroy() {
  CWinApp* app = AfxGetApp();
  if (app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
  ForgetWindow();
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()
