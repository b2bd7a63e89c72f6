#include "base/ui/command_input_block.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace sheaf::ui {

CommandInputBlock::CommandInputBlock(QWidget *window, QList<QWidget *> working,
    std::function<void()> escape, const QList<QWidget *> &greyed)
    : m_window(window)
    , m_working(std::move(working))
    , m_escape(std::move(escape))
{
    for (QWidget *widget : greyed) {
        if (widget->isEnabled()) {
            widget->setEnabled(false);
            m_greyed << widget;
        }
    }
    QCoreApplication::instance()->installEventFilter(this);
}

CommandInputBlock::~CommandInputBlock()
{
    QCoreApplication::instance()->removeEventFilter(this);
    for (const QPointer<QWidget> &widget : std::as_const(m_greyed)) {
        if (widget)
            widget->setEnabled(true);
    }
}

bool CommandInputBlock::isWorking(const QWidget *widget) const
{
    for (const QWidget *working : m_working) {
        if (working == widget || working->isAncestorOf(widget))
            return true;
    }
    return false;
}

bool CommandInputBlock::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_window)
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            if (m_escape)
                m_escape();
            return true;
        }
        return !isWorking(widget);
    case QEvent::Shortcut: // an access key reaches its button: 終了's Alt+E still fires
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return !isWorking(widget);
    default:
        return false;
    }
}

} // namespace sheaf::ui
