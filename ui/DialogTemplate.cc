#include "ui/DialogTemplate.h"

namespace ui {
namespace {

// Rounds half away from zero, as the system's MulDiv does.
int MulDiv(int number, int numerator, int denominator) {
  long long product = static_cast<long long>(number) * numerator;
  long long half = denominator / 2;
  long long q = product >= 0 ? (product + half) / denominator : (product - half) / denominator;
  return static_cast<int>(q);
}

}  // namespace

ControlKind KindOf(const ControlTemplate& control) {
  switch (control.cls) {
    case ControlClass::kEdit:
      return ControlKind::kEdit;
    case ControlClass::kStatic:
      return ControlKind::kLabel;
    case ControlClass::kComboBox:
      return ControlKind::kChoice;
    case ControlClass::kListView:
      return ControlKind::kList;
    case ControlClass::kProgress:
      return ControlKind::kProgress;
    case ControlClass::kStatusBar:
      return ControlKind::kStatus;
    case ControlClass::kButton:
      switch (control.style & style::kBsTypeMask) {
        case style::kBsPushButton:
          return ControlKind::kPushButton;
        case style::kBsDefPushButton:
          return ControlKind::kDefPushButton;
        case style::kBsCheckBox:
          return ControlKind::kCheckBox;
        case style::kBsAutoCheckBox:
          return ControlKind::kAutoCheckBox;
        case style::kBsGroupBox:
          return ControlKind::kGroupBox;
        default:
          return ControlKind::kOther;
      }
  }
  return ControlKind::kOther;
}

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kPushButton:
      return "push button";
    case ControlKind::kDefPushButton:
      return "default push button";
    case ControlKind::kCheckBox:
      return "check box";
    case ControlKind::kAutoCheckBox:
      return "automatic check box";
    case ControlKind::kGroupBox:
      return "group box";
    case ControlKind::kEdit:
      return "edit box";
    case ControlKind::kLabel:
      return "label";
    case ControlKind::kChoice:
      return "choice";
    case ControlKind::kList:
      return "list";
    case ControlKind::kProgress:
      return "progress bar";
    case ControlKind::kStatus:
      return "status line";
    case ControlKind::kOther:
      break;
  }
  return "other";
}

std::vector<std::string> TextLines(const char* text) {
  std::vector<std::string> lines(1);
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '\n') {
      lines.emplace_back();
    } else {
      lines.back().push_back(*p);
    }
  }
  return lines;
}

const char* CommonClassName(ControlClass cls) {
  switch (cls) {
    case ControlClass::kListView:
      return "SysListView32";
    case ControlClass::kProgress:
      return "msctls_progress32";
    case ControlClass::kStatusBar:
      return "msctls_statusbar32";
    default:
      return nullptr;
  }
}

int DialogUnitsToPixelsX(int units, int avgCharWidth) {
  return MulDiv(units, avgCharWidth, 4);
}

int DialogUnitsToPixelsY(int units, int charHeight) {
  return MulDiv(units, charHeight, 8);
}

int PointSizeToLogicalHeight(int points, int dpi) {
  return -MulDiv(points, dpi, 72);
}

}  // namespace ui
