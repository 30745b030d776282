// The fixture of the dialog tests: the application object, the headless backend checked for
// leaks after every test, and helpers to run the main dialog with a scripted user.
#ifndef TILTWISE_TESTS_TILTWISETESTFIXTURE_H_
#define TILTWISE_TESTS_TILTWISETESTFIXTURE_H_

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/TiltwiseApp.h"
#include "app/TiltwiseDlg.h"
#include "ui/backends/headless.h"

class TiltwiseDialogTest : public ::testing::Test {
 protected:
  using Script = std::function<void(ui::HeadlessDialog&)>;

  void SetUp() override { ASSERT_TRUE(ui_.Reset()); }
  void TearDown() override {
    EXPECT_EQ(ui_.openDialogs(), 0);
    EXPECT_EQ(ui_.abandonedDialogs(), 0);
    EXPECT_EQ(ui_.pendingScripts(), 0u);
    EXPECT_EQ(ui_.pendingAnswers(), 0u);
    EXPECT_EQ(ui_.staleHandleUses(), 0);
    EXPECT_EQ(ui_.waitCursorDepth(), 0);
    EXPECT_EQ(ui_.unbalancedWaitCursorEnds(), 0);
    EXPECT_EQ(ui_.unbalancedPaints(), 0);
    EXPECT_EQ(ui_.fontsReleasedWhileInUse(), 0);
  }

  // Runs `script` inside the dialog's modal loop, then quits through the close box (Yes).
  int RunDialog(CTiltwiseDlg& dlg, const Script& script) {
    ui_.PushModalScript([&](ui::HeadlessDialog& d) {
      script(d);
      if (d.IsOpen()) {
        ui_.QueueAnswer(IDYES);
        d.CloseBox();
      }
    });
    return static_cast<int>(dlg.DoModal());
  }

  // Clicks a button and returns the message boxes it showed.
  std::vector<ui::MessageBoxRecord> Press(ui::HeadlessDialog& d, int id) {
    size_t before = ui_.messageBoxes().size();
    EXPECT_TRUE(d.Click(id)) << "button " << id;
    return std::vector<ui::MessageBoxRecord>(ui_.messageBoxes().begin() + before,
                                             ui_.messageBoxes().end());
  }

  // Everything the user can change, to compare before and after.
  struct Snapshot {
    std::string ip, user, password, port;
    int flip, mirror;
    bool operator==(const Snapshot& o) const {
      return ip == o.ip && user == o.user && password == o.password && port == o.port &&
             flip == o.flip && mirror == o.mirror;
    }
  };
  static Snapshot Snap(const ui::HeadlessDialog& d) {
    return Snapshot{d.Text(IDC_EDIT_CAMERAIP), d.Text(IDC_EDIT_USERNAME),
                    d.Text(IDC_EDIT_PASSWORD), d.Text(IDC_EDIT_HTTPPORT),
                    d.Check(IDC_CHECK_FLIP),   d.Check(IDC_CHECK_MIRROR)};
  }

  CTiltwiseApp app_;
  ui::HeadlessBackend& ui_ = ui::Headless();
};

namespace ui {
inline std::ostream& operator<<(std::ostream& out, const MessageBoxRecord& box) {
  return out << '"' << box.text << "\" / \"" << box.caption << "\" / style " << box.style;
}
}  // namespace ui

#endif  // TILTWISE_TESTS_TILTWISETESTFIXTURE_H_
