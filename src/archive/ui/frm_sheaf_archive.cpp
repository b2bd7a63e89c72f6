// frmSheaf's compress command and the four option switches.

#include "app/ui/frm_sheaf.h"
#include "app/ui/message_box.h"
#include "archive/option_switches.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace sheaf::ui {

namespace {
void writeCaption(QCheckBox *box, OptionSwitch which)
{
    const int value = box->checkState() == Qt::Checked ? 1
        : box->checkState() == Qt::PartiallyChecked    ? 2
                                                       : 0;
    // Once the user leaves the greyed state, the box goes back to two states.
    if (value != 2)
        box->setTristate(false);
    box->setText(switchCaption(which, value));
}
} // namespace

void FrmSheaf::chkSelect_Click()
{
    writeCaption(chkSelect, OptionSwitch::Select);
}

void FrmSheaf::chkOutput_Click()
{
    writeCaption(chkOutput, OptionSwitch::Output);
}

void FrmSheaf::chkName_Click()
{
    writeCaption(chkName, OptionSwitch::Name);
}

void FrmSheaf::chkTogether_Click()
{
    writeCaption(chkTogether, OptionSwitch::Together);
}

void FrmSheaf::cmdArchive_Click()
{
    if (m_busy || m_list.FileCount == 0)
        return;
    ArchiveRunSettings settings;
    settings.archiver = archiverChoice();
    settings.name = chkName->checkState() == Qt::Checked;
    settings.together = chkTogether->checkState() == Qt::Checked;
    settings.output = chkOutput->checkState() == Qt::Checked;
    settings.outputFolder = txtOutput->text();
    settings.extension = cmbExtent->currentText();
    m_busy = true;
    runArchive(m_list, settings, *this);
    endCommand();
}

void FrmSheaf::refused(const QString &text)
{
    showMessage(this, {QStringLiteral("kwSheaf"), text, QString(), QMessageBox::NoIcon});
}

void FrmSheaf::started(const QString &statusText)
{
    cmdSelect->setEnabled(false);
    cmdArchive->setEnabled(false);
    setLabel(lblMsg, statusText, true);
}

void FrmSheaf::counterChanged(const QString &counterText, int k, int n)
{
    setLabel(lblCount, counterText, k == n);
}

void FrmSheaf::failed(const QString &title, const QString &text, const QString &detail)
{
    // The archiver's failure carries the application title and the
    // exclamation icon; the tool's own refusals ("kwSheaf") have no icon.
    const bool archiverFailure = title == QLatin1String("kwSheaf120");
    setLabel(lblCount, lblCount->text(), true);
    showMessage(
        this, {title, text, detail, archiverFailure ? QMessageBox::Warning : QMessageBox::NoIcon});
}

void FrmSheaf::finished(const QString &statusText)
{
    lblMsg->setText(statusText);
}

} // namespace sheaf::ui
