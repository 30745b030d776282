// CWinApp: the one application object of a program, its resources, and the framework's free
// functions.
// A program defines one object of a class derived from CWinApp and lets AfxWinMain run it:
// the backend connects to the window system (exit code 1 when it cannot), then InitInstance;
// when that returns FALSE, ExitInstance at once, otherwise Run (which ends with ExitInstance);
// the result of ExitInstance is the process's exit code.
#ifndef TILTWISE_UI_WINAPP_H_
#define TILTWISE_UI_WINAPP_H_

#include <functional>

#include "ui/Backend.h"
#include "ui/Types.h"

class CWnd;

// The program's resources: dialog templates and icon pictures by id, as a resource section
// would hold them. The program registers its table once (CWinApp does it from its constructor
// argument); the framework looks dialogs and icons up there.
namespace ui {

struct DialogResource {
  int id;
  const DialogTemplate* dialog;
};

struct IconResource {
  int id;
  const IconImage* image;
};

struct ResourceModule {
  const DialogResource* dialogs;
  int dialogCount;
  const IconResource* icons;
  int iconCount;
};

// Makes `module` the table the lookups below search (null: none). Returns the previous one.
const ResourceModule* SetResourceModule(const ResourceModule* module);

// Null when no table is registered or it has no entry with that id.
const DialogTemplate* FindDialogResource(int id);
const IconImage* FindIconResource(int id);

}  // namespace ui

class CWinApp {
 public:
  // Registers this object as the application (at most one exists at a time) and `resources`
  // as the program's resource table when given.
  explicit CWinApp(LPCTSTR lpszAppName = nullptr, const ui::ResourceModule* resources = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return TRUE; }  // TRUE: go on to Run
  virtual int Run() { return ExitInstance(); }  // no modeless windows: straight to the end
  virtual int ExitInstance() { return 0; }      // the exit code

  // The icon of resource `nIDResource`; null when the program has none.
  HICON LoadIcon(UINT nIDResource) const;

  CWnd* m_pMainWnd = nullptr;
  LPCTSTR m_pszAppName;  // the caption of framework messages
};

CWinApp* AfxGetApp();
LPCTSTR AfxGetAppName();  // "" when there is no application object

// Control containers need nothing here; kept so start-up code reads as it does elsewhere.
inline void AfxEnableControlContainer() {}

// A framework message: owned by the dialog running modally (if any), captioned with the
// application's name.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK);

// The system's message box, for when no framework window is at hand (hWnd may be null; a
// null caption reads "Error", as there).
int MessageBox(HWND hWnd, LPCTSTR lpText, LPCTSTR lpCaption, UINT uType);

// Runs `work` off the window's thread (it must not touch windows) and returns once it has
// returned; meanwhile the dialogs repaint, show the wait cursor and take no input. When no
// thread can be started, `work` runs on the window's thread. False when `work` ended by an
// exception (which goes no further): the caller reports its procedure as failed.
bool AfxRunBusy(const std::function<void()>& work);

// Runs the application object; the program's main() calls it.
int AfxWinMain(int argc, char* argv[]);

#endif  // TILTWISE_UI_WINAPP_H_
