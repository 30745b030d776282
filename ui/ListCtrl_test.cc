// The list with tick boxes, the progress bar, the status line and the drop-down lists of the
// site window's template, through the framework and the headless backend: what the user does in
// the list and what the dialog hears of it.
#include "ui/ListCtrl.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "res/SiteResources.h"
#include "ui/Dialog.h"
#include "ui/WinApp.h"
#include "ui/backends/headless.h"

namespace {

const ui::DialogResource kDialogs[] = {{IDD_TILTWISE_SITE, &kTiltwiseSite}};
const ui::ResourceModule kResources = {kDialogs, 1, nullptr, 0};

class CSiteDlg : public CDialog {
 public:
  CSiteDlg() : CDialog(IDD_TILTWISE_SITE) {}
  CListCtrl m_list;
  CProgressCtrl m_bar;
  std::vector<std::pair<int, int>> heard;  // code, item

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    EXPECT_FALSE(CListCtrl().SubclassDlgItem(IDC_SITE_PROGRESS, this));  // not a list
    EXPECT_TRUE(m_bar.SubclassDlgItem(IDC_SITE_PROGRESS, this));
    EXPECT_TRUE(m_list.SubclassDlgItem(IDC_SITE_LIST, this));
    ui::ListModel& m = *m_list.GetModel();
    m.SetRowCount(4);
    m.SetRow(0, {"cam-b", "", "10.0.0.10:80"});
    m.SetRow(1, {"cam-a", "", "10.0.0.9:80"});
    m.SetRow(2, {"cam-c", "", "10.0.0.100:8080"});
    m.SetRow(3, {"Cam-a", "", "10.0.0.9:81"});
    return TRUE;
  }

 protected:
  void OnTick(int item) { heard.emplace_back(ui::kListTickChanged, item); }
  void OnColumn(int item) { heard.emplace_back(ui::kListColumnClick, item); }
  void OnFocus(int item) { heard.emplace_back(ui::kListFocusChanged, item); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSiteDlg, CDialog)
ON_LIST_NOTIFY(ui::kListTickChanged, IDC_SITE_LIST, &CSiteDlg::OnTick)
ON_LIST_NOTIFY(ui::kListColumnClick, IDC_SITE_LIST, &CSiteDlg::OnColumn)
ON_LIST_NOTIFY(ui::kListFocusChanged, IDC_SITE_LIST, &CSiteDlg::OnFocus)
END_MESSAGE_MAP()

std::vector<int> Shown(const ui::ListModel& m) {
  std::vector<int> rows;
  for (int p = 0; p < m.RowCount(); ++p) rows.push_back(m.RowAt(p));
  return rows;
}

TEST(ListCtrlTest, SortingKeepsTicksWithRowsKeysTickAndTheDialogHears) {
  ASSERT_TRUE(ui::Headless().Reset());
  CWinApp app("ListCtrlTest", &kResources);
  CSiteDlg dlg;
  ui::Headless().PushModalScript([&](ui::HeadlessDialog& d) {
    ui::ListModel* m = d.List(IDC_SITE_LIST);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(d.FocusedId(), IDC_SITE_LIST);
    ASSERT_EQ(m->columns().size(), static_cast<size_t>(kSiteColumns));
    EXPECT_EQ(m->columns()[kSiteAddress].title, "address:port");

    m->ClickTick(1);               // cam-a
    m->ClickColumn(kSiteAddress);  // by the numbers in the address
    EXPECT_EQ(Shown(*m), (std::vector<int>{1, 3, 0, 2}));
    m->ClickColumn(kSiteAddress);  // again: the other way round
    EXPECT_EQ(Shown(*m), (std::vector<int>{2, 0, 3, 1}));
    m->ClickColumn(kSiteName);  // without case; equal names keep the previous sort's order
    EXPECT_EQ(Shown(*m), (std::vector<int>{3, 1, 0, 2}));
    EXPECT_TRUE(m->Ticked(1));
    EXPECT_FALSE(m->Ticked(3));

    m->MoveFocus(m->RowAt(2));  // cam-b, wherever the sort put it
    m->PressSpace();
    EXPECT_TRUE(m->Ticked(0));
    m->PressSpace();
    EXPECT_FALSE(m->Ticked(0));
    m->PressSelectAll();
    EXPECT_EQ(m->TickedCount(), 4);
    // A replaced row keeps its tick and place; dropped rows take their ticks and the focus.
    m->SetRow(0, {"cam-0"});
    EXPECT_EQ(m->PositionOf(0), 2);
    EXPECT_TRUE(m->Ticked(0));
    m->MoveFocus(3);
    m->SetRowCount(2);
    m->SetRowCount(3);
    EXPECT_EQ(Shown(*m), (std::vector<int>{1, 0, 2}));
    EXPECT_EQ(m->focus(), -1);
    EXPECT_FALSE(m->Ticked(2));

    dlg.m_bar.SetRange32(0, 40);
    dlg.m_bar.SetPos(99);
    EXPECT_EQ(d.ProgressPosition(IDC_SITE_PROGRESS), 40);
    dlg.GetDlgItem(IDC_SITE_STATUS)->SetWindowText("12/40 done, 1 failed, 5 restarting");
    EXPECT_EQ(d.Text(IDC_SITE_STATUS), "12/40 done, 1 failed, 5 restarting");
    // The choices start empty and take only their own values.
    CWnd* flip = dlg.GetDlgItem(IDC_SITE_FLIP);
    EXPECT_EQ(flip->GetWindowText(), "");
    flip->SetWindowText("keep");
    flip->SetWindowText("maybe");
    EXPECT_EQ(flip->GetWindowText(), "keep");
    EXPECT_FALSE(d.Choose(IDC_SITE_MIRROR, "maybe"));
    EXPECT_TRUE(d.Choose(IDC_SITE_MIRROR, "off"));
    EXPECT_EQ(dlg.GetDlgItem(IDC_SITE_MIRROR)->GetWindowText(), "off");
    d.PressEscape();
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  std::vector<std::pair<int, int>> want = {
      {ui::kListTickChanged, 1},
      {ui::kListColumnClick, kSiteAddress},
      {ui::kListColumnClick, kSiteAddress},
      {ui::kListColumnClick, kSiteName},
      {ui::kListFocusChanged, 0},
      {ui::kListTickChanged, 0},
      {ui::kListTickChanged, 0},
      {ui::kListTickChanged, ui::kAllRows},
      {ui::kListFocusChanged, 3},
  };
  EXPECT_EQ(dlg.heard, want);
  EXPECT_EQ(dlg.m_list.GetModel(), nullptr);  // gone with the dialog
  EXPECT_EQ(ui::Headless().staleHandleUses(), 1);
}

TEST(ListCtrlTest, NaturalOrderTakesDigitsByValueAndLettersWithoutCase) {
  EXPECT_LT(ui::NaturalCompare("10.0.0.9", "10.0.0.10"), 0);
  EXPECT_EQ(ui::NaturalCompare("Cam-A", "cam-a"), 0);
  EXPECT_EQ(ui::NaturalCompare("cam007", "cam7"), 0);
  EXPECT_GT(ui::NaturalCompare("ab", "a"), 0);
  EXPECT_LT(ui::NaturalCompare("99999999999999999999", "100000000000000000000"), 0);
}

}  // namespace
