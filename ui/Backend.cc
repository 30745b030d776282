#include "ui/Backend.h"

namespace ui {

Backend::~Backend() = default;

}  // namespace ui
