// CListCtrl and CProgressCtrl: a dialog's list with tick boxes and its progress bar as
// application code sees them. Attach one to its control in OnInitDialog; it is valid until the
// dialog is destroyed.
#ifndef TILTWISE_UI_LISTCTRL_H_
#define TILTWISE_UI_LISTCTRL_H_

#include "ui/ListModel.h"
#include "ui/Wnd.h"

class CListCtrl : public CWnd {
 public:
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);  // FALSE when it is no list
  // Rows, ticks, columns, sorting and focus; null once the dialog is gone.
  ui::ListModel* GetModel() const { return ui::GetBackend().List(m_hWnd); }
};

class CProgressCtrl : public CWnd {
 public:
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  void SetRange32(int nLower, int nUpper);
  void SetPos(int nPos);  // clamped to the range
  int GetPos() const { return m_nPos; }

 private:
  int m_nLower = 0, m_nUpper = 100, m_nPos = 0;
};

#endif  // TILTWISE_UI_LISTCTRL_H_
