// Resource ids of the dialog program. Plain #defines only: the Windows resource compiler reads
// this file too. IDCANCEL (2) comes from the system's headers or ui/Types.h.
#ifndef TILTWISE_RES_RESOURCE_H_
#define TILTWISE_RES_RESOURCE_H_

#define IDD_TILTWISE_DIALOG 102
#define IDR_MAINFRAME 128

#define IDC_EDIT_CAMERAIP 1000
#define IDC_EDIT_USERNAME 1001
#define IDC_EDIT_PASSWORD 1002
#define IDC_EDIT_HTTPPORT 1003
#define IDC_BUTTON_QUERY 1006
#define IDC_BUTTON_SET 1010
#define IDC_CHECK_FLIP 1017
#define IDC_CHECK_MIRROR 1018

#endif  // TILTWISE_RES_RESOURCE_H_
