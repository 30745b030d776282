// The site window's template. Data only; the order of the controls is the tab order, each label
// just before the control its mnemonic reaches.
#include "res/SiteResources.h"

namespace {

using namespace ui::style;
using ui::ControlClass;

constexpr std::uint32_t kControl = kChild | kVisible;
constexpr std::uint32_t kPush = kControl | kBsPushButton | kTabStop;
constexpr std::uint32_t kEditBox = kControl | kEsLeft | kEsAutoHScroll | kBorder | kTabStop;
constexpr std::uint32_t kNumber = kEditBox | kEsNumber;
constexpr std::uint32_t kLabel = kControl | kSsRight | kGroup;
constexpr std::uint32_t kDropDown = kControl | kCbsDropDownList | kTabStop;
constexpr std::uint32_t kList = kControl | kLvsList | kBorder | kTabStop;
constexpr int kUnaddressed = -1;

// Empty first: the list's cells decide until the user picks.
constexpr const char* kChoices = "\non\noff\nkeep";
constexpr const char* kColumns =
    "name\t70\nlocation\t60\naddress:port\t70\nuser\t36\nstatus\t44\nchip type\t44\n"
    "Flip now\t34\nMirror now\t44\nwanted Flip\t46\nwanted Mirror\t54\noutcome\t50\ncause\t90";

const ui::ControlTemplate kControls[] = {
    {IDC_SITE_OPEN, ControlClass::kButton, "&Open list...", kPush, 0, 7, 7, 60, 14},
    {IDC_SITE_SAVE, ControlClass::kButton, "&Save list...", kPush, 0, 71, 7, 60, 14},
    {IDC_SITE_SCAN, ControlClass::kButton, "S&can...", kPush, 0, 135, 7, 60, 14},
    {kUnaddressed, ControlClass::kStatic, "&User name:", kLabel, 0, 7, 30, 40, 8},
    {IDC_SITE_USERNAME, ControlClass::kEdit, "admin", kEditBox, 0, 50, 28, 70, 14},
    {kUnaddressed, ControlClass::kStatic, "&Password:", kLabel, 0, 124, 30, 38, 8},
    {IDC_SITE_PASSWORD, ControlClass::kEdit, "", kEditBox | kEsPassword, 0, 165, 28, 70, 14},
    {kUnaddressed, ControlClass::kStatic, "Cre&dentials file:", kLabel, 0, 239, 30, 60, 8},
    {IDC_SITE_CREDENTIALS, ControlClass::kEdit, "", kEditBox, 0, 302, 28, 160, 14},
    {IDC_SITE_BROWSE, ControlClass::kButton, "&Browse...", kPush, 0, 466, 28, 50, 14},
    {kUnaddressed, ControlClass::kStatic, "&Flip:", kLabel, 0, 7, 51, 40, 8},
    {IDC_SITE_FLIP, ControlClass::kComboBox, kChoices, kDropDown, 0, 50, 49, 50, 60},
    {kUnaddressed, ControlClass::kStatic, "&Mirror:", kLabel, 0, 104, 51, 30, 8},
    {IDC_SITE_MIRROR, ControlClass::kComboBox, kChoices, kDropDown, 0, 137, 49, 50, 60},
    {kUnaddressed, ControlClass::kStatic, "Ca&nary:", kLabel, 0, 239, 51, 60, 8},
    {IDC_SITE_CANARY, ControlClass::kEdit, "", kNumber, 0, 302, 49, 30, 14},
    {kUnaddressed, ControlClass::kStatic, "Ma&x restarting:", kLabel, 0, 336, 51, 60, 8},
    {IDC_SITE_MAXRESTARTING, ControlClass::kEdit, "", kNumber, 0, 399, 49, 30, 14},
    {kUnaddressed, ControlClass::kStatic, "&List:", kControl | kSsLeft | kGroup, 0, 7, 70, 40, 8},
    {IDC_SITE_LIST, ControlClass::kListView, kColumns, kList, 0, 7, 80, 546, 200},
    {IDC_SITE_READ, ControlClass::kButton, "&Read", kPush, 0, 7, 286, 50, 14},
    {IDC_SITE_APPLY, ControlClass::kButton, "&Apply", kPush, 0, 61, 286, 50, 14},
    {IDC_SITE_STOP, ControlClass::kButton, "S&top", kPush, 0, 115, 286, 50, 14},
    {IDC_SITE_RESTORE, ControlClass::kButton, "R&estore...", kPush, 0, 189, 286, 60, 14},
    {IDC_SITE_REPORT, ControlClass::kButton, "Sa&ve report...", kPush, 0, 253, 286, 60, 14},
    {IDC_SITE_PROGRESS, ControlClass::kProgress, "", kControl | kBorder, 0, 7, 306, 546, 9},
    {IDC_SITE_STATUS, ControlClass::kStatusBar, "", kControl | kCcsStay, 0, 0, 320, 560, 12},
};

}  // namespace

const ui::DialogTemplate kTiltwiseSite = {
    "Tiltwise site",
    kDsSetFont | kDsModalFrame | kMinimizeBox | kPopup | kVisible | kCaption | kSysMenu,
    kExAppWindow,
    0,
    0,
    560,
    332,
    "MS Sans Serif",
    8,  // the dialog's 10 points would make the window wider than small screens
    0,
    false,
    kControls,
    static_cast<int>(sizeof kControls / sizeof kControls[0]),
};

namespace {

constexpr std::uint32_t kDefault = kControl | kBsDefPushButton | kTabStop;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

const ui::ControlTemplate kPromptControls[] = {
    {IDC_SITE_PROMPT_LABEL, ControlClass::kStatic, "&File:", kControl | kSsLeft | kGroup, 0, 7, 7,
     266, 8},
    {IDC_SITE_PROMPT_TEXT, ControlClass::kEdit, "", kEditBox, 0, 7, 18, 266, 14},
    {kIdOk, ControlClass::kButton, "OK", kDefault, 0, 169, 38, 50, 14},
    {kIdCancel, ControlClass::kButton, "Cancel", kPush, 0, 223, 38, 50, 14},
};

const ui::ControlTemplate kRestoreControls[] = {
    {kUnaddressed, ControlClass::kStatic, "&Run to put back:", kControl | kSsLeft | kGroup, 0, 7, 7,
     266, 8},
    {IDC_SITE_RUNS, ControlClass::kComboBox, "", kDropDown, 0, 7, 18, 266, 100},
    {kIdOk, ControlClass::kButton, "Restore", kDefault, 0, 169, 38, 50, 14},
    {kIdCancel, ControlClass::kButton, "Cancel", kPush, 0, 223, 38, 50, 14},
};

constexpr std::uint32_t kQuestionStyle =
    kDsSetFont | kDsModalFrame | kPopup | kVisible | kCaption | kSysMenu;

}  // namespace

const ui::DialogTemplate kSitePrompt = {
    "Tiltwise site", kQuestionStyle,  0, 0, 0, 280, 59, "MS Sans Serif", 8, 0,
    false,           kPromptControls, 4,
};

const ui::DialogTemplate kSiteRestore = {
    "Restore - Tiltwise site",
    kQuestionStyle,
    0,
    0,
    0,
    280,
    59,
    "MS Sans Serif",
    8,
    0,
    false,
    kRestoreControls,
    4,
};
