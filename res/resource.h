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

// The site window.
#define IDD_TILTWISE_SITE 103
#define IDC_SITE_OPEN 1100
#define IDC_SITE_SAVE 1101
#define IDC_SITE_SCAN 1102
#define IDC_SITE_USERNAME 1103
#define IDC_SITE_PASSWORD 1104
#define IDC_SITE_CREDENTIALS 1105
#define IDC_SITE_BROWSE 1106
#define IDC_SITE_FLIP 1107
#define IDC_SITE_MIRROR 1108
#define IDC_SITE_CANARY 1109
#define IDC_SITE_MAXRESTARTING 1110
#define IDC_SITE_LIST 1111
#define IDC_SITE_READ 1112
#define IDC_SITE_APPLY 1113
#define IDC_SITE_STOP 1114
#define IDC_SITE_RESTORE 1115
#define IDC_SITE_REPORT 1116
#define IDC_SITE_PROGRESS 1117
#define IDC_SITE_STATUS 1118

// The site window's questions: a file name, a run to restore.
#define IDD_SITE_PROMPT 104
#define IDD_SITE_RESTORE 105
#define IDC_SITE_PROMPT_LABEL 1120
#define IDC_SITE_PROMPT_TEXT 1121
#define IDC_SITE_RUNS 1122

#endif  // TILTWISE_RES_RESOURCE_H_
