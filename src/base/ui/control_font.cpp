#include "base/ui/control_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace sheaf::ui {

QFont controlFont(qreal points)
{
    QStringList families {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic")};
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString &family : japanese) {
        if (!families.contains(family)) {
            families << family;
            break;
        }
    }
    QFont font;
    font.setFamilies(families);
    // In pixels, as the controls are placed: at 96 dots per inch a point is
    // 4/3 pixel. Sized in points, the text would grow on a denser screen
    // while the controls keep their pixels (with the toolkit's scaling off)
    // and numbers and captions would be cut; with the scaling on, both grow.
    font.setPixelSize(qRound(points * 96.0 / 72.0));
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace sheaf::ui
