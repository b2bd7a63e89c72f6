#include "base/ui/input_rules.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

namespace sheaf::ui {

namespace {

class WindowsInputRules : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Wheel) {
            // An editable combo box's line edit passes the wheel on to it.
            auto *combo = qobject_cast<QComboBox *>(watched);
            if (!combo && watched->parent())
                combo = qobject_cast<QComboBox *>(watched->parent());
            if (combo && !combo->hasFocus()) {
                event->ignore();
                return true;
            }
        } else if (event->type() == QEvent::KeyPress) {
            auto *button = qobject_cast<QPushButton *>(watched);
            const auto *key = static_cast<QKeyEvent *>(event);
            // Alt with a letter is an access key. One that no enabled
            // control takes (抽出 while the list is filled) reaches the
            // focused field, which would type the letter: into a folder,
            // or into the extension, which empties the list.
            const Qt::KeyboardModifiers held = key->modifiers() & ~Qt::KeypadModifier;
            const auto *combo = qobject_cast<QComboBox *>(watched);
            const bool field = qobject_cast<QLineEdit *>(watched) || (combo && combo->isEditable());
            if (field && held.testFlag(Qt::AltModifier) && !held.testFlag(Qt::ControlModifier)
                && !key->text().isEmpty()) {
                return true;
            }
            if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && button->hasFocus()
                && button->isEnabled() && !qobject_cast<QDialog *>(button->window())) {
                button->click();
                return true;
            }
        }
        return false;
    }
};

} // namespace

void installWindowsInputRules()
{
    static WindowsInputRules *rules = nullptr;
    if (rules || !qApp)
        return;
    rules = new WindowsInputRules(qApp);
    qApp->installEventFilter(rules);
}

} // namespace sheaf::ui
