#include "selection/ui/selection_binding.h"

#include "base/ui/command_input_block.h"
#include "base/ui/message_box.h"
#include "selection/candidate_model.h"
#include "selection/file_sort.h"
#include "selection/selection_texts.h"
#include "selection/ui/grid_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace sheaf::ui {

SelectionBinding::SelectionBinding(const SelectionControls &controls, CommandState &state,
    std::function<void()> commitExtension, QObject *parent)
    : QObject(parent)
    , m_c(controls)
    , m_state(state)
    , m_commitExtension(std::move(commitExtension))
{
    m_model = new CandidateModel(m_list, this);
    m_c.grdList->setCandidateModel(m_model);
    connect(m_c.cmdSelect, &QPushButton::clicked, this, &SelectionBinding::cmdSelect_Click);
    connect(m_c.grdList, &GridView::rowsDoubleClicked, this, &SelectionBinding::grdList_DblClick);
}

void SelectionBinding::cmdClear_Click()
{
    m_list.clear();
    m_model->clearRows();
    m_c.lblMsg->clear();
    m_c.lblCount->clear();
    m_c.cmdSelect->setEnabled(true);
    m_c.cmdArchive->setEnabled(true);
}

void SelectionBinding::cmdSelect_Click()
{
    if (m_state.busy)
        return;
    m_commitExtension();
    const QString extension = m_c.cmbExtent->currentText();
    if (extension.isEmpty())
        return;
    if (m_c.txtOutput->text().isEmpty() || m_c.txtSelect->text().isEmpty())
        return;

    m_state.busy = true;
    // The desktop's requests (a close among them) reach the window during
    // the scan; clicks and keys are dropped.
    const CommandInputBlock block(m_c.grdList->window(), m_c.working);
    m_c.cmdSelect->setEnabled(false);
    setLabel(m_c.lblMsg, selection_texts::scanning(), true);
    const QString folder = m_c.txtSelect->text();
    const int subfolderFlag = m_c.chkSelect->checkState() == Qt::Checked ? 1
        : m_c.chkSelect->checkState() == Qt::PartiallyChecked            ? 2
                                                                         : 0;
    const ScanResult scan = FileScan(folder, subfolderFlag, extension, m_list, this);
    setLabel(
        m_c.lblCount, m_c.lblCount->text(), true); // the final count, whatever the throttle held

    setLabel(m_c.lblMsg, selection_texts::sorting(), true);
    FileSort(m_list.FileMark, m_list.FileDir, m_list.FileName, m_list.FileCount);
    FileShow();

    const int count = m_list.FileCount;
    if (count == 0)
        m_c.cmdSelect->setEnabled(true);
    m_c.lblCount->setText(selection_texts::finalCount(count));
    m_c.lblMsg->setText(selection_texts::finalStatus(count, scan));

    QWidget *window = m_c.grdList->window();
    if (scan.selectionFolderUnreadable) {
        showMessage(window,
            {selection_texts::messageTitle(),
                selection_texts::unreadableFolderMessage(folder, scan.refusedLink), QString(),
                QMessageBox::NoIcon});
    }
    if (scan.listFull) {
        showMessage(window,
            {selection_texts::messageTitle(), selection_texts::listFullMessage(), QString(),
                QMessageBox::NoIcon});
    }
    m_state.end();
}

void SelectionBinding::fileCountChanged(int fileCount)
{
    setLabel(m_c.lblCount, selection_texts::runningCount(fileCount), false);
}

void SelectionBinding::FileShow()
{
    setLabel(m_c.lblMsg, selection_texts::showing(), true);
    m_model->FileShow(); // one reset: the grid is redrawn once
}

void SelectionBinding::grdList_DblClick()
{
    if (m_state.busy)
        return;
    const int a = m_c.grdList->Row();
    const int b = m_c.grdList->RowSel();
    const int low = qMin(a, b), high = qMax(a, b);
    if (low < 1 || high > m_list.FileCount)
        return;
    m_model->flipMarks(low, high);
    m_c.grdList->setCurrentCell(high, 1);
}

void SelectionBinding::setLabel(QLabel *label, const QString &text, bool now)
{
    label->setText(text);
    if (!now && m_paintClock.isValid() && m_paintClock.elapsed() < 33)
        return;
    label->repaint();
    // Keep painting and answering the desktop while the scan runs. Input is
    // dropped by the command's block: input held back for later would include
    // a close request, which a message box at the end of the scan would swallow.
    QCoreApplication::processEvents();
    m_paintClock.restart();
}

} // namespace sheaf::ui
