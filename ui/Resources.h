// The program's resources: dialog templates and icon pictures by id, as a resource section
// would hold them. The program registers its table once (CWinApp does it from its constructor
// argument); the framework looks dialogs and icons up here.
#ifndef TILTWISE_UI_RESOURCES_H_
#define TILTWISE_UI_RESOURCES_H_

#include "ui/Backend.h"
#include "ui/DialogTemplate.h"

namespace ui {

struct DialogResource {
  int id;
  const DialogTemplate* dialog;
};

struct IconResource {
  int id;
  const IconImage* image;
};

struct ResourceModule {
  const DialogResource* dialogs;
  int dialogCount;
  const IconResource* icons;
  int iconCount;
};

// Makes `module` the table the lookups below search (null: none). Returns the previous one.
const ResourceModule* SetResourceModule(const ResourceModule* module);

// Null when no table is registered or it has no entry with that id.
const DialogTemplate* FindDialogResource(int id);
const IconImage* FindIconResource(int id);

}  // namespace ui

#endif  // TILTWISE_UI_RESOURCES_H_
