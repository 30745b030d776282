#include "app/TiltwiseDlg.h"

#include <cstdlib>

#include "base/Clock.h"

namespace {

// The address cameras leave the factory with.
constexpr char kFactoryAddress[] = "192.168.1.88";

}  // namespace

CTiltwiseDlg::CTiltwiseDlg(CWnd* pParent)
    : CDialog(CTiltwiseDlg::IDD, pParent),
      m_strCameraIP(kFactoryAddress),
      m_nHttpPort(80),
      m_strUserName("admin"),
      m_strPassword("quillpen"),
      m_bFlip(FALSE),
      m_bMirror(FALSE) {
  m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr;
}

void CTiltwiseDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, IDC_EDIT_CAMERAIP, m_strCameraIP);
  DDX_Text(pDX, IDC_EDIT_USERNAME, m_strUserName);
  DDX_Text(pDX, IDC_EDIT_PASSWORD, m_strPassword);
  DDX_Check(pDX, IDC_CHECK_FLIP, m_bFlip);
  DDX_Check(pDX, IDC_CHECK_MIRROR, m_bMirror);
  DDX_Text(pDX, IDC_EDIT_HTTPPORT, m_nHttpPort);
}

BEGIN_MESSAGE_MAP(CTiltwiseDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_BUTTON_QUERY, &CTiltwiseDlg::OnBnClickedQuery)
ON_BN_CLICKED(IDC_BUTTON_SET, &CTiltwiseDlg::OnBnClickedSet)
END_MESSAGE_MAP()

BOOL CTiltwiseDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  if (CWnd* address = GetDlgItem(IDC_EDIT_CAMERAIP)) address->SetFocus();

  // The Set button restarts the camera: a larger face makes it stand apart.
  LOGFONT lf;
  CFont* dialogFont = GetFont();
  if (dialogFont && dialogFont->GetLogFont(&lf)) {
    lf.lfHeight = std::abs(lf.lfHeight) + 15;
    m_fontSet.DeleteObject();  // from an earlier run of this object; no window uses it now
    m_fontSet.CreateFontIndirect(&lf);
    if (CWnd* set = GetDlgItem(IDC_BUTTON_SET)) set->SetFont(&m_fontSet, TRUE);
  }
  return TRUE;
}

void CTiltwiseDlg::OnOK() {
  // Enter must neither close the dialog nor run anything.
}

void CTiltwiseDlg::OnCancel() {
  if (MessageBox("Are you sure to quit?", "Confirm", MB_YESNO) == IDYES) {
    CDialog::OnCancel();
  }
}

void CTiltwiseDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cxIcon = GetSystemMetrics(SM_CXICON);
    int cyIcon = GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    int x = (rect.Width() - cxIcon + 1) / 2;
    int y = (rect.Height() - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

HCURSOR CTiltwiseDlg::OnQueryDragIcon() {
  return static_cast<HCURSOR>(m_hIcon);
}

CameraAccess CTiltwiseDlg::Camera() {
  CString where;
  where.Format("%s:%d", m_strCameraIP.GetString(), m_nHttpPort);
  // What one camera asked for says nothing about another.
  if (where != m_authCamera) {
    m_auth = AuthMemory();
    m_authCamera = where;
  }
  CameraAccess camera;
  camera.ip = m_strCameraIP;
  camera.port = m_nHttpPort;
  camera.user = m_strUserName;
  camera.password = m_strPassword;
  camera.timeoutMs = kTimeoutMs;
  camera.exchangeLimitMs = kExchangeLimitMs;
  camera.deadlineAtMs = tw::NowMs() + kPressLimitMs;
  camera.auth = &m_auth;
  return camera;
}

void CTiltwiseDlg::ShowOutcome(Outcome outcome) {
  OutcomeMessage message = MessageFor(outcome);
  if (!message.text) return;
  MessageBox(message.text, message.caption, message.isError ? MB_OK | MB_ICONERROR : MB_OK);
}

void CTiltwiseDlg::OnBnClickedQuery() {
  // A port box that holds no number has just been reported; going on would ask the port
  // typed before.
  if (!UpdateData(TRUE)) return;
  const CameraAccess camera = Camera();
  QueryResult result;
  // A procedure that broke off (no memory, say) has read nothing: Query failed.
  if (!AfxRunBusy([&] { result = QueryOrientation(camera); })) result = QueryResult();
  if (result.outcome == Outcome::kQueried) {
    m_bFlip = result.flip;
    m_bMirror = result.mirror;
    UpdateData(FALSE);
  }
  ShowOutcome(result.outcome);
}

void CTiltwiseDlg::OnBnClickedSet() {
  // As in Query; here the old port could even restart a camera the user did not mean.
  if (!UpdateData(TRUE)) return;
  const CameraAccess camera = Camera();
  const int flip = m_bFlip;
  const int mirror = m_bMirror;
  Outcome outcome = Outcome::kSetFailed;
  // Whether a Set that broke off reached the camera is unknown: it did not succeed.
  if (!AfxRunBusy([&] { outcome = SetOrientation(camera, flip, mirror); })) {
    outcome = Outcome::kSetFailed;
  }
  ShowOutcome(outcome);
}
