// CDialog: a modal dialog built from a template, with dialog data exchange (DDX) between its
// controls and member fields.
#ifndef TILTWISE_UI_DIALOG_H_
#define TILTWISE_UI_DIALOG_H_

#include "base/CString.h"
#include "ui/Types.h"
#include "ui/Wnd.h"

// One pass of data exchange. With m_bSaveAndValidate the controls are read into the fields,
// otherwise the fields are written into the controls. A failed field stops the pass: the DDX
// calls after it do nothing, and UpdateData returns FALSE.
class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

  // The control about to be exchanged, remembered so a failure can put the focus back on it.
  // Null (and the pass failed) when the dialog has no such control.
  HWND PrepareCtrl(int nIDC);
  HWND PrepareEditCtrl(int nIDC);
  // Focus on the last prepared control (its whole text selected when it is an edit box), and
  // stop the pass.
  void Fail();
  bool Failed() const { return m_bFailed; }

  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;

 private:
  int m_idLastControl = 0;
  bool m_bEditLastControl = false;
  bool m_bFailed = false;
};

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
// Reading needs a whole decimal number in int range, blanks around it allowed; anything else
// shows "Please enter an integer." and fails the pass, leaving `value` as it was.
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void DDX_Check(CDataExchange* pDX, int nIDC, int& value);

// Reads text the way DDX_Text reads an int; false when it is not one.
bool AfxParseInt(const char* text, int* value);

// A key that runs a command wherever the focus is in the dialog: F5, or a key with Ctrl.
struct AFX_ACCEL {
  int key;  // virtual-key code: 'O', 0x74 (F5), 0x0D (Enter)
  bool ctrl;
  int nID;
};

class CDialog : public CWnd, private ui::DialogEvents {
 public:
  // The dialog of resource `nIDTemplate` in the registered resource table.
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
      : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

  // Runs the dialog until EndDialog; returns its result, or -1 when the resource table has no
  // such template or the window cannot be created.
  virtual INT_PTR DoModal();
  void EndDialog(int nResult);

  // FALSE when a field failed to exchange (the user has been told) or there is no window.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  // Exchanges the fields into the controls. Returns TRUE to have the framework choose the
  // focus, unless the dialog has set it itself.
  virtual BOOL OnInitDialog();

 protected:
  virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
  // Enter: reads the fields and closes with IDOK when that succeeds.
  virtual void OnOK();
  // Escape, the Close button and the close box: closes with IDCANCEL.
  virtual void OnCancel() { EndDialog(IDCANCEL); }

  // The dialog's accelerators; the table lives as long as the dialog object.
  void SetAccelerators(const AFX_ACCEL* table, int count) {
    m_pAccel = table;
    m_nAccel = count;
  }

  DECLARE_MESSAGE_MAP()

 private:
  bool HandleInitDialog(ui::WindowHandle dialog) override;
  // One command at a time: while a handler runs (a procedure and its message), no other starts,
  // whatever sends it, and a close waits until the handler has returned.
  bool HandleCommand(int id) override;
  bool HandleClose() override;
  void HandlePaint() override { DispatchPaint(); }
  ui::IconHandle HandleQueryDragIcon() override { return DispatchQueryDragIcon(); }
  void HandleDestroy() override;
  void HandleNotify(int id, int code, int item) override { OnNotifyMsg(id, code, item); }
  bool HandleAccelerator(int key, bool ctrl) override;

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;
  bool m_bInCommand = false;
  bool m_bCloseAsked = false;  // during a command
  bool m_bEnded = false;       // EndDialog was called in this run
  const AFX_ACCEL* m_pAccel = nullptr;
  int m_nAccel = 0;
};

// The innermost dialog running modally; null when none. Owner of framework messages.
CDialog* AfxGetModalDialog();

#endif  // TILTWISE_UI_DIALOG_H_
