#include "base/ui/message_box.h"

#include "base/ui/control_font.h"

#include <QPushButton>

namespace sheaf::ui {

namespace {
MessageBoxHook &hook()
{
    static MessageBoxHook h;
    return h;
}
} // namespace

void setMessageBoxHook(MessageBoxHook h)
{
    hook() = std::move(h);
}

void showMessage(QWidget *parent, const MessageBoxRecord &box)
{
    if (hook()) {
        hook()(box);
        return;
    }
    makeMessageBox(parent, box)->exec();
}

std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, const MessageBoxRecord &box)
{
    // The texts join their lines with a lone carriage return; a label breaks
    // lines only at line feeds.
    QString text = box.text;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    auto mb = std::make_unique<QMessageBox>(box.icon, box.title, text, QMessageBox::Ok, parent);
    // The window's font, not the toolkit's default: one face for every digit.
    mb->setFont(controlFont(9.75));
    if (!box.detail.isEmpty())
        mb->setDetailedText(box.detail);
    mb->setDefaultButton(QMessageBox::Ok);
    // The details button would otherwise become the default once clicked,
    // and Enter would only fold the details again.
    QAbstractButton *ok = mb->button(QMessageBox::Ok);
    for (QPushButton *button : mb->findChildren<QPushButton *>()) {
        if (button != ok)
            button->setAutoDefault(false);
    }
    return mb;
}

} // namespace sheaf::ui
