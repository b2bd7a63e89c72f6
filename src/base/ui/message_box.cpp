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
// of a run without one, so that the whole name can be read; never inside a
// character (a surrogate pair) or before a combining mark.
QString breakable(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 10);
    int run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        out += c;
        if (c.isSpace() || c == kBreak) {
            run = 0;
            continue;
        }
        ++run;
        const bool due = c == u'/' || c == u'\\' || run >= 20;
        const bool splits
            = i + 1 < text.size() && (text[i + 1].isLowSurrogate() || text[i + 1].isMark());
        if (due && !splits) {
            out += kBreak;
            run = 0;
        }
    }
    return out;
}

// Ctrl+C copies the text as it was given, without the break marks.
class FailureBox : public QMessageBox
{
public:
    FailureBox(Icon icon, const QString &title, const QString &text, QWidget *parent)
        : QMessageBox(icon, title, breakable(text), QMessageBox::Ok, parent)
        , m_given(text)
    {
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        QMessageBox::keyPressEvent(event);
        if (event == QKeySequence::Copy) {
            QClipboard *clipboard = QGuiApplication::clipboard();
            clipboard->setText(clipboard->text().replace(this->text(), m_given));
        }
    }

private:
    QString m_given;
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
    auto mb = std::make_unique<FailureBox>(box.icon, box.title, text, parent);
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
