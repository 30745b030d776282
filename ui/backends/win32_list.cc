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

void Refresh(HWND list, HWND dialog, ListModel& m, int row) {
  if (row >= 0) {
    int at = m.PositionOf(row);
    ListView_RedrawItems(list, at, at);
    if (row == m.focus()) ShowFocus(list, m);
    return;
  }
  HWND header = ListView_GetHeader(list);
  int n = static_cast<int>(m.columns().size());
  if (Header_GetItemCount(header) != n) {
    while (ListView_DeleteColumn(list, 0)) {
    }
    for (int i = 0; i < n; ++i) {
      RECT r = {0, 0, m.columns()[i].width, 0};
      MapDialogRect(dialog, &r);
      LVCOLUMNA c = {};
      c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
      c.pszText = const_cast<char*>(m.columns()[i].title.c_str());
      c.cx = r.right;
      c.iSubItem = i;
      SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&c));
    }
  }
  for (int i = 0; i < n; ++i) {
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

template <class Item>
void Fill(const ListModel& m, Item& item, void (*copy)(const std::string&, Item&)) {
  int row = m.RowAt(item.iItem);
  if (item.mask & LVIF_TEXT) copy(m.Cell(row, item.iSubItem), item);
  if (item.mask & LVIF_STATE) {
    item.state = INDEXTOSTATEIMAGEMASK(m.Ticked(row) ? 2 : 1);
    item.stateMask = LVIS_STATEIMAGEMASK;
  }
}

void CopyA(const std::string& text, LVITEMA& item) {
  if (item.pszText && item.cchTextMax > 0) lstrcpynA(item.pszText, text.c_str(), item.cchTextMax);
}

void CopyW(const std::string& text, LVITEMW& item) {
  if (!item.pszText || item.cchTextMax <= 0) return;
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, item.pszText, item.cchTextMax);
  if (n == 0) item.pszText[item.cchTextMax - 1] = L'\0';  // cut short
}

}  // namespace

void SetUpCommonControls(HWND dialog, const DialogTemplate& t,
                         const std::function<void(int, int, int)>& notify) {
  for (int i = 0; i < t.controlCount; ++i) {
    const ControlTemplate& c = t.controls[i];
    HWND hwnd = GetDlgItem(dialog, c.id);
    if (!hwnd || c.id == -1) continue;
    if (c.cls == ControlClass::kComboBox) {
      std::string all = c.text ? c.text : "";
      for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
        end = all.find('\n', at);
        std::string choice = all.substr(at, end == std::string::npos ? end : end - at);
        SendMessageA(hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
      }
      SendMessageA(hwnd, CB_SETCURSEL, 0, 0);
    }
    if (c.cls != ControlClass::kListView) continue;
    List& list = Lists()[hwnd];
    list.dialog = dialog;
    list.model = std::make_unique<ListModel>();
    ListModel* m = list.model.get();
    UseTickImages(hwnd);
    m->changed = [hwnd, dialog, m](int row) { Refresh(hwnd, dialog, *m, row); };
    int id = c.id;
    m->notify = [notify, id](int code, int item) { notify(id, code, item); };
    m->SetColumns(ListModel::ParseColumns(c.text));
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
    case LVN_GETDISPINFOA:
      Fill<LVITEMA>(*m, reinterpret_cast<NMLVDISPINFOA*>(lParam)->item, &CopyA);
      return true;
    case LVN_GETDISPINFOW:
      Fill<LVITEMW>(*m, reinterpret_cast<NMLVDISPINFOW*>(lParam)->item, &CopyW);
      return true;
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
    int length =
        static_cast<int>(SendMessageA(control, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0));
    std::string item(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    SendMessageA(control, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item[0]));
    item.resize(static_cast<size_t>(length > 0 ? length : 0));
    if (item == want) SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
  }
  return true;
}

}  // namespace win32
}  // namespace ui
