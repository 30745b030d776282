#include "ui/backends/win32_list.h"

// clang-format off
#include <commctrl.h>
// clang-format on

#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace ui {
namespace win32 {
namespace {

struct List {
  HWND dialog;
  std::unique_ptr<ListModel> model;
};

std::map<HWND, List>& Lists() {
  static std::map<HWND, List> lists;
  return lists;
}

bool IsClass(HWND hwnd, const char* cls) {
  char name[64] = {};
  GetClassNameA(hwnd, name, sizeof name);
  const char* base = std::strrchr(name, '!');  // comctl32 version 6: "<version>!<class>"
  return lstrcmpiA(base ? base + 1 : name, cls) == 0;
}

// The tick boxes the system draws for LVS_EX_CHECKBOXES, kept without the style that would
// have the list store and toggle ticks of its own.
void UseTickImages(HWND list) {
  ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES);
  HIMAGELIST ticks = ImageList_Duplicate(ListView_GetImageList(list, LVSIL_STATE));
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
  ListView_SetImageList(list, ticks, LVSIL_STATE);
  ListView_SetCallbackMask(list, LVIS_STATEIMAGEMASK);
}

void ShowFocus(HWND list, const ListModel& m) {
  int at = m.PositionOf(m.focus());
  if (at < 0 || ListView_GetNextItem(list, -1, LVNI_FOCUSED) == at) return;
  ListView_SetItemState(list, at, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
  ListView_EnsureVisible(list, at, FALSE);
}

void Refresh(HWND list, ListModel& m, int row) {
  if (row >= 0) {
    int at = m.PositionOf(row);
    ListView_RedrawItems(list, at, at);
    if (row == m.focus()) ShowFocus(list, m);
    return;
  }
  HWND header = ListView_GetHeader(list);
  for (int i = 0; i < static_cast<int>(m.columns().size()); ++i) {
    HDITEMA h = {};
    h.mask = HDI_FORMAT;
    SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&h));
    h.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (i == m.sortColumn()) h.fmt |= m.ascending() ? HDF_SORTUP : HDF_SORTDOWN;
    SendMessageA(header, HDM_SETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&h));
  }
  ListView_SetItemCountEx(list, m.RowCount(), LVSICF_NOSCROLL);
  InvalidateRect(list, nullptr, FALSE);
  ShowFocus(list, m);
}

}  // namespace

void SetUpCommonControls(HWND dialog, const DialogTemplate& t,
                         const std::function<void(int, int, int)>& notify) {
  for (int i = 0; i < t.controlCount; ++i) {
    const ControlTemplate& c = t.controls[i];
    HWND hwnd = GetDlgItem(dialog, c.id);
    if (!hwnd || c.id == -1) continue;
    if (c.cls == ControlClass::kComboBox) {
      for (const std::string& choice : TextLines(c.text)) {
        SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
      }
      SendMessageA(hwnd, CB_SETCURSEL, 0, 0);
    }
    if (c.cls != ControlClass::kListView) continue;
    List& list = Lists()[hwnd];
    list.dialog = dialog;
    list.model = std::make_unique<ListModel>(c.text);
    ListModel* m = list.model.get();
    UseTickImages(hwnd);
    for (int k = 0; k < static_cast<int>(m->columns().size()); ++k) {
      RECT r = {0, 0, m->columns()[k].width, 0};
      MapDialogRect(dialog, &r);
      LVCOLUMNA column = {};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.pszText = const_cast<char*>(m->columns()[k].title.c_str());
      column.cx = r.right;
      SendMessageA(hwnd, LVM_INSERTCOLUMNA, static_cast<WPARAM>(k),
                   reinterpret_cast<LPARAM>(&column));
    }
    m->changed = [hwnd, m](int row) { Refresh(hwnd, *m, row); };
    int id = c.id;
    m->notify = [notify, id](int code, int item) { notify(id, code, item); };
  }
}

void ForgetCommonControls(HWND dialog) {
  for (auto it = Lists().begin(); it != Lists().end();) {
    it = it->second.dialog == dialog ? Lists().erase(it) : std::next(it);
  }
}

ListModel* ListOf(HWND control) {
  auto it = control ? Lists().find(control) : Lists().end();
  return it == Lists().end() ? nullptr : it->second.model.get();
}

bool OnCommonNotify(LPARAM lParam, LRESULT* result) {
  const auto* h = reinterpret_cast<const NMHDR*>(lParam);
  ListModel* m = ListOf(h->hwndFrom);
  if (!m) return false;
  *result = 0;
  switch (h->code) {
    case LVN_GETDISPINFOA: {  // the dialog is an ANSI window: so are its lists' notifications
      LVITEMA& item = reinterpret_cast<NMLVDISPINFOA*>(lParam)->item;
      int row = m->RowAt(item.iItem);
      if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
        lstrcpynA(item.pszText, m->Cell(row, item.iSubItem).c_str(), item.cchTextMax);
      }
      if (item.mask & LVIF_STATE) {
        item.state = INDEXTOSTATEIMAGEMASK(m->Ticked(row) ? 2 : 1);
        item.stateMask = LVIS_STATEIMAGEMASK;
      }
      return true;
    }
    case NM_CLICK:
    case NM_DBLCLK: {
      LVHITTESTINFO hit = {};
      hit.pt = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->ptAction;
      ListView_SubItemHitTest(h->hwndFrom, &hit);
      if (hit.iItem >= 0 && (hit.flags & LVHT_ONITEMSTATEICON)) m->ClickTick(m->RowAt(hit.iItem));
      return true;
    }
    case LVN_KEYDOWN: {
      WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey;
      if (key == VK_SPACE) m->PressSpace();
      if (key == 'A' && GetKeyState(VK_CONTROL) < 0) m->PressSelectAll();
      return true;
    }
    case LVN_COLUMNCLICK:
      m->ClickColumn(reinterpret_cast<const NMLISTVIEW*>(lParam)->iSubItem);
      return true;
    case LVN_ITEMCHANGED: {
      const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
      if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_FOCUSED) &&
          !(change->uOldState & LVIS_FOCUSED)) {
        m->MoveFocus(m->RowAt(change->iItem));
      }
      return true;
    }
    default:
      return false;
  }
}

void SetProgress(HWND bar, int lower, int upper, int position) {
  if (!bar || !IsClass(bar, PROGRESS_CLASSA)) return;
  SendMessageA(bar, PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
  SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

bool SelectChoice(HWND control, const char* text) {
  if (!IsClass(control, WC_COMBOBOXA)) return false;
  std::string want = text ? text : "";
  int n = static_cast<int>(SendMessageA(control, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    char item[256] = {};  // choices are short words; a longer one just never matches
    if (SendMessageA(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= 256) continue;
    SendMessageA(control, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
    if (want == item) SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
  }
  return true;
}

}  // namespace win32
}  // namespace ui
