#include "ui/backends/headless.h"

#include <cstdlib>
#include <cstring>

namespace ui {

namespace {

using namespace win;

constexpr int kDpi = 96;
constexpr int kIconSize = 32;

int AverageCharWidth(const LogFont& f) {
  int h = std::abs(f.lfHeight);
  return (h + 1) / 2;
}

int CellHeight(const LogFont& f) {
  int h = std::abs(f.lfHeight);
  return f.lfHeight > 0 ? h : h + h / 4;
}

// The button Enter presses in a message box of this style.
int DefaultAnswer(unsigned style) {
  switch (style & 0xF) {
    case 2:  // abort, retry, ignore
      return kIdAbort;
    case 3:  // yes, no, cancel
    case 4:  // yes, no
      return kIdYes;
    case 5:  // retry, cancel
      return kIdRetry;
    default:
      return kIdOk;
  }
}

bool IsButtonKind(ControlKind k) {
  return k == ControlKind::kPushButton || k == ControlKind::kDefPushButton ||
         k == ControlKind::kCheckBox || k == ControlKind::kAutoCheckBox;
}

bool IsPushButton(ControlKind k) {
  return k == ControlKind::kPushButton || k == ControlKind::kDefPushButton;
}

bool IsCheckBox(ControlKind k) {
  return k == ControlKind::kCheckBox || k == ControlKind::kAutoCheckBox;
}

}  // namespace

struct HeadlessWindow {
  explicit HeadlessWindow(bool dialog) : isDialog(dialog) {}
  bool isDialog;
  bool enabled = true;
  FontHandle font = nullptr;
};

struct HeadlessControl : HeadlessWindow {
  HeadlessControl() : HeadlessWindow(false) {}
  const ControlTemplate* t = nullptr;
  HeadlessDialogWindow* dialog = nullptr;
  ControlKind kind = ControlKind::kOther;
  std::string text;
  int check = 0;
  int selStart = 0;
  int selEnd = 0;
};

struct HeadlessDialogWindow : HeadlessWindow {
  HeadlessDialogWindow() : HeadlessWindow(true) {}
  const DialogTemplate* t = nullptr;
  DialogEvents* events = nullptr;
  std::vector<std::unique_ptr<HeadlessControl>> controls;
  std::string caption;
  bool ended = false;
  int result = -1;
  FontHandle ownFont = nullptr;  // made from the template, released with the window
  IconHandle bigIcon = nullptr;
  IconHandle smallIcon = nullptr;
  bool minimized = false;
  HeadlessControl* focus = nullptr;
};

struct HeadlessBackend::Font {
  LogFont description;
  bool backendOwned = false;
};

struct HeadlessBackend::Icon {
  IconInfo info;
};

struct HeadlessBackend::Paint {
  HeadlessDialogWindow* dialog = nullptr;
  bool erased = false;
};

namespace {

WindowHandle ToHandle(HeadlessWindow* w) {
  return reinterpret_cast<WindowHandle>(w);
}

}  // namespace

HeadlessBackend& Headless() {
  static HeadlessBackend backend;
  return backend;
}

Backend& GetBackend() {
  return Headless();
}

HeadlessBackend::HeadlessBackend() = default;
HeadlessBackend::~HeadlessBackend() = default;

void HeadlessBackend::PushModalScript(ModalScript script) {
  scripts_.push_back(std::move(script));
}

void HeadlessBackend::QueueAnswer(int answer) {
  answers_.push_back(answer);
}

int HeadlessBackend::liveFonts() const {
  int n = 0;
  for (const auto& f : fonts_) {
    if (!f.second->backendOwned) ++n;
  }
  return n;
}

IconInfo HeadlessBackend::DescribeIcon(IconHandle icon) const {
  for (const auto& i : icons_) {
    if (reinterpret_cast<IconHandle>(i.second.get()) == icon) return i.second->info;
  }
  return IconInfo();
}

void HeadlessBackend::SetMinimizedClientSize(int width, int height) {
  minimizedWidth_ = width;
  minimizedHeight_ = height;
}

bool HeadlessBackend::Reset() {
  if (!dialogs_.empty()) return false;
  scripts_.clear();
  answers_.clear();
  messageBoxes_.clear();
  iconPaints_.clear();
  waitDepth_ = waitBegins_ = waitUnbalancedEnds_ = 0;
  fontsReleasedInUse_ = staleHandleUses_ = unbalancedPaints_ = abandoned_ = 0;
  minimizedWidth_ = minimizedHeight_ = 36;
  return true;
}

HeadlessWindow* HeadlessBackend::Window(WindowHandle handle) {
  if (!handle) return nullptr;
  auto* w = reinterpret_cast<HeadlessWindow*>(handle);
  if (liveWindows_.count(w) == 0) {
    ++staleHandleUses_;
    return nullptr;
  }
  return w;
}

HeadlessControl* HeadlessBackend::Control(WindowHandle handle) {
  HeadlessWindow* w = Window(handle);
  return w && !w->isDialog ? static_cast<HeadlessControl*>(w) : nullptr;
}

HeadlessDialogWindow* HeadlessBackend::Dialog(WindowHandle handle) {
  HeadlessWindow* w = Window(handle);
  return w && w->isDialog ? static_cast<HeadlessDialogWindow*>(w) : nullptr;
}

HeadlessBackend::Font* HeadlessBackend::FontData(FontHandle handle) {
  auto it = fonts_.find(handle);
  return it == fonts_.end() ? nullptr : it->second.get();
}

HeadlessBackend::Paint* HeadlessBackend::PaintData(PaintHandle handle) {
  auto it = paints_.find(handle);
  return it == paints_.end() ? nullptr : it->second.get();
}

bool HeadlessBackend::FontInUse(FontHandle font) const {
  for (const HeadlessDialogWindow* d : dialogs_) {
    if (d->font == font) return true;
    for (const auto& c : d->controls) {
      if (c->font == font) return true;
    }
  }
  return false;
}

Rect HeadlessBackend::PixelSize(const HeadlessDialogWindow& dialog, int cx, int cy) const {
  LogFont f;
  auto it = fonts_.find(dialog.ownFont);
  if (it != fonts_.end()) f = it->second->description;
  Rect r;
  r.right = DialogUnitsToPixelsX(cx, AverageCharWidth(f));
  r.bottom = DialogUnitsToPixelsY(cy, CellHeight(f));
  return r;
}

int HeadlessBackend::RunModal(const DialogTemplate& dialog, WindowHandle owner,
                              DialogEvents& events) {
  if (owner && !Dialog(owner)) return -1;
  auto d = std::make_unique<HeadlessDialogWindow>();
  d->t = &dialog;
  d->events = &events;
  d->caption = dialog.caption ? dialog.caption : "";
  LogFont f;
  f.lfHeight = PointSizeToLogicalHeight(dialog.fontPointSize > 0 ? dialog.fontPointSize : 8, kDpi);
  f.lfWeight = dialog.fontWeight > 0 ? dialog.fontWeight : 400;
  f.lfItalic = dialog.fontItalic ? 1 : 0;
  std::strncpy(f.lfFaceName, dialog.fontName ? dialog.fontName : "", sizeof f.lfFaceName - 1);
  d->ownFont = MakeFont(f);
  fonts_[d->ownFont]->backendOwned = true;
  d->font = d->ownFont;
  liveWindows_.insert(d.get());
  for (int i = 0; i < dialog.controlCount; ++i) {
    auto c = std::make_unique<HeadlessControl>();
    c->t = &dialog.controls[i];
    c->dialog = d.get();
    c->kind = KindOf(*c->t);
    c->text = c->t->text ? c->t->text : "";
    c->enabled = (c->t->style & style::kDisabled) == 0;
    c->font = d->ownFont;
    liveWindows_.insert(c.get());
    d->controls.push_back(std::move(c));
  }
  HeadlessDialogWindow* ownerDialog = owner ? Dialog(owner) : nullptr;
  if (ownerDialog) ownerDialog->enabled = false;
  dialogs_.push_back(d.get());

  bool defaultFocus = events.HandleInitDialog(ToHandle(d.get()));
  if (defaultFocus && !d->focus) {
    for (auto& c : d->controls) {
      if ((c->t->style & style::kTabStop) && (c->t->style & style::kVisible) && c->enabled) {
        d->focus = c.get();
        break;
      }
    }
  }
  if (!d->ended && !scripts_.empty()) {
    ModalScript script = std::move(scripts_.front());
    scripts_.pop_front();
    HeadlessDialog view(this, d.get());
    script(view);
  }
  if (!d->ended) {
    ++abandoned_;
    d->ended = true;
    d->result = -1;
  }

  events.HandleDestroy();
  dialogs_.pop_back();
  if (ownerDialog) ownerDialog->enabled = true;
  for (auto& c : d->controls) liveWindows_.erase(c.get());
  liveWindows_.erase(d.get());
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

void HeadlessBackend::EndModal(WindowHandle dialog, int result) {
  HeadlessDialogWindow* d = Dialog(dialog);
  if (!d || d->ended) return;
  d->ended = true;
  d->result = result;
}

WindowHandle HeadlessBackend::FindControl(WindowHandle dialog, int id) {
  HeadlessDialogWindow* d = Dialog(dialog);
  if (!d) return nullptr;
  for (auto& c : d->controls) {
    if (c->t->id == id) return ToHandle(c.get());
  }
  return nullptr;
}

int HeadlessBackend::ControlId(WindowHandle control) {
  HeadlessControl* c = Control(control);
  return c ? c->t->id : 0;
}

void HeadlessBackend::SetText(WindowHandle window, const char* text) {
  HeadlessWindow* w = Window(window);
  if (!w) return;
  std::string s = text ? text : "";
  if (w->isDialog) {
    static_cast<HeadlessDialogWindow*>(w)->caption = s;
  } else {
    auto* c = static_cast<HeadlessControl*>(w);
    c->text = s;
    c->selStart = c->selEnd = 0;
  }
}

std::string HeadlessBackend::GetText(WindowHandle window) {
  HeadlessWindow* w = Window(window);
  if (!w) return std::string();
  if (w->isDialog) return static_cast<HeadlessDialogWindow*>(w)->caption;
  return static_cast<HeadlessControl*>(w)->text;
}

int HeadlessBackend::GetCheck(WindowHandle button) {
  HeadlessControl* c = Control(button);
  return c && IsCheckBox(c->kind) ? c->check : 0;
}

void HeadlessBackend::SetCheck(WindowHandle button, int state) {
  HeadlessControl* c = Control(button);
  if (c && IsCheckBox(c->kind)) c->check = state;
}

void HeadlessBackend::Enable(WindowHandle window, bool enable) {
  HeadlessWindow* w = Window(window);
  if (!w) return;
  w->enabled = enable;
  if (!enable && !w->isDialog) {
    auto* c = static_cast<HeadlessControl*>(w);
    if (c->dialog->focus == c) c->dialog->focus = nullptr;
  }
}

bool HeadlessBackend::IsEnabled(WindowHandle window) {
  HeadlessWindow* w = Window(window);
  return w && w->enabled;
}

void HeadlessBackend::Focus(WindowHandle control) {
  HeadlessControl* c = Control(control);
  if (c && c->enabled) c->dialog->focus = c;
}

WindowHandle HeadlessBackend::FocusedWindow() {
  if (dialogs_.empty() || !dialogs_.back()->focus) return nullptr;
  return ToHandle(dialogs_.back()->focus);
}

void HeadlessBackend::SelectText(WindowHandle edit, int start, int end) {
  HeadlessControl* c = Control(edit);
  if (!c || c->kind != ControlKind::kEdit) return;
  int n = static_cast<int>(c->text.size());
  if (end < 0 || end > n) end = n;
  if (start < 0) start = 0;
  if (start > end) start = end;
  c->selStart = start;
  c->selEnd = end;
}

bool HeadlessBackend::IsMinimized(WindowHandle dialog) {
  HeadlessDialogWindow* d = Dialog(dialog);
  return d && d->minimized;
}

Rect HeadlessBackend::ClientRect(WindowHandle window) {
  HeadlessWindow* w = Window(window);
  if (!w) return Rect();
  if (w->isDialog) {
    auto* d = static_cast<HeadlessDialogWindow*>(w);
    if (d->minimized) return Rect{0, 0, minimizedWidth_, minimizedHeight_};
    return PixelSize(*d, d->t->cx, d->t->cy);
  }
  auto* c = static_cast<HeadlessControl*>(w);
  return PixelSize(*c->dialog, c->t->cx, c->t->cy);
}

FontHandle HeadlessBackend::MakeFont(const LogFont& description) {
  auto f = std::make_unique<Font>();
  f->description = description;
  f->description.lfFaceName[sizeof f->description.lfFaceName - 1] = '\0';
  FontHandle handle = reinterpret_cast<FontHandle>(f.get());
  fonts_[handle] = std::move(f);
  return handle;
}

void HeadlessBackend::ReleaseFont(FontHandle font) {
  auto it = fonts_.find(font);
  if (it == fonts_.end()) return;
  if (FontInUse(font) || it->second->backendOwned) ++fontsReleasedInUse_;
  fonts_.erase(it);
}

bool HeadlessBackend::DescribeFont(FontHandle font, LogFont* description) {
  Font* f = FontData(font);
  if (!f || !description) return false;
  *description = f->description;
  return true;
}

FontHandle HeadlessBackend::WindowFont(WindowHandle window) {
  HeadlessWindow* w = Window(window);
  return w ? w->font : nullptr;
}

void HeadlessBackend::SetWindowFont(WindowHandle window, FontHandle font, bool /*redraw*/) {
  HeadlessWindow* w = Window(window);
  if (!w || (font && !FontData(font))) return;
  w->font = font;
}

IconHandle HeadlessBackend::LoadIconResource(int resourceId, const IconImage* image) {
  auto it = icons_.find(resourceId);
  if (it != icons_.end()) return reinterpret_cast<IconHandle>(it->second.get());
  if (!image) return nullptr;
  auto icon = std::make_unique<Icon>();
  icon->info.resourceId = resourceId;
  icon->info.width = image->width;
  icon->info.height = image->height;
  icon->info.image = image;
  IconHandle handle = reinterpret_cast<IconHandle>(icon.get());
  icons_[resourceId] = std::move(icon);
  return handle;
}

IconHandle HeadlessBackend::SetWindowIcon(WindowHandle dialog, IconHandle icon, bool big) {
  HeadlessDialogWindow* d = Dialog(dialog);
  if (!d) return nullptr;
  IconHandle& slot = big ? d->bigIcon : d->smallIcon;
  IconHandle previous = slot;
  slot = icon;
  return previous;
}

int HeadlessBackend::SystemMetric(int index) {
  return index == kSmCxIcon || index == kSmCyIcon ? kIconSize : 0;
}

PaintHandle HeadlessBackend::StartPaint(WindowHandle window) {
  HeadlessDialogWindow* d = Dialog(window);
  if (!d) return nullptr;
  auto p = std::make_unique<Paint>();
  p->dialog = d;
  PaintHandle handle = reinterpret_cast<PaintHandle>(p.get());
  paints_[handle] = std::move(p);
  return handle;
}

void HeadlessBackend::FinishPaint(WindowHandle /*window*/, PaintHandle dc) {
  paints_.erase(dc);
}

void HeadlessBackend::EraseIconBackground(WindowHandle /*window*/, PaintHandle dc) {
  if (Paint* p = PaintData(dc)) p->erased = true;
}

void HeadlessBackend::PaintIcon(PaintHandle dc, int x, int y, IconHandle icon) {
  Paint* p = PaintData(dc);
  if (!p) return;
  iconPaints_.push_back(IconPaintRecord{ToHandle(p->dialog), x, y, icon, p->erased});
}

int HeadlessBackend::ShowMessageBox(WindowHandle owner, const char* text, const char* caption,
                                    unsigned style) {
  if (owner) Window(owner);  // counts a stale owner
  int answer = DefaultAnswer(style);
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  messageBoxes_.push_back(
      MessageBoxRecord{owner, text ? text : "", caption ? caption : "", style, answer, waitDepth_});
  return answer;
}

void HeadlessBackend::BeginWaitCursor() {
  ++waitDepth_;
  ++waitBegins_;
}

void HeadlessBackend::EndWaitCursor() {
  if (waitDepth_ == 0) {
    ++waitUnbalancedEnds_;
    return;
  }
  --waitDepth_;
}

// ---- HeadlessDialog

bool HeadlessDialog::IsOpen() const {
  return !dialog_->ended;
}

WindowHandle HeadlessDialog::handle() const {
  return ToHandle(dialog_);
}

const DialogTemplate& HeadlessDialog::dialogTemplate() const {
  return *dialog_->t;
}

bool HeadlessDialog::Active() const {
  return !dialog_->ended && !backend_->dialogs_.empty() && backend_->dialogs_.back() == dialog_;
}

HeadlessControl* HeadlessDialog::Find(int id) const {
  for (auto& c : dialog_->controls) {
    if (c->t->id == id) return c.get();
  }
  return nullptr;
}

HeadlessControl* HeadlessDialog::Reach(int id) const {
  if (!Active()) return nullptr;
  HeadlessControl* c = Find(id);
  if (!c || !c->enabled || !(c->t->style & style::kVisible)) return nullptr;
  return c;
}

bool HeadlessDialog::Type(int id, const std::string& text) {
  HeadlessControl* c = Reach(id);
  if (!c || c->kind != ControlKind::kEdit) return false;
  if (c->t->style & style::kEsNumber) {
    for (char ch : text) {
      if (ch < '0' || ch > '9') return false;
    }
  }
  dialog_->focus = c;
  c->text = text;
  c->selStart = c->selEnd = static_cast<int>(text.size());
  return true;
}

bool HeadlessDialog::Click(int id) {
  HeadlessControl* c = Reach(id);
  if (!c || !IsButtonKind(c->kind)) return false;
  dialog_->focus = c;
  if (c->kind == ControlKind::kAutoCheckBox) c->check = c->check == 1 ? 0 : 1;
  dialog_->events->HandleCommand(id);
  return true;
}

bool HeadlessDialog::Focus(int id) {
  HeadlessControl* c = Reach(id);
  if (!c || !(c->kind == ControlKind::kEdit || IsButtonKind(c->kind))) return false;
  dialog_->focus = c;
  return true;
}

bool HeadlessDialog::PressEnter() {
  if (!Active()) return false;
  int id = kIdOk;
  if (dialog_->focus && IsPushButton(dialog_->focus->kind)) {
    id = dialog_->focus->t->id;
  } else {
    for (auto& c : dialog_->controls) {
      if (c->kind == ControlKind::kDefPushButton && c->enabled) {
        id = c->t->id;
        break;
      }
    }
  }
  dialog_->events->HandleCommand(id);
  return true;
}

bool HeadlessDialog::PressEscape() {
  if (!Active()) return false;
  dialog_->events->HandleCommand(kIdCancel);
  return true;
}

bool HeadlessDialog::CloseBox() {
  if (!Active() || !(dialog_->t->style & style::kSysMenu)) return false;
  dialog_->events->HandleCommand(kIdCancel);
  return true;
}

bool HeadlessDialog::Minimize() {
  if (!Active() || !(dialog_->t->style & style::kMinimizeBox)) return false;
  dialog_->minimized = true;
  return true;
}

bool HeadlessDialog::Restore() {
  if (!Active()) return false;
  dialog_->minimized = false;
  return true;
}

bool HeadlessDialog::Paint() {
  if (!Active()) return false;
  dialog_->events->HandlePaint();
  return true;
}

IconHandle HeadlessDialog::QueryDragIcon() {
  if (!Active()) return nullptr;
  return dialog_->events->HandleQueryDragIcon();
}

std::string HeadlessDialog::Text(int id) const {
  HeadlessControl* c = Find(id);
  return c ? c->text : std::string();
}

std::string HeadlessDialog::Shown(int id) const {
  HeadlessControl* c = Find(id);
  if (!c) return std::string();
  return IsPassword(*c->t) ? std::string(c->text.size(), '*') : c->text;
}

int HeadlessDialog::Check(int id) const {
  HeadlessControl* c = Find(id);
  return c ? c->check : 0;
}

bool HeadlessDialog::Enabled(int id) const {
  HeadlessControl* c = Find(id);
  return c && c->enabled;
}

int HeadlessDialog::FocusedId() const {
  return dialog_->focus ? dialog_->focus->t->id : 0;
}

FontHandle HeadlessDialog::FontOf(int id) const {
  if (id == 0) return dialog_->font;
  HeadlessControl* c = Find(id);
  return c ? c->font : nullptr;
}

LogFont HeadlessDialog::Font(int id) const {
  LogFont f;
  backend_->DescribeFont(FontOf(id), &f);
  return f;
}

IconHandle HeadlessDialog::Icon(bool big) const {
  return big ? dialog_->bigIcon : dialog_->smallIcon;
}

std::string HeadlessDialog::Caption() const {
  return dialog_->caption;
}

bool HeadlessDialog::Minimized() const {
  return dialog_->minimized;
}

Rect HeadlessDialog::Client() const {
  return backend_->ClientRect(handle());
}

int HeadlessDialog::SelectionStart(int id) const {
  HeadlessControl* c = Find(id);
  return c ? c->selStart : 0;
}

int HeadlessDialog::SelectionEnd(int id) const {
  HeadlessControl* c = Find(id);
  return c ? c->selEnd : 0;
}

}  // namespace ui
