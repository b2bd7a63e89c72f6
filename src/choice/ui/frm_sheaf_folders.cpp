// frmSheaf's two picture buttons and the folder picker's answer.

#include "app/ui/frm_sheaf.h"
#include "choice/ui/frm_folder.h"

#include <QLineEdit>

namespace sheaf::ui {

void FrmSheaf::cmdSelinp_Click()
{
    openPicker(QStringLiteral("txtSelect"));
}

void FrmSheaf::cmdOutinp_Click()
{
    openPicker(QStringLiteral("txtOutput"));
}

void FrmSheaf::openPicker(const QString &target)
{
    CallBack = target;
    // Created on first use; afterwards only shown and hidden, so that it
    // keeps its folder from one opening to the next.
    if (!m_folder) {
        m_folder = new FrmFolder();
        connect(m_folder, &FrmFolder::folderChosen, this, &FrmSheaf::folderChosen);
    }
    m_folder->showPicker();
}

void FrmSheaf::folderChosen(const QString &path)
{
    // The target is the field of the latest opening.
    if (CallBack == QLatin1String("txtSelect"))
        txtSelect->setText(path);
    else if (CallBack == QLatin1String("txtOutput"))
        txtOutput->setText(path);
}

} // namespace sheaf::ui
