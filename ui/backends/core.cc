#include "ui/backends/core.h"

#include "ui/LayoutDump.h"

namespace ui {
namespace {

// Pictures and fonts are measured on a screen of this many dots per inch.
constexpr int kDpi = 96;
constexpr int kIconSize = 32;

}  // namespace

ControlRecord* DialogRecord::Find(int id) const {
  for (const auto& c : controls) {
    if (c->t->id == id) return c.get();
  }
  return nullptr;
}

IconInfo CoreBackend::DescribeIcon(IconHandle icon) const {
  const IconInfo* info = IconOf(icon);
  return info ? *info : IconInfo();
}

WindowRecord* CoreBackend::Record(WindowHandle handle) {
  if (!handle) return nullptr;
  auto* w = reinterpret_cast<WindowRecord*>(handle);
  if (live_.count(w) == 0) {
    ++staleHandleUses_;
    return nullptr;
  }
  return w;
}

ControlRecord* CoreBackend::Control(WindowHandle handle) {
  WindowRecord* w = Record(handle);
  return w && !w->isDialog ? static_cast<ControlRecord*>(w) : nullptr;
}

DialogRecord* CoreBackend::Dialog(WindowHandle handle) {
  WindowRecord* w = Record(handle);
  return w && w->isDialog ? static_cast<DialogRecord*>(w) : nullptr;
}

const LogFont* CoreBackend::FontOf(FontHandle font) const {
  auto it = fonts_.find(font);
  return it == fonts_.end() ? nullptr : &it->second->description;
}

const IconInfo* CoreBackend::IconOf(IconHandle icon) const {
  for (const auto& i : icons_) {
    if (reinterpret_cast<IconHandle>(i.second.get()) == icon) return i.second.get();
  }
  return nullptr;
}

bool CoreBackend::FontInUse(FontHandle font) const {
  for (const DialogRecord* d : dialogs_) {
    if (d->font == font) return true;
    for (const auto& c : d->controls) {
      if (c->font == font) return true;
    }
  }
  return false;
}

int CoreBackend::RunModal(const DialogTemplate& dialog, WindowHandle owner, DialogEvents& events) {
  DialogRecord* ownerDialog = owner ? Dialog(owner) : nullptr;
  if ((owner && !ownerDialog) || !Prepare()) return -1;
  auto d = std::make_unique<DialogRecord>();
  d->t = &dialog;
  d->events = &events;
  d->caption = dialog.caption ? dialog.caption : "";
  d->ownFont = MakeFont(TemplateFont(dialog, kDpi));
  fonts_[d->ownFont]->backendOwned = true;
  d->font = d->ownFont;
  d->units = UnitsOf(*FontOf(d->ownFont));
  live_.insert(d.get());
  for (int i = 0; i < dialog.controlCount; ++i) {
    auto c = std::make_unique<ControlRecord>();
    c->t = &dialog.controls[i];
    c->dialog = d.get();
    c->kind = KindOf(*c->t);
    c->text = c->t->text ? c->t->text : "";
    if (c->kind == ControlKind::kList) {
      c->text.clear();
      c->list = std::make_unique<ListModel>(c->t->text);
      int id = c->t->id;
      DialogRecord* owner = d.get();
      c->list->notify = [owner, id](int code, int item) {
        if (!owner->ended) owner->events->HandleNotify(id, code, item);
      };
    } else if (c->kind == ControlKind::kChoice) {
      c->text = c->text.substr(0, c->text.find('\n'));  // the first choice shows
    }
    c->enabled = (c->t->style & style::kDisabled) == 0;
    c->font = d->ownFont;
    live_.insert(c.get());
    d->controls.push_back(std::move(c));
  }
  Create(*d);
  if (ownerDialog) {
    ownerDialog->enabled = false;
    Changed(*ownerDialog);
  }
  dialogs_.push_back(d.get());

  bool defaultFocus = events.HandleInitDialog(ToHandle(d.get()));
  if (defaultFocus && !d->ended && !d->focus) {
    for (auto& c : d->controls) {
      if ((c->t->style & style::kTabStop) && (c->t->style & style::kVisible) && c->enabled) {
        // The system selects the whole text of an edit box it gives the focus to.
        if (c->kind == ControlKind::kEdit) {
          c->selEnd = static_cast<int>(c->text.size());
          Changed(*c);
        }
        d->focus = c.get();
        FocusChanged(*c);
        break;
      }
    }
  }
  if (!d->ended) Loop(*d);

  events.HandleDestroy();
  dialogs_.pop_back();
  Dump("destroy");
  if (ownerDialog) {
    ownerDialog->enabled = true;
    Changed(*ownerDialog);
  }
  Destroy(*d);
  for (auto& c : d->controls) live_.erase(c.get());
  live_.erase(d.get());
  for (auto it = paints_.begin(); it != paints_.end();) {
    if (it->second->dialog == d.get()) {
      ++unbalancedPaints_;
      it = paints_.erase(it);
    } else {
      ++it;
    }
  }
  fonts_.erase(d->ownFont);
  return d->result;
}

void CoreBackend::EndModal(WindowHandle dialog, int result) {
  DialogRecord* d = Dialog(dialog);
  if (!d || d->ended) return;
  d->ended = true;
  d->result = result;
  Ended(*d);
}

WindowHandle CoreBackend::FindControl(WindowHandle dialog, int id) {
  DialogRecord* d = Dialog(dialog);
  return d ? ToHandle(d->Find(id)) : nullptr;
}

void CoreBackend::SetText(WindowHandle window, const char* text) {
  WindowRecord* w = Record(window);
  if (!w) return;
  if (w->isDialog) {
    static_cast<DialogRecord*>(w)->caption = text ? text : "";
  } else {
    auto* c = static_cast<ControlRecord*>(w);
    if (c->kind == ControlKind::kChoice && !IsChoice(*c->t, text ? text : "")) return;
    c->text = text ? text : "";
    c->selStart = c->selEnd = 0;
  }
  Changed(*w);
}

std::string CoreBackend::GetText(WindowHandle window) {
  WindowRecord* w = Record(window);
  if (!w) return std::string();
  if (w->isDialog) return static_cast<DialogRecord*>(w)->caption;
  return static_cast<ControlRecord*>(w)->text;
}

int CoreBackend::GetCheck(WindowHandle button) {
  ControlRecord* c = Control(button);
  return c && IsCheckBox(c->kind) ? c->check : 0;
}

void CoreBackend::SetCheck(WindowHandle button, int state) {
  ControlRecord* c = Control(button);
  if (!c || !IsCheckBox(c->kind)) return;
  c->check = state ? 1 : 0;
  Changed(*c);
}

void CoreBackend::Focus(WindowHandle control) {
  ControlRecord* c = Control(control);
  if (!c || !c->enabled) return;
  c->dialog->focus = c;
  FocusChanged(*c);
}

void CoreBackend::SelectText(WindowHandle edit, int start, int end) {
  ControlRecord* c = Control(edit);
  if (!c || c->kind != ControlKind::kEdit) return;
  int n = static_cast<int>(c->text.size());
  if (end < 0 || end > n) end = n;
  c->selStart = start < 0 ? 0 : start > end ? end : start;
  c->selEnd = end;
  Changed(*c);
}

Rect CoreBackend::ClientRect(WindowHandle window) {
  WindowRecord* w = Record(window);
  if (!w) return Rect();
  if (w->isDialog) {
    auto* d = static_cast<DialogRecord*>(w);
    if (d->minimized) return Rect{0, 0, minimizedWidth_, minimizedHeight_};
    return ClientPixels(*d->t, d->units);
  }
  Rect r = ControlPixels(*static_cast<ControlRecord*>(w)->t,
                         static_cast<ControlRecord*>(w)->dialog->units);
  return Rect{0, 0, r.Width(), r.Height()};
}

ListModel* CoreBackend::List(WindowHandle list) {
  ControlRecord* c = Control(list);
  return c ? c->list.get() : nullptr;
}

void CoreBackend::SetProgress(WindowHandle bar, int lower, int upper, int position) {
  ControlRecord* c = Control(bar);
  if (!c || c->kind != ControlKind::kProgress) return;
  c->lower = lower;
  c->upper = upper;
  c->position = position;
  Changed(*c);
}

FontHandle CoreBackend::MakeFont(const LogFont& description) {
  auto f = std::make_unique<Font>();
  f->description = description;
  f->description.lfFaceName[sizeof f->description.lfFaceName - 1] = '\0';
  FontHandle handle = reinterpret_cast<FontHandle>(f.get());
  fonts_[handle] = std::move(f);
  return handle;
}

void CoreBackend::ReleaseFont(FontHandle font) {
  auto it = fonts_.find(font);
  if (it == fonts_.end()) return;
  if (it->second->backendOwned || FontInUse(font)) ++fontsReleasedInUse_;
  if (!it->second->backendOwned) fonts_.erase(it);
}

bool CoreBackend::DescribeFont(FontHandle font, LogFont* description) {
  const LogFont* f = FontOf(font);
  if (!f || !description) return false;
  *description = *f;
  return true;
}

FontHandle CoreBackend::WindowFont(WindowHandle window) {
  WindowRecord* w = Record(window);
  return w ? w->font : nullptr;
}

void CoreBackend::SetWindowFont(WindowHandle window, FontHandle font, bool redraw) {
  WindowRecord* w = Record(window);
  if (!w || (font && !FontOf(font))) return;
  w->font = font;
  FontChanged(*w, redraw);
}

IconHandle CoreBackend::LoadIconResource(int resourceId, const IconImage* image) {
  auto it = icons_.find(resourceId);
  if (it != icons_.end()) return reinterpret_cast<IconHandle>(it->second.get());
  if (!image || !image->rgba || image->width <= 0 || image->height <= 0) return nullptr;
  auto icon = std::make_unique<IconInfo>();
  icon->resourceId = resourceId;
  icon->width = image->width;
  icon->height = image->height;
  icon->image = image;
  IconHandle handle = reinterpret_cast<IconHandle>(icon.get());
  icons_[resourceId] = std::move(icon);
  return handle;
}

IconHandle CoreBackend::SetWindowIcon(WindowHandle dialog, IconHandle icon, bool big) {
  DialogRecord* d = Dialog(dialog);
  if (!d) return nullptr;
  IconHandle& slot = big ? d->bigIcon : d->smallIcon;
  IconHandle previous = slot;
  slot = icon;
  IconsChanged(*d);
  return previous;
}

int CoreBackend::SystemMetric(int index) {
  return index == win::kSmCxIcon || index == win::kSmCyIcon ? kIconSize : 0;
}

PaintHandle CoreBackend::StartPaint(WindowHandle window) {
  DialogRecord* d = Dialog(window);
  if (!d) return nullptr;
  auto p = std::make_unique<Paint>();
  p->dialog = d;
  p->canDraw = CanDraw(*d);
  PaintHandle handle = reinterpret_cast<PaintHandle>(p.get());
  paints_[handle] = std::move(p);
  return handle;
}

void CoreBackend::EraseIconBackground(WindowHandle /*window*/, PaintHandle dc) {
  auto it = paints_.find(dc);
  if (it == paints_.end()) return;
  it->second->erased = true;
  if (it->second->canDraw) EraseBackground(*it->second->dialog);
}

void CoreBackend::PaintIcon(PaintHandle dc, int x, int y, IconHandle icon) {
  auto it = paints_.find(dc);
  if (it == paints_.end()) return;
  const Paint& p = *it->second;
  iconPaints_.push_back(IconPaintRecord{ToHandle(p.dialog), x, y, icon, p.erased});
  const IconInfo* info = IconOf(icon);
  if (p.canDraw && info) DrawIcon(*p.dialog, x, y, *info);
}

int CoreBackend::ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                                unsigned style) {
  DialogRecord* ownerDialog = owner ? Dialog(owner) : nullptr;  // counts a stale owner
  MessageBoxRecord box{owner, text ? text : "", caption ? caption : "", style, 0, waitDepth_};
  messagesUp_.push_back(&box);
  box.answer = Ask(ownerDialog, box);
  messagesUp_.pop_back();
  messageBoxes_.push_back(box);
  return box.answer;
}

