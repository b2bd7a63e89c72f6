#include "choice/ui/folder_buttons.h"

#include "choice/ui/frm_folder.h"

#include <QLineEdit>
#include <QPushButton>

namespace sheaf::ui {

FolderButtons::FolderButtons(QPushButton *cmdSelinp, QLineEdit *txtSelect, QPushButton *cmdOutinp,
    QLineEdit *txtOutput, QObject *parent)
    : QObject(parent)
    , m_txtSelect(txtSelect)
    , m_txtOutput(txtOutput)
{
    connect(cmdSelinp, &QPushButton::clicked, this, &FolderButtons::cmdSelinp_Click);
    connect(cmdOutinp, &QPushButton::clicked, this, &FolderButtons::cmdOutinp_Click);
}

FolderButtons::~FolderButtons()
{
    delete m_folder;
}

void FolderButtons::cmdSelinp_Click()
{
    openPicker(QStringLiteral("txtSelect"));
}

void FolderButtons::cmdOutinp_Click()
{
    openPicker(QStringLiteral("txtOutput"));
}

void FolderButtons::openPicker(const QString &target)
{
    CallBack = target;
    if (!m_folder) {
        // Owned by the main window: the desktop keeps it above that window
        // and never under it.
        m_folder = new FrmFolder(m_txtSelect->window());
        connect(m_folder, &FrmFolder::folderChosen, this, &FolderButtons::folderChosen);
    }
    m_folder->showPicker();
}

void FolderButtons::closePicker()
{
    if (!m_folder)
        return;
    m_folder->close();
    delete m_folder;
    m_folder = nullptr;
}

void FolderButtons::folderChosen(const QString &path)
{
    // The target is the field of the latest opening.
    if (CallBack == QLatin1String("txtSelect"))
        m_txtSelect->setText(path);
    else if (CallBack == QLatin1String("txtOutput"))
        m_txtOutput->setText(path);
}

} // namespace sheaf::ui
