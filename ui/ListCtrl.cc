#include "ui/ListCtrl.h"

BOOL CListCtrl::SubclassDlgItem(UINT nID, CWnd* pParent) {
  m_hWnd = pParent ? ui::GetBackend().FindControl(pParent->m_hWnd, static_cast<int>(nID)) : nullptr;
  if (!GetModel()) m_hWnd = nullptr;
  return m_hWnd ? TRUE : FALSE;
}

BOOL CProgressCtrl::SubclassDlgItem(UINT nID, CWnd* pParent) {
  m_hWnd = pParent ? ui::GetBackend().FindControl(pParent->m_hWnd, static_cast<int>(nID)) : nullptr;
  SetPos(m_nPos);
  return m_hWnd ? TRUE : FALSE;
}

void CProgressCtrl::SetRange32(int nLower, int nUpper) {
  m_nLower = nLower;
  m_nUpper = nUpper > nLower ? nUpper : nLower + 1;
  SetPos(m_nPos);
}

void CProgressCtrl::SetPos(int nPos) {
  m_nPos = nPos < m_nLower ? m_nLower : nPos > m_nUpper ? m_nUpper : nPos;
  ui::GetBackend().SetProgress(m_hWnd, m_nLower, m_nUpper, m_nPos);
}
