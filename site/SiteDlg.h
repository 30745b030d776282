// The site window: a list of cameras with tick boxes, read, changed and restored together by
// the fleet engine on a thread of its own while the window stays responsive.
#ifndef TILTWISE_SITE_SITEDLG_H_
#define TILTWISE_SITE_SITEDLG_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "res/SiteResources.h"
#include "site/RunFiles.h"
#include "site/SiteRows.h"
#include "site/SiteRun.h"
#include "ui/Dialog.h"
#include "ui/ListCtrl.h"

class CSiteDlg : public CDialog {
 public:
  // `list`: a file to open once the window shows (no camera is read); `runsFolder`: where the
  // runs' backups and reports go.
  CSiteDlg(std::string list, std::string runsFolder, CWnd* pParent = nullptr);
  ~CSiteDlg() override;

  enum { IDD = IDD_TILTWISE_SITE };
  static constexpr int kDefaultCanary = 1;
  static constexpr int kDefaultMaxRestarting = 50;

  INT_PTR DoModal() override;

  CString m_strUserName;
  CString m_strPassword;  // only ever in memory
  CString m_strCredentials;
  int m_nCanary;
  int m_nMaxRestarting;

  // For tests and the window alike.
  const std::vector<site::SiteRow>& rows() const { return m_rows; }
  bool Running() const { return m_run.Running(); }
  const std::string& lastBackup() const { return m_lastBackup; }
  const std::string& lastReport() const { return m_lastReport; }
  // Timing of the runs; tests shorten the waits for a restarted camera.
  fleet::RunOptions m_runOptions;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  afx_msg void OnOpen();
  afx_msg void OnSaveList();
  afx_msg void OnBrowse();
  afx_msg void OnRead();
  afx_msg void OnApply();
  afx_msg void OnStop();
  afx_msg void OnRestore();
  afx_msg void OnSaveReport();
  afx_msg void OnScan();
  afx_msg void OnTickChanged(int item);

  DECLARE_MESSAGE_MAP()

 private:
  bool LoadList(const std::string& path);
  void ShowTitle();
  void ShowRow(int row);
  void ShowAllRows();
  void SetStatus(const std::string& text);
  void Error(const std::string& text);
  site::Pick FlipPick() const;
  site::Pick MirrorPick() const;
  bool Ticked(int row) const;
  std::vector<int> TickedRows() const;
  // Refuses (and says why) while a run is under way or no password is given.
  bool ReadyToRun();
  // Runs `jobs` (for rows `jobRows`); a set writes its backup and report first.
  bool StartRun(std::vector<fleet::Job> jobs, std::vector<int> jobRows, fleet::Mode mode);
  void OnCameraRead(size_t job, fleet::Orientation before);
  void OnCameraStep(size_t job, const char* outcome);
  // The typed password (login 1, when typed) and the credentials file's lines after it. False
  // with `error` set when the file cannot be read or no login is left.
  bool GatherLogins(std::vector<fleet::Credential>* logins, bool* sourcesFirst, std::string* error);
  void OnCameraFinished(const fleet::CameraReport& report);
  void OnProgress(const fleet::Progress& progress);
  void OnRunDone(std::vector<fleet::CameraReport> reports);
  void OnFound(const fleet::ScanResult& result);
  void OnScanProgress(const fleet::ScanProgress& progress, bool done);
  int RowOf(tw::IPv4Address address, int port) const;

  std::string m_file;
  std::string m_scanRequest;  // what the last Scan... was given
  std::string m_runsFolder;
  std::vector<site::SiteRow> m_rows;
  CListCtrl m_list;
  CProgressCtrl m_progress;
  site::SiteRun m_run;
  std::vector<int> m_jobRows;  // the row of each job of the run under way
  bool m_bSetRun = false;
  std::int64_t m_runStart = 0;
  std::unique_ptr<site::RunFiles> m_files;  // the set under way writes these from its thread
  bool m_bBackupFailed = false;
  bool m_bReportFailed = false;
  std::string m_lastBackup;
  std::string m_lastReport;
  std::vector<fleet::CameraReport> m_lastReports;
};

#endif  // TILTWISE_SITE_SITEDLG_H_
