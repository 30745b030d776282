// The main dialog: camera address, port and credentials, the Flip and Mirror boxes, and the
// Query and Set buttons that run the procedures of camera/CameraProcedures.h.
#ifndef TILTWISE_APP_TILTWISEDLG_H_
#define TILTWISE_APP_TILTWISEDLG_H_

#include "camera/CameraProcedures.h"
#include "cgi/Authorized.h"
#include "res/resource.h"
#include "ui/Dialog.h"
#include "ui/WinApp.h"

class CTiltwiseDlg : public CDialog {
 public:
  explicit CTiltwiseDlg(CWnd* pParent = nullptr);

  enum { IDD = IDD_TILTWISE_DIALOG };

  // The time limit of each wait for the camera, in milliseconds.
  static constexpr int kTimeoutMs = 3000;
  // The bound of each whole exchange, and of a whole press: a Digest login may take more
  // exchanges than two, but no press holds the dialog 30 s.
  static constexpr int kExchangeLimitMs = 10000;
  static constexpr int kPressLimitMs = 29000;

  CString m_strCameraIP;
  int m_nHttpPort;
  CString m_strUserName;
  CString m_strPassword;
  BOOL m_bFlip;
  BOOL m_bMirror;

 protected:
  HICON m_hIcon;
  CFont m_fontSet;

  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;

  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg void OnBnClickedQuery();
  afx_msg void OnBnClickedSet();

  DECLARE_MESSAGE_MAP()

 private:
  // The camera of this press, with the login memory of this run for it (kept while the
  // address and port stay the same).
  CameraAccess Camera();
  void ShowOutcome(Outcome outcome);

  AuthMemory m_auth;
  CString m_authCamera;  // "address:port" that m_auth is about
};

#endif  // TILTWISE_APP_TILTWISEDLG_H_
