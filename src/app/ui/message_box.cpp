#include "app/ui/message_box.h"

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
    // The texts join their lines with a lone carriage return; a label breaks
    // lines only at line feeds.
    QString text = box.text;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox mb(box.icon, box.title, text, QMessageBox::Ok, parent);
    if (!box.detail.isEmpty())
        mb.setDetailedText(box.detail);
    mb.exec();
}

} // namespace sheaf::ui
