// CWnd and its helpers: a window of the dialog framework as seen by application code, the
// message map that routes commands to member functions, fonts and painting.
// Everything goes through ui::GetBackend(); nothing here knows which backend runs.
#ifndef TILTWISE_UI_WND_H_
#define TILTWISE_UI_WND_H_

#include <map>
#include <memory>

#include "base/CString.h"
#include "ui/Types.h"

class CWnd;

// Message maps: a static table per class, searched from the most derived class to CWnd.
typedef void (CWnd::*AFX_PMSG)();
typedef HCURSOR (CWnd::*AFX_PMSG_CURSOR)();
typedef void (CWnd::*AFX_PMSG_ITEM)(int item);
enum class AfxSig { kEnd, kCommand, kPaint, kQueryDragIcon, kNotify };
struct AFX_MSGMAP_ENTRY {
  AfxSig nSig;
  int nID;  // command or control id; 0 for window messages
  AFX_PMSG pfn;
  AFX_PMSG_CURSOR pfnCursor;
  int nCode;  // a notification's code
  AFX_PMSG_ITEM pfnItem;
};
struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// clang-format off
#define DECLARE_MESSAGE_MAP()                                                        \
 protected:                                                                          \
  static const AFX_MSGMAP* GetThisMessageMap();                                      \
  const AFX_MSGMAP* GetMessageMap() const override;                                  \
                                                                                     \
 private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }  \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                  \
    using ThisClass [[maybe_unused]] = theClass;                                     \
    using TheBaseClass = baseClass;                                                  \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                            \
      {AfxSig::kEnd, 0, nullptr, nullptr, 0, nullptr}};                              \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap,          \
                                          &_messageEntries[0]};                      \
    return &messageMap;                                                              \
  }

#define ON_COMMAND(id, memberFxn)                                                    \
  {AfxSig::kCommand, (id), static_cast<AFX_PMSG>(memberFxn), nullptr, 0, nullptr},
#define ON_BN_CLICKED(id, memberFxn) ON_COMMAND(id, memberFxn)
#define ON_WM_PAINT()                                                                \
  {AfxSig::kPaint, 0, static_cast<AFX_PMSG>(&ThisClass::OnPaint), nullptr, 0, nullptr},
#define ON_WM_QUERYDRAGICON()                                                        \
  {AfxSig::kQueryDragIcon, 0, nullptr,                                               \
   static_cast<AFX_PMSG_CURSOR>(&ThisClass::OnQueryDragIcon), 0, nullptr},
// A control's notification (ui::ListNotify codes for a list): memberFxn(int item).
#define ON_LIST_NOTIFY(code, id, memberFxn)                                          \
  {AfxSig::kNotify, (id), nullptr, nullptr, (code),                                  \
   static_cast<AFX_PMSG_ITEM>(memberFxn)},
// clang-format on

class CRect : public RECT {
 public:
  CRect() = default;
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  operator LPRECT() { return this; }  // NOLINT: the framework's conversion
};

// A font object. It releases the font it created when it goes; a font it only shows (the one
// CWnd::GetFont returns) is not its to release.
class CFont {
 public:
  CFont() = default;
  ~CFont() { DeleteObject(); }
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;

  // FALSE when the backend cannot make the font, or this object already holds one.
  BOOL CreateFontIndirect(const LOGFONT* lpLogFont);
  BOOL DeleteObject();
  // Non-zero when the description was filled.
  int GetLogFont(LOGFONT* pLogFont) const;
  HFONT GetSafeHandle() const { return m_hObject; }
  operator HFONT() const { return m_hObject; }  // NOLINT: the framework's conversion

  HFONT m_hObject = nullptr;

 private:
  friend class CWnd;
  void ShowHandle(HFONT font);  // refer to a font without owning it
  bool m_bOwned = false;
};

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  // A window object for the child control `nID`, valid while this window exists; null when
  // there is no such control.
  CWnd* GetDlgItem(int nID) const;
  void SetFocus();
  void SetWindowText(LPCTSTR lpszString);
  CString GetWindowText() const;

  void SetFont(CFont* pFont, BOOL bRedraw = TRUE);
  CFont* GetFont() const;  // a view of the window's font, valid while the window exists
  HICON SetIcon(HICON hIcon, BOOL bBigIcon);
  BOOL IsIconic() const;
  void GetClientRect(LPRECT lpRect) const;

  // Owned by this window; a null caption shows the application's name.
  int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = nullptr, UINT nType = MB_OK);
  // Understands WM_ICONERASEBKGND (wParam: the HDC); other messages give 0.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  HWND m_hWnd = nullptr;

 protected:
  // The defaults when a class maps these messages to nothing of its own.
  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon() { return nullptr; }

  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const { return GetThisMessageMap(); }

  // Routes through the message maps; false when no entry takes it.
  bool OnCmdMsg(int nID);
  bool OnNotifyMsg(int nID, int nCode, int item);
  void DispatchPaint();
  HCURSOR DispatchQueryDragIcon();
  // The window has gone: forget its handle and the child objects.
  void ForgetWindow();

 private:
  const AFX_MSGMAP_ENTRY* FindEntry(AfxSig sig, int nID, int nCode = 0) const;

  mutable std::map<int, std::unique_ptr<CWnd>> m_children;
  mutable CFont m_fontView;
};

class CDC {
 public:
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON hIcon);
  HDC m_hDC = nullptr;
};

// Brackets drawing in a window's paint handler.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

 private:
  CWnd* m_pWnd;
};

int GetSystemMetrics(int nIndex);

#endif  // TILTWISE_UI_WND_H_
