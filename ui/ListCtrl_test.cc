// The list with tick boxes, the progress bar, the status line and the drop-down list through
// the framework and the headless backend: what the user does in a list, what the dialog hears.
#include "ui/ListCtrl.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ui/Dialog.h"
#include "ui/WinApp.h"
#include "ui/backends/headless.h"

namespace {

using ui::ControlClass;
using namespace ui::style;

constexpr int kList = 201, kBar = 202, kStatus = 203, kChoice = 204;
const ui::ControlTemplate kControls[] = {
    {kList, ControlClass::kListView, "name\t40\naddress\t50\nstatus", kChild | kVisible | kTabStop,
     0, 5, 5, 200, 100},
    {kBar, ControlClass::kProgress, "", kChild | kVisible, 0, 5, 110, 200, 8},
    {kStatus, ControlClass::kStatusBar, "", kChild | kVisible | kCcsStay, 0, 0, 122, 210, 10},
    {kChoice, ControlClass::kComboBox, "\non\noff", kChild | kVisible | kCbsDropDownList, 0, 5, 90,
     40, 40},
};
const ui::DialogTemplate kSite = {"Site", kPopup | kCaption | kSysMenu | kDsSetFont,
                                  0,      0,
                                  0,      210,
                                  132,    "MS Sans Serif",
                                  8,      0,
                                  false,  kControls,
                                  4};
const ui::DialogResource kDialogs[] = {{600, &kSite}};
const ui::ResourceModule kResources = {kDialogs, 1, nullptr, 0};

class CSiteDlg : public CDialog {
 public:
  CSiteDlg() : CDialog(600) {}
  CListCtrl m_list;
  CProgressCtrl m_bar;
  std::vector<std::pair<int, int>> heard;  // code, item

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    EXPECT_TRUE(m_list.SubclassDlgItem(kList, this));
    EXPECT_FALSE(CListCtrl().SubclassDlgItem(kBar, this));  // not a list
    EXPECT_TRUE(m_bar.SubclassDlgItem(kBar, this));
    m_list.SetItemCount(4);
    const char* rows[4][3] = {{"cam-b", "10.0.0.10:80", "ok"},
                              {"cam-a", "10.0.0.9:80", "ok"},
                              {"cam-c", "10.0.0.100:8080", "no answer"},
                              {"Cam-a", "10.0.0.9:81", ""}};
    for (int r = 0; r < 4; ++r) m_list.SetRow(r, {rows[r][0], rows[r][1], rows[r][2]});
    return TRUE;
  }

 protected:
  void OnTick(int item) { heard.emplace_back(ui::kListTickChanged, item); }
  void OnColumn(int item) { heard.emplace_back(ui::kListColumnClick, item); }
  void OnFocus(int item) { heard.emplace_back(ui::kListFocusChanged, item); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSiteDlg, CDialog)
ON_LIST_NOTIFY(ui::kListTickChanged, kList, &CSiteDlg::OnTick)
ON_LIST_NOTIFY(ui::kListColumnClick, kList, &CSiteDlg::OnColumn)
ON_LIST_NOTIFY(ui::kListFocusChanged, kList, &CSiteDlg::OnFocus)
END_MESSAGE_MAP()

class ListCtrlTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ui_.Reset()); }
  void TearDown() override {
    EXPECT_EQ(ui_.openDialogs(), 0);
    EXPECT_EQ(ui_.abandonedDialogs(), 0);
  }
  CWinApp app_{"ListCtrlTest", &kResources};
  ui::HeadlessBackend& ui_ = ui::Headless();
};

std::vector<int> Shown(const ui::ListModel& m) {
  std::vector<int> rows;
  for (int p = 0; p < m.RowCount(); ++p) rows.push_back(m.RowAt(p));
  return rows;
}

