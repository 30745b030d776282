#include "ui/Resources.h"

namespace ui {
namespace {

const ResourceModule* g_module = nullptr;

}  // namespace

const ResourceModule* SetResourceModule(const ResourceModule* module) {
  const ResourceModule* previous = g_module;
  g_module = module;
  return previous;
}

const DialogTemplate* FindDialogResource(int id) {
  if (!g_module) return nullptr;
  for (int i = 0; i < g_module->dialogCount; ++i) {
    if (g_module->dialogs[i].id == id) return g_module->dialogs[i].dialog;
  }
  return nullptr;
}

const IconImage* FindIconResource(int id) {
  if (!g_module) return nullptr;
  for (int i = 0; i < g_module->iconCount; ++i) {
    if (g_module->icons[i].id == id) return g_module->icons[i].image;
  }
  return nullptr;
}

}  // namespace ui
