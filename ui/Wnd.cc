#include "ui/Wnd.h"

#include "ui/WinApp.h"

namespace {

ui::Backend& B() {
  return ui::GetBackend();
}

}  // namespace

// ---- CFont

BOOL CFont::CreateFontIndirect(const LOGFONT* lpLogFont) {
  if (m_hObject || !lpLogFont) return FALSE;
  HFONT font = B().MakeFont(*lpLogFont);
  if (!font) return FALSE;
  m_hObject = font;
  m_bOwned = true;
  return TRUE;
}

BOOL CFont::DeleteObject() {
  if (!m_hObject) return FALSE;
  if (m_bOwned) B().ReleaseFont(m_hObject);
  m_hObject = nullptr;
  m_bOwned = false;
  return TRUE;
}

int CFont::GetLogFont(LOGFONT* pLogFont) const {
  if (!m_hObject || !pLogFont) return 0;
  return B().DescribeFont(m_hObject, pLogFont) ? 1 : 0;
}

void CFont::ShowHandle(HFONT font) {
  DeleteObject();
  m_hObject = font;
  m_bOwned = false;
}

// ---- CWnd

CWnd::~CWnd() {
  CWinApp* app = AfxGetApp();
  if (app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
}

CWnd* CWnd::GetDlgItem(int nID) const {
  HWND control = B().FindControl(m_hWnd, nID);
  if (!control) return nullptr;
  std::unique_ptr<CWnd>& child = m_children[nID];
  if (!child) child = std::make_unique<CWnd>();
  child->m_hWnd = control;
  return child.get();
}

void CWnd::SetFocus() {
  B().Focus(m_hWnd);
}

void CWnd::SetWindowText(LPCTSTR lpszString) {
  B().SetText(m_hWnd, lpszString);
}

CString CWnd::GetWindowText() const {
  return CString(B().GetText(m_hWnd));
}

void CWnd::SetFont(CFont* pFont, BOOL bRedraw) {
  B().SetWindowFont(m_hWnd, pFont ? pFont->GetSafeHandle() : nullptr, bRedraw != FALSE);
}

CFont* CWnd::GetFont() const {
  HFONT font = B().WindowFont(m_hWnd);
  m_fontView.ShowHandle(font);
  return font ? &m_fontView : nullptr;
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  return B().SetWindowIcon(m_hWnd, hIcon, bBigIcon != FALSE);
}

BOOL CWnd::IsIconic() const {
  return B().IsMinimized(m_hWnd) ? TRUE : FALSE;
}

void CWnd::GetClientRect(LPRECT lpRect) const {
  if (lpRect) *lpRect = B().ClientRect(m_hWnd);
}

int CWnd::MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) {
  return B().ShowMessageBox(m_hWnd, lpszText ? lpszText : "",
                            lpszCaption ? lpszCaption : AfxGetAppName(), nType);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  if (message == WM_ICONERASEBKGND) {
    B().EraseIconBackground(m_hWnd, reinterpret_cast<HDC>(wParam));
    return 1;
  }
  return 0;
}

void CWnd::OnPaint() {
  CPaintDC dc(this);  // nothing of our own to draw; validates the window
}

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{AfxSig::kEnd, 0, nullptr, nullptr, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP_ENTRY* CWnd::FindEntry(AfxSig sig, int nID, int nCode) const {
  for (const AFX_MSGMAP* map = GetMessageMap(); map;
       map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nSig != AfxSig::kEnd; ++e) {
      if (e->nSig == sig && e->nID == nID && e->nCode == nCode) return e;
    }
  }
  return nullptr;
}

bool CWnd::OnCmdMsg(int nID) {
  const AFX_MSGMAP_ENTRY* e = FindEntry(AfxSig::kCommand, nID);
  if (!e) return false;
  (this->*e->pfn)();
  return true;
}

bool CWnd::OnNotifyMsg(int nID, int nCode, int item) {
  const AFX_MSGMAP_ENTRY* e = FindEntry(AfxSig::kNotify, nID, nCode);
  if (!e) return false;
  (this->*e->pfnItem)(item);
  return true;
}

void CWnd::DispatchPaint() {
  const AFX_MSGMAP_ENTRY* e = FindEntry(AfxSig::kPaint, 0);
  if (e) {
    (this->*e->pfn)();
  } else {
    CWnd::OnPaint();
  }
}

HCURSOR CWnd::DispatchQueryDragIcon() {
  const AFX_MSGMAP_ENTRY* e = FindEntry(AfxSig::kQueryDragIcon, 0);
  return e ? (this->*e->pfnCursor)() : CWnd::OnQueryDragIcon();
}

void CWnd::ForgetWindow() {
  m_children.clear();
  m_fontView.ShowHandle(nullptr);
  m_hWnd = nullptr;
}

// ---- Painting

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) {
  if (!m_hDC || !hIcon) return FALSE;
  B().PaintIcon(m_hDC, x, y, hIcon);
  return TRUE;
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_pWnd(pWnd) {
  m_hDC = B().StartPaint(pWnd->m_hWnd);
}

CPaintDC::~CPaintDC() {
  B().FinishPaint(m_pWnd->m_hWnd, m_hDC);
}

int GetSystemMetrics(int nIndex) {
  return B().SystemMetric(nIndex);
}