void CoreBackend::BeginWaitCursor() {
  ++waitBegins_;
  if (++waitDepth_ == 1) ShowWaitCursor(true);
}

void CoreBackend::EndWaitCursor() {
  if (waitDepth_ == 0) {
    ++waitUnbalancedEnds_;
    return;
  }
  if (--waitDepth_ == 0) ShowWaitCursor(false);
}

bool CoreBackend::Active(const DialogRecord& dialog) const {
  return !dialog.ended && Top() == &dialog;
}

ControlRecord* CoreBackend::Reach(DialogRecord& dialog, int id) {
  ControlRecord* c = Active(dialog) ? dialog.Find(id) : nullptr;
  return c && c->enabled && (c->t->style & style::kVisible) ? c : nullptr;
}

void CoreBackend::Command(DialogRecord& dialog, int id) {
  if (!Active(dialog)) return;
  if (dialog.events->HandleCommand(id) && !dialog.ended) Dump("command " + std::to_string(id));
}

void CoreBackend::Close(DialogRecord& dialog) {
  if (!Active(dialog)) return;
  if (dialog.events->HandleClose() && !dialog.ended) {
    Dump("command " + std::to_string(win::kIdCancel));
  }
}

void CoreBackend::Click(ControlRecord& control) {
  control.dialog->focus = &control;
  if (control.kind == ControlKind::kAutoCheckBox) control.check = control.check == 1 ? 0 : 1;
  Changed(control);
  Command(*control.dialog, control.t->id);
}

