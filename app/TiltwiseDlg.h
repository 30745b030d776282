// The main dialog: camera address, port and credentials, the Flip and Mirror boxes, and the
// Query and Set buttons that run the procedures of camera/CameraProcedures.h.
#ifndef TILTWISE_APP_TILTWISEDLG_H_
#define TILTWISE_APP_TILTWISEDLG_H_

#include "camera/CameraProcedures.h"
#include "res/resource.h"
#include "ui/Dialog.h"
#include "ui/WinApp.h"

class CTiltwiseDlg : public CDialog {
 public:
  explicit CTiltwiseDlg(CWnd* pParent = nullptr);

  enum { IDD = IDD_TILTWISE_DIALOG };

  // The time limit of each wait for the camera, in milliseconds.
  static constexpr int kTimeoutMs = 3000;
  // The bound of each whole exchange: two of them, so no press holds the dialog 30 s.
  static constexpr int kExchangeLimitMs = 10000;

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
  CameraAccess Camera() const;
  void ShowOutcome(Outcome outcome);
};

#endif  // TILTWISE_APP_TILTWISEDLG_H_
