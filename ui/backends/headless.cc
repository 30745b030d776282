#include "ui/backends/headless.h"

#include <cstdlib>

namespace ui {

HeadlessBackend& Headless() {
  static HeadlessBackend backend;
  return backend;
}

Backend& GetBackend() {
  return Headless();
}

bool HeadlessBackend::Reset() {
  if (openDialogs() != 0) return false;
  scripts_.clear();
  answers_.clear();
  messageBoxes_.clear();
  iconPaints_.clear();
  waitBegins_ = waitUnbalancedEnds_ = 0;
  fontsReleasedInUse_ = staleHandleUses_ = unbalancedPaints_ = abandoned_ = 0;
  minimizedWidth_ = minimizedHeight_ = 36;
  failThreadStarts_ = false;
  return true;
}

BaseUnits HeadlessBackend::UnitsOf(const LogFont& font) {
  int h = std::abs(font.lfHeight);
  return BaseUnits{(h + 1) / 2, font.lfHeight > 0 ? h : h + h / 4};
}

void HeadlessBackend::Loop(DialogRecord& dialog) {
  dialog.shown = true;
  if (!scripts_.empty()) {
    ModalScript script = std::move(scripts_.front());
    scripts_.pop_front();
    HeadlessDialog view(this, &dialog);
    script(view);
  }
  if (!dialog.ended) {
    ++abandoned_;
    dialog.ended = true;
    dialog.result = -1;
  }
}

int HeadlessBackend::Ask(DialogRecord* /*owner*/, const MessageBoxRecord& box) {
  if (answers_.empty()) return MessageBoxButtons(box.style)[0].id;
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

// ---- HeadlessDialog

bool HeadlessDialog::Type(int id, const std::string& text) {
  ControlRecord* c = backend_->Reach(*dialog_, id);
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
  ControlRecord* c = backend_->Reach(*dialog_, id);
  if (!c || !(IsPushButton(c->kind) || IsCheckBox(c->kind))) return false;
  backend_->Click(*c);
  return true;
}

bool HeadlessDialog::Choose(int id, const std::string& choice) {
  ControlRecord* c = backend_->Reach(*dialog_, id);
  if (!c || c->kind != ControlKind::kChoice || !IsChoice(*c->t, choice)) return false;
  dialog_->focus = c;
  c->text = choice;
  return true;
}

bool HeadlessDialog::PressKey(int key, bool ctrl) {
  return backend_->Active(*dialog_) && dialog_->events->HandleAccelerator(key, ctrl);
}

bool HeadlessDialog::Focus(int id) {
  ControlRecord* c = backend_->Reach(*dialog_, id);
  if (!c || !(c->kind == ControlKind::kEdit || IsPushButton(c->kind) || IsCheckBox(c->kind))) {
    return false;
  }
  dialog_->focus = c;
  return true;
}

bool HeadlessDialog::PressEnter() {
  if (!backend_->Active(*dialog_)) return false;
  backend_->PressEnter(*dialog_);
  return true;
}

bool HeadlessDialog::PressEscape() {
  if (!backend_->Active(*dialog_)) return false;
  backend_->Command(*dialog_, win::kIdCancel);
  return true;
}

bool HeadlessDialog::CloseBox() {
  if (!backend_->Active(*dialog_) || !(dialog_->t->style & style::kSysMenu)) return false;
  backend_->Close(*dialog_);
  return true;
}

bool HeadlessDialog::Minimize(bool minimize) {
  if (!backend_->Active(*dialog_) || !(dialog_->t->style & style::kMinimizeBox)) return false;
  dialog_->minimized = minimize;
  return true;
}

bool HeadlessDialog::Paint() {
  if (!backend_->Active(*dialog_)) return false;
  dialog_->events->HandlePaint();
  return true;
}

ListModel* HeadlessDialog::List(int id) {
  ControlRecord* c = backend_->Reach(*dialog_, id);
  if (!c || !c->list) return nullptr;
  dialog_->focus = c;
  return c->list.get();
}

IconHandle HeadlessDialog::QueryDragIcon() {
  return backend_->Active(*dialog_) ? dialog_->events->HandleQueryDragIcon() : nullptr;
}

const ControlRecord& HeadlessDialog::Get(int id) const {
  static const ControlRecord kNone;
  ControlRecord* c = dialog_->Find(id);
  return c ? *c : kNone;
}

std::string HeadlessDialog::Shown(int id) const {
  const ControlRecord& c = Get(id);
  return c.t && IsPassword(*c.t) ? std::string(c.text.size(), '*') : c.text;
}

LogFont HeadlessDialog::Font(int id) const {
  LogFont f;
  backend_->DescribeFont(FontOf(id), &f);
  return f;
}

}  // namespace ui
