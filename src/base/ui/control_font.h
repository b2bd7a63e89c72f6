#pragma once
// The font of the tool's controls.

#include <QFont>

namespace sheaf::ui {

// "ＭＳ Ｐゴシック" at `points`, then IPAPGothic and any Japanese font of this
// system, so that no Japanese text falls back to empty boxes.
QFont controlFont(qreal points);

} // namespace sheaf::ui
