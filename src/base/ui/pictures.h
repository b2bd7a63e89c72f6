#pragma once
// The tool's own pictures, compiled in from resources/ (drawn by
// resources/make_icons.py).

#include <QIcon>

namespace sheaf::ui {

// The window icon: a cyan snowflake on black, 16 and 32 pixels.
QIcon sheafIcon();
// The opened folder on the folder buttons, 16 x 15 pixels.
QIcon openFolderPicture();

} // namespace sheaf::ui
