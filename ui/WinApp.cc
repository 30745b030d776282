#include "ui/WinApp.h"

#include <cstdio>
#include <cstdlib>

#include "ui/Dialog.h"
#include "ui/Wnd.h"

namespace {

CWinApp* g_app = nullptr;
const ui::ResourceModule* g_module = nullptr;

}  // namespace

namespace ui {

const ResourceModule* SetResourceModule(const ResourceModule* module) {
  const ResourceModule* previous = g_module;
  g_module = module;
  return previous;
}

const DialogTemplate* FindDialogResource(int id) {
  for (int i = 0; g_module && i < g_module->dialogCount; ++i) {
    if (g_module->dialogs[i].id == id) return g_module->dialogs[i].dialog;
  }
  return nullptr;
}

const IconImage* FindIconResource(int id) {
  for (int i = 0; g_module && i < g_module->iconCount; ++i) {
    if (g_module->icons[i].id == id) return g_module->icons[i].image;
  }
  return nullptr;
}

}  // namespace ui

CWinApp::CWinApp(LPCTSTR lpszAppName, const ui::ResourceModule* resources)
    : m_pszAppName(lpszAppName ? lpszAppName : "") {
  if (g_app) {
    std::fprintf(stderr, "a second application object was created\n");
    std::abort();
  }
  g_app = this;
  if (resources) ui::SetResourceModule(resources);
}

CWinApp::~CWinApp() {
  g_app = nullptr;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
  int id = static_cast<int>(nIDResource);
  return ui::GetBackend().LoadIconResource(id, ui::FindIconResource(id));
}

CWinApp* AfxGetApp() {
  return g_app;
}

LPCTSTR AfxGetAppName() {
  return g_app ? g_app->m_pszAppName : "";
}

int AfxMessageBox(LPCTSTR lpszText, UINT nType) {
  CDialog* owner = AfxGetModalDialog();
  return ui::GetBackend().ShowMessageBox(owner ? owner->m_hWnd : nullptr, lpszText ? lpszText : "",
                                         AfxGetAppName(), nType);
}

int MessageBox(HWND hWnd, LPCTSTR lpText, LPCTSTR lpCaption, UINT uType) {
  return ui::GetBackend().ShowMessageBox(hWnd, lpText ? lpText : "",
                                         lpCaption ? lpCaption : "Error", uType);
}

bool AfxRunBusy(const std::function<void()>& work) {
  return ui::GetBackend().RunBusy(work);
}

int AfxWinMain(int /*argc*/, char* /*argv*/[]) {
  CWinApp* app = AfxGetApp();
  if (!app) {
    std::fprintf(stderr, "no application object\n");
    return 1;
  }
  if (!ui::GetBackend().Connect()) return 1;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
