// CListCtrl and CProgressCtrl: a dialog's list with tick boxes and its progress bar as
// application code sees them. Attach one to the dialog's control in OnInitDialog; it is valid
// until the dialog is destroyed. Row numbers are the rows' own (as added), whatever the sort.
#ifndef TILTWISE_UI_LISTCTRL_H_
#define TILTWISE_UI_LISTCTRL_H_

#include <string>
#include <vector>

#include "ui/ListModel.h"
#include "ui/Wnd.h"

class CListCtrl : public CWnd {
 public:
  // FALSE when `pParent` has no list with that id.
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  // All of it: columns, sorting, focus (null before SubclassDlgItem or once the dialog is gone).
  ui::ListModel* GetModel() const;

  int GetItemCount() const;
  void SetItemCount(int nItems);
  // Replaces a row's cells at once: one redraw of that row only.
  BOOL SetRow(int nItem, std::vector<std::string> cells);
  BOOL SetItemText(int nItem, int nSubItem, LPCTSTR lpszText);
  CString GetItemText(int nItem, int nSubItem) const;
  BOOL GetCheck(int nItem) const;
  BOOL SetCheck(int nItem, BOOL bCheck = TRUE);
  // The focused row, or -1.
  int GetFocusedItem() const;
};

class CProgressCtrl : public CWnd {
 public:
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  void SetRange32(int nLower, int nUpper);
  // Returns the previous position; the bar shows the new one clamped to its range.
  int SetPos(int nPos);
  int GetPos() const { return m_nPos; }

 private:
  void Show();
  int m_nLower = 0, m_nUpper = 100, m_nPos = 0;
};

#endif  // TILTWISE_UI_LISTCTRL_H_
