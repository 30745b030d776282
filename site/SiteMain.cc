// tiltwise-site: the site window. `tiltwise-site [LIST]` opens LIST without reading a camera.
#include <cstdio>
#include <cstring>
#include <string>

#include "cgi/net.h"
#include "res/version.h"
#include "site/RunFiles.h"
#include "site/SiteDialogs.h"
#include "site/SiteDlg.h"

namespace {

std::string g_list;

class CSiteApp : public CWinApp {
 public:
  CSiteApp() : CWinApp("Tiltwise site", &SiteResources()) {}

  BOOL InitInstance() override {
    if (!net::Startup()) {
      ::MessageBox(nullptr, "The socket library cannot be started.", "Tiltwise site", MB_ICONERROR);
      return FALSE;
    }
    CSiteDlg dlg(g_list, site::RunsFolder());
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    net::Cleanup();
    return FALSE;
  }
};

CSiteApp theApp;

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("tiltwise-site %s\n", TILTWISE_VERSION_STR);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::printf(
        "Usage: tiltwise-site [LIST]\n\n"
        "The cameras of a site in one window: tick, read, apply, watch, restore.\n"
        "LIST is a site list, a scan's list or a report of tiltwise-cli; it is opened\n"
        "without reading any camera.\n");
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  if (argc > 2 || (argc == 2 && argv[1][0] == '-' && argv[1][1] != '\0')) {
    std::fprintf(stderr, "Usage: tiltwise-site [LIST]\n");
    return 2;
  }
  if (argc == 2) g_list = argv[1];
  return AfxWinMain(argc, argv);
}
