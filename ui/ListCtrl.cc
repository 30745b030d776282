#include "ui/ListCtrl.h"

namespace {

ui::Backend& B() {
  return ui::GetBackend();
}

}  // namespace

BOOL CListCtrl::SubclassDlgItem(UINT nID, CWnd* pParent) {
  m_hWnd = pParent ? B().FindControl(pParent->m_hWnd, static_cast<int>(nID)) : nullptr;
  if (!GetModel()) m_hWnd = nullptr;
  return m_hWnd ? TRUE : FALSE;
}

ui::ListModel* CListCtrl::GetModel() const {
  return B().List(m_hWnd);
}

int CListCtrl::GetItemCount() const {
  ui::ListModel* m = GetModel();
  return m ? m->RowCount() : 0;
}

void CListCtrl::SetItemCount(int nItems) {
  if (ui::ListModel* m = GetModel()) m->SetRowCount(nItems);
}

BOOL CListCtrl::SetRow(int nItem, std::vector<std::string> cells) {
  ui::ListModel* m = GetModel();
  if (!m || nItem < 0 || nItem >= m->RowCount()) return FALSE;
  m->SetRow(nItem, std::move(cells));
  return TRUE;
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCTSTR lpszText) {
  ui::ListModel* m = GetModel();
  if (!m || nItem < 0 || nItem >= m->RowCount() || nSubItem < 0) return FALSE;
  m->SetCell(nItem, nSubItem, lpszText ? lpszText : "");
  return TRUE;
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
  ui::ListModel* m = GetModel();
  return m ? CString(m->Cell(nItem, nSubItem)) : CString();
}

BOOL CListCtrl::GetCheck(int nItem) const {
  ui::ListModel* m = GetModel();
  return m && m->Ticked(nItem) ? TRUE : FALSE;
}

BOOL CListCtrl::SetCheck(int nItem, BOOL bCheck) {
  ui::ListModel* m = GetModel();
  if (!m || nItem < 0 || nItem >= m->RowCount()) return FALSE;
  m->SetTick(nItem, bCheck != FALSE);
  return TRUE;
}

int CListCtrl::GetFocusedItem() const {
  ui::ListModel* m = GetModel();
  return m ? m->focus() : -1;
}

BOOL CProgressCtrl::SubclassDlgItem(UINT nID, CWnd* pParent) {
  m_hWnd = pParent ? B().FindControl(pParent->m_hWnd, static_cast<int>(nID)) : nullptr;
  if (m_hWnd) Show();
  return m_hWnd ? TRUE : FALSE;
}

void CProgressCtrl::SetRange32(int nLower, int nUpper) {
  m_nLower = nLower;
  m_nUpper = nUpper > nLower ? nUpper : nLower + 1;
  Show();
}

int CProgressCtrl::SetPos(int nPos) {
  int previous = m_nPos;
  m_nPos = nPos < m_nLower ? m_nLower : nPos > m_nUpper ? m_nUpper : nPos;
  Show();
  return previous;
}

void CProgressCtrl::Show() {
  B().SetProgress(m_hWnd, m_nLower, m_nUpper, m_nPos);
}
