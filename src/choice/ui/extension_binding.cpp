#include "choice/ui/extension_binding.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>
#include <QWidget>

namespace sheaf::ui {

ExtensionBinding::ExtensionBinding(QComboBox *cmbExtent, QTimer *timRefresh, QWidget *repaint,
    CommandState &state, std::function<void()> clear, QObject *parent)
    : QObject(parent)
    , m_combo(cmbExtent)
    , m_timer(timRefresh)
    , m_repaint(repaint)
    , m_state(state)
    , m_clear(std::move(clear))
{
    connect(m_combo, &QComboBox::editTextChanged, this, &ExtensionBinding::cmbExtent_Change);
    connect(m_combo, &QComboBox::activated, this, &ExtensionBinding::cmbExtent_Click);
    connect(m_timer, &QTimer::timeout, this, &ExtensionBinding::timRefresh_Timer);
    // Left to itself the combo box takes a typed text that names an entry as
    // a choice from the list when editing ends; here only the user's choice
    // counts as one, and leaving the field commits the text instead.
    QObject::disconnect(m_combo->lineEdit(), SIGNAL(editingFinished()), m_combo, nullptr);
    m_combo->installEventFilter(this);
    m_combo->lineEdit()->installEventFilter(this);
}

bool ExtensionBinding::eventFilter(QObject *watched, QEvent *event)
{
    // Keys reach the combo box, which hands them on to its line edit
    // directly; a key sent to the line edit itself counts the same.
    if (event->type() == QEvent::KeyPress
        && (watched == m_combo || watched == m_combo->lineEdit())) {
        const auto *key = static_cast<QKeyEvent *>(event);
        cmbExtent_KeyDown(key->key(), key->modifiers());
    } else if (watched == m_combo && event->type() == QEvent::FocusOut) {
        // Opening the drop-down moves the focus into it; that is no leaving.
        if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
            cmbExtent_LostFocus();
    }
    return QObject::eventFilter(watched, event);
}

ExtensionList ExtensionBinding::extentFromCombo() const
{
    ExtensionList extensions;
    extensions.text = m_combo->currentText();
    for (int i = 0; i < m_combo->count(); ++i)
        extensions.entries << m_combo->itemText(i);
    return extensions;
}

void ExtensionBinding::extentToCombo(const ExtensionList &extensions)
{
    const QString before = m_combo->currentText();
    {
        // Rebuilding the list passes the field through other texts; only the
        // text it ends with counts as a change.
        const QSignalBlocker blocker(m_combo);
        QStringList current;
        for (int i = 0; i < m_combo->count(); ++i)
            current << m_combo->itemText(i);
        if (current != extensions.entries) {
            m_combo->clear();
            m_combo->addItems(extensions.entries);
        }
        // The entry the text names (exactly) is the current one, so that the
        // arrow keys step on from it.
        m_combo->setCurrentIndex(
            m_combo->findText(extensions.text, Qt::MatchExactly | Qt::MatchCaseSensitive));
        m_combo->setEditText(extensions.text);
    }
    if (m_combo->currentText() != before)
        cmbExtent_Change();
}

void ExtensionBinding::cmbExtent_Change()
{
    m_clear();
}

void ExtensionBinding::cmbExtent_Click()
{
    // The choice reaches the field after this event; the timer's tick moves
    // it to the top of the list.
    m_timer->setInterval(10);
    m_timer->start();
}

void ExtensionBinding::cmbExtent_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    ExtensionList extensions = extentFromCombo();
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) {
        extensions.ExtentRemove();
        extentToCombo(extensions);
        m_repaint->update();
        for (QWidget *child : m_repaint->findChildren<QWidget *>())
            child->update();
    } else {
        extensions.ExtentCommit();
        extentToCombo(extensions);
    }
}

void ExtensionBinding::cmbExtent_LostFocus()
{
    ExtensionList extensions = extentFromCombo();
    extensions.ExtentCommit();
    extentToCombo(extensions);
}

void ExtensionBinding::timRefresh_Timer()
{
    if (m_state.busy) {
        // A command is running: the list moves once it is done.
        m_timer->start();
        return;
    }
    m_clear();
    ExtensionList extensions = extentFromCombo();
    extensions.ExtentToFront();
    extentToCombo(extensions);
    m_timer->stop();
    m_timer->setInterval(0);
}

} // namespace sheaf::ui
