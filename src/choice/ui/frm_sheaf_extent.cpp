// frmSheaf's extension field: the four events of cmbExtent and the refresh
// timer, bound to the extension list logic.

#include "app/ui/frm_sheaf.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

namespace sheaf::ui {

ExtensionList FrmSheaf::extentFromCombo() const
{
    ExtensionList extensions;
    extensions.text = cmbExtent->currentText();
    for (int i = 0; i < cmbExtent->count(); ++i)
        extensions.entries << cmbExtent->itemText(i);
    return extensions;
}

void FrmSheaf::extentToCombo(const ExtensionList &extensions)
{
    const QString before = cmbExtent->currentText();
    {
        // Rebuilding the list passes the field through other texts; only the
        // text it ends with counts as a change.
        const QSignalBlocker blocker(cmbExtent);
        QStringList current;
        for (int i = 0; i < cmbExtent->count(); ++i)
            current << cmbExtent->itemText(i);
        if (current != extensions.entries) {
            cmbExtent->clear();
            cmbExtent->addItems(extensions.entries);
        }
        // The entry the text names (exactly) is the current one, so that the
        // arrow keys step on from it.
        cmbExtent->setCurrentIndex(
            cmbExtent->findText(extensions.text, Qt::MatchExactly | Qt::MatchCaseSensitive));
        cmbExtent->setEditText(extensions.text);
    }
    if (cmbExtent->currentText() != before)
        cmbExtent_Change();
}

void FrmSheaf::cmbExtent_Change()
{
    cmdClear_Click();
}

void FrmSheaf::cmbExtent_Click()
{
    // The choice reaches the field after this event; the timer's tick moves
    // it to the top of the list.
    timRefresh->setInterval(10);
    timRefresh->start();
}

void FrmSheaf::cmbExtent_KeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    ExtensionList extensions = extentFromCombo();
    if (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) {
        extensions.ExtentRemove();
        extentToCombo(extensions);
        update();
        for (QPushButton *button : {cmdSelect, cmdClear, cmdArchive, cmdQuit})
            button->update();
    } else {
        extensions.ExtentCommit();
        extentToCombo(extensions);
    }
}

void FrmSheaf::cmbExtent_LostFocus()
{
    ExtensionList extensions = extentFromCombo();
    extensions.ExtentCommit();
    extentToCombo(extensions);
}

void FrmSheaf::timRefresh_Timer()
{
    if (m_busy) {
        // A command is running: the list moves once it is done.
        timRefresh->start();
        return;
    }
    cmdClear_Click();
    ExtensionList extensions = extentFromCombo();
    extensions.ExtentToFront();
    extentToCombo(extensions);
    timRefresh->stop();
    timRefresh->setInterval(0);
}

} // namespace sheaf::ui
