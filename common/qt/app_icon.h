// A program's icon for its windows, painted from common/app_icons.h.
#pragma once

#include <QIcon>
#include <QImage>

namespace common {

// The icon named `name` at the sizes a window manager asks for; a null icon
// when there is none of that name.
QIcon AppIcon(const char* name);

// The icon painted at `size` by `size` pixels (null when unknown).
QImage PaintAppIcon(const char* name, int size);

}  // namespace common
