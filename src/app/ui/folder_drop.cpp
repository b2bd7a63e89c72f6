#include "app/ui/folder_drop.h"
#include "app/start_arguments.h"

#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace sheaf::ui {

FolderDrop::FolderDrop(
    QWidget *window, QLineEdit *selectField, QLineEdit *outputField, std::function<bool()> busy)
    : QObject(window)
    , m_select(selectField)
    , m_output(outputField)
    , m_busy(std::move(busy))
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    // Widgets that take drops themselves (the fields, the extension box) get
    // the drag first; the others hand it on to the window.
    for (QWidget *child : window->findChildren<QWidget *>()) {
        if (child->acceptDrops())
            child->installEventFilter(this);
    }
}

QString FolderDrop::folderOf(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return QString();
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString folder = folderForPath(url.toLocalFile());
        if (!folder.isEmpty())
            return folder;
    }
    return QString();
}

bool FolderDrop::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto *drop = static_cast<QDropEvent *>(event);
    if (m_busy && m_busy()) {
        drop->ignore();
        return true;
    }
    const QString folder = folderOf(drop->mimeData());
    if (folder.isEmpty())
        return false;
    if (type == QEvent::Drop)
        (watched == m_output ? m_output : m_select)->setText(folder);
    drop->acceptProposedAction();
    return true;
}

} // namespace sheaf::ui