void CoreBackend::PressEnter(DialogRecord& dialog) {
  int id = win::kIdOk;
  if (dialog.focus && IsPushButton(dialog.focus->kind)) {
    id = dialog.focus->t->id;
  } else {
    for (auto& c : dialog.controls) {
      if (c->kind == ControlKind::kDefPushButton && c->enabled) {
        id = c->t->id;
        break;
      }
    }
  }
  Command(dialog, id);
}

void CoreBackend::Dump(const std::string& event) {
  if (LayoutDumpPath().empty()) return;
  LayoutState state;
  for (const DialogRecord* d : dialogs_) {
    if (!d->shown) continue;
    LayoutDialog dialog;
    dialog.caption = d->caption;
    dialog.client = ClientPixels(*d->t, d->units);
    dialog.unitsX = d->units.cx;
    dialog.unitsY = d->units.cy;
    dialog.focusId = d->focus && messagesUp_.empty() ? d->focus->t->id : 0;
    for (const auto& c : d->controls) {
      LayoutControl control;
      control.id = c->t->id;
      control.kind = c->kind;
      control.text = c->text;
      control.password = IsPassword(*c->t);
      control.rect = ControlPixels(*c->t, d->units);
      control.check = c->check;
      control.enabled = c->enabled;
      if (const LogFont* f = FontOf(c->font)) control.fontHeight = f->lfHeight;
      dialog.controls.push_back(std::move(control));
    }
    state.dialogs.push_back(std::move(dialog));
  }
  for (const MessageBoxRecord* m : messagesUp_) {
    state.messages.push_back(LayoutMessage{m->caption, m->text, m->style});
  }
  DumpLayout(state, event);
}

}  // namespace ui
