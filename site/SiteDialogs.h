// The site window's small questions, and the program's resource table.
#ifndef TILTWISE_SITE_SITEDIALOGS_H_
#define TILTWISE_SITE_SITEDIALOGS_H_

#include <string>
#include <vector>

#include "res/SiteResources.h"
#include "ui/Dialog.h"
#include "ui/WinApp.h"

// The site window, its questions and the icon; the restore question's runs change per ask.
const ui::ResourceModule& SiteResources();

// Asks for a file name: `label` above the box, `text` in it to start with.
class CPromptDlg : public CDialog {
 public:
  CPromptDlg(const char* caption, const char* label, const std::string& text, CWnd* pParent);
  CString m_strText;

 protected:
  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;
  void OnOK() override;

 private:
  const char* m_caption;
  const char* m_label;
};

// Offers the runs (newest first) and gives the one picked.
class CRestoreDlg : public CDialog {
 public:
  CRestoreDlg(std::vector<std::string> runs, CWnd* pParent);
  INT_PTR DoModal() override;
  CString m_strRun;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;

 private:
  std::vector<std::string> m_runs;
};

#endif  // TILTWISE_SITE_SITEDIALOGS_H_
