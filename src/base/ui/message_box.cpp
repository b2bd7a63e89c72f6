#include "base/ui/message_box.h"

#include "base/ui/control_font.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace sheaf::ui {

namespace {

constexpr QChar kBreak(0x200B); // zero width space: a place a line may break

// A label breaks lines only where words end; a long path or file name has
// no such place and would run past the box's edge, which the box never
// passes. A break is allowed after every separator and every 20 characters
// of a run without one, so that the whole name can be read.
QString breakable(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 10);
    int run = 0;
    for (const QChar c : text) {
        out += c;
        if (c.isSpace() || c == kBreak) {
            run = 0;
        } else if (c == u'/' || c == u'\\' || ++run == 20) {
            out += kBreak;
            run = 0;
        }
    }
    return out;
}

// Ctrl+C copies the texts as they were given, without the break marks.
class FailureBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        QMessageBox::keyPressEvent(event);
        if (event == QKeySequence::Copy) {
            QClipboard *clipboard = QGuiApplication::clipboard();
            clipboard->setText(clipboard->text().remove(kBreak));
        }
    }
};
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
    auto mb = std::make_unique<FailureBox>(
        box.icon, box.title, breakable(text), QMessageBox::Ok, parent);
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
