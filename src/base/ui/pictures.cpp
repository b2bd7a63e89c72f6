#include "base/ui/pictures.h"

// The resources sit in the static window library; its initialiser must be
// named to be linked.
static void initResources()
{
    Q_INIT_RESOURCE(sheaf);
}

namespace sheaf::ui {

QIcon sheafIcon()
{
    initResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/sheaf-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/sheaf-32.png"), QSize(32, 32));
    return icon;
}

QIcon openFolderPicture()
{
    initResources();
    return QIcon(QStringLiteral(":/folder-open.png"));
}

} // namespace sheaf::ui
