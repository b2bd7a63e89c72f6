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
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace sheaf::ui
