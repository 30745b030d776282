// The main dialog's template. Data only; the order of the controls is the tab order.
#include "res/TiltwiseResources.h"

namespace {

using namespace ui::style;
using ui::ControlClass;

constexpr std::uint32_t kControl = kChild | kVisible;
constexpr std::uint32_t kPush = kControl | kBsPushButton | kTabStop;
constexpr std::uint32_t kEditBox = kControl | kEsLeft | kEsAutoHScroll | kBorder | kTabStop;
constexpr std::uint32_t kRightLabel = kControl | kSsRight | kGroup;
constexpr std::uint32_t kGroupBox = kControl | kBsGroupBox;
constexpr std::uint32_t kTick = kControl | kBsAutoCheckBox | kTabStop;
constexpr int kIdCancel = 2;
constexpr int kUnaddressed = -1;

const ui::ControlTemplate kControls[] = {
    {IDC_BUTTON_SET, ControlClass::kButton, "Set", kPush, 0, 326, 129, 83, 18},
    {IDC_EDIT_CAMERAIP, ControlClass::kEdit, "", kEditBox, 0, 158, 19, 143, 14},
    {IDC_EDIT_USERNAME, ControlClass::kEdit, "", kEditBox, 0, 158, 37, 143, 14},
    {IDC_EDIT_PASSWORD, ControlClass::kEdit, "", kEditBox | kEsPassword, 0, 158, 56, 143, 14},
    {IDC_BUTTON_QUERY, ControlClass::kButton, "Query", kPush, 0, 359, 19, 50, 14},
    {kIdCancel, ControlClass::kButton, "Close", kPush, 0, 367, 168, 50, 14},
    {kUnaddressed, ControlClass::kStatic, "Camera IP:", kRightLabel, 0, 113, 21, 37, 8},
    {kUnaddressed, ControlClass::kStatic, "User name:", kRightLabel, 0, 112, 40, 38, 8},
    {kUnaddressed, ControlClass::kStatic, "Password:", kRightLabel, 0, 116, 59, 34, 8},
    {kUnaddressed, ControlClass::kButton, "Camera Info", kGroupBox, 0, 7, 7, 410, 97},
    {kUnaddressed, ControlClass::kButton, "Camera PTZ Control", kGroupBox, 0, 7, 116, 410, 42},
    {IDC_CHECK_FLIP, ControlClass::kButton, "Flip", kTick, 0, 118, 135, 27, 10},
    {IDC_CHECK_MIRROR, ControlClass::kButton, "Mirror", kTick, 0, 174, 135, 34, 10},
    {kUnaddressed, ControlClass::kStatic, "HTTP Port:", kRightLabel, 0, 86, 77, 64, 8},
    {IDC_EDIT_HTTPPORT, ControlClass::kEdit, "", kEditBox, 0, 158, 74, 143, 14},
};

const ui::DialogResource kDialogs[] = {{IDD_TILTWISE_DIALOG, &kTiltwiseDialog}};
const ui::IconResource kIcons[] = {{IDR_MAINFRAME, &kTiltwiseIcon}};
const ui::ResourceModule kModule = {kDialogs, 1, kIcons, 1};

}  // namespace

const ui::DialogTemplate kTiltwiseDialog = {
    "Tiltwise",
    kDsSetFont | kDsModalFrame | kMinimizeBox | kPopup | kVisible | kCaption | kSysMenu,
    kExAppWindow,
    0,
    0,
    424,
    189,
    "MS Sans Serif",
    10,
    0,
    false,
    kControls,
    static_cast<int>(sizeof kControls / sizeof kControls[0]),
};

const ui::ResourceModule& TiltwiseResources() {
  return kModule;
}