TEST_F(ListCtrlTest, SortingKeepsTicksWithTheirRowsAndKeysTickAsTheUserMeans) {
  CSiteDlg dlg;
  ui_.PushModalScript([&](ui::HeadlessDialog& d) {
    ui::ListModel* m = d.List(kList);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(d.FocusedId(), kList);
    ASSERT_EQ(m->columns().size(), 3u);
    EXPECT_EQ(m->columns()[1].title, "address");
    EXPECT_EQ(m->columns()[1].width, 50);
    EXPECT_EQ(m->columns()[2].width, 50);  // no width given: a default one

    m->ClickTick(1);  // cam-a
    EXPECT_TRUE(dlg.m_list.GetCheck(1));
    // Addresses by their numbers; the same column again turns the order round.
    m->ClickColumn(1);
    EXPECT_EQ(Shown(*m), (std::vector<int>{1, 3, 0, 2}));
    m->ClickColumn(1);
    EXPECT_EQ(Shown(*m), (std::vector<int>{2, 0, 3, 1}));
    EXPECT_FALSE(m->ascending());
    // Names regardless of case; equal ones keep the order the previous sort gave them.
    m->ClickColumn(0);
    EXPECT_EQ(Shown(*m), (std::vector<int>{3, 1, 0, 2}));
    EXPECT_TRUE(dlg.m_list.GetCheck(1));
    EXPECT_FALSE(dlg.m_list.GetCheck(3));

    // Space ticks the focused row, wherever the sort put it; again unticks.
    m->MoveFocus(m->RowAt(2));
    EXPECT_EQ(dlg.m_list.GetFocusedItem(), 0);
    m->PressSpace();
    EXPECT_TRUE(dlg.m_list.GetCheck(0));
    m->PressSpace();
    EXPECT_FALSE(dlg.m_list.GetCheck(0));
    m->PressSelectAll();
    EXPECT_EQ(m->TickedCount(), 4);

    // A row replaced keeps its tick and its place in the view until sorted again.
    dlg.m_list.SetItemText(0, 0, "cam-0");
    EXPECT_EQ(m->PositionOf(0), 2);
    EXPECT_EQ(dlg.m_list.GetItemText(0, 0), "cam-0");
    EXPECT_TRUE(dlg.m_list.GetCheck(0));
    // Fewer rows: the dropped ones go with their ticks and the focus; the rest keep their order.
    m->MoveFocus(3);
    dlg.m_list.SetItemCount(2);
    EXPECT_EQ(Shown(*m), (std::vector<int>{1, 0}));
    EXPECT_EQ(m->focus(), -1);
    dlg.m_list.SetItemCount(3);
    EXPECT_FALSE(dlg.m_list.GetCheck(2));
    EXPECT_EQ(Shown(*m), (std::vector<int>{1, 0, 2}));
    EXPECT_FALSE(dlg.m_list.SetRow(3, {"out of range"}));
    d.PressEscape();
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  std::vector<std::pair<int, int>> want = {
      {ui::kListTickChanged, 1},  {ui::kListColumnClick, 1},
      {ui::kListColumnClick, 1},  {ui::kListColumnClick, 0},
      {ui::kListFocusChanged, 0}, {ui::kListTickChanged, 0},
      {ui::kListTickChanged, 0},  {ui::kListTickChanged, ui::kAllRows},
      {ui::kListFocusChanged, 3},
  };
  EXPECT_EQ(dlg.heard, want);
  // Once the dialog is gone the list is too.
  EXPECT_EQ(dlg.m_list.GetModel(), nullptr);
}

TEST_F(ListCtrlTest, ProgressStatusAndChoiceShowWhatTheCodeSets) {
  CSiteDlg dlg;
  ui_.PushModalScript([&](ui::HeadlessDialog& d) {
    dlg.m_bar.SetRange32(0, 40);
    dlg.m_bar.SetPos(12);
    EXPECT_EQ(d.ProgressPosition(kBar), 12);
    EXPECT_EQ(d.ProgressUpper(kBar), 40);
    EXPECT_EQ(dlg.m_bar.SetPos(99), 12);
    EXPECT_EQ(d.ProgressPosition(kBar), 40);
    dlg.GetDlgItem(kStatus)->SetWindowText("12/40 done, 1 failed, 5 restarting");
    EXPECT_EQ(d.Text(kStatus), "12/40 done, 1 failed, 5 restarting");
    // A drop-down list starts on its first choice and takes only its own choices.
    CWnd* choice = dlg.GetDlgItem(kChoice);
    EXPECT_EQ(choice->GetWindowText(), "");
    choice->SetWindowText("off");
    choice->SetWindowText("maybe");
    EXPECT_EQ(choice->GetWindowText(), "off");
    EXPECT_EQ(d.List(kBar), nullptr);
    d.PressEscape();
  });
  dlg.DoModal();
}

TEST(NaturalCompareTest, DigitsByValueLettersWithoutCase) {
  EXPECT_LT(ui::NaturalCompare("10.0.0.9", "10.0.0.10"), 0);
  EXPECT_LT(ui::NaturalCompare("cam2", "cam10"), 0);
  EXPECT_EQ(ui::NaturalCompare("Cam-A", "cam-a"), 0);
  EXPECT_EQ(ui::NaturalCompare("cam007", "cam7"), 0);
  EXPECT_LT(ui::NaturalCompare("", "a"), 0);
  EXPECT_GT(ui::NaturalCompare("ab", "a"), 0);
  EXPECT_LT(ui::NaturalCompare("99999999999999999999", "100000000000000000000"), 0);
}

}  // namespace
