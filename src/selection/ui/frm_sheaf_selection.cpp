// frmSheaf's selection command, the clear command, the grid fill and the
// double click that flips marks.

#include "app/ui/frm_sheaf.h"
#include "app/ui/message_box.h"
#include "selection/candidate_model.h"
#include "selection/count_format.h"
#include "selection/file_sort.h"
#include "selection/selection_texts.h"
#include "selection/ui/grid_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace sheaf::ui {

void FrmSheaf::cmdClear_Click()
{
    m_list.clear();
    m_model->clearRows();
    lblMsg->clear();
    lblCount->clear();
    cmdSelect->setEnabled(true);
    cmdArchive->setEnabled(true);
}

void FrmSheaf::cmdSelect_Click()
{
    if (m_busy)
        return;
    cmbExtent_LostFocus(); // commits the typed extension
    const QString extension = cmbExtent->currentText();
    if (extension.isEmpty())
        return;
    if (txtOutput->text().isEmpty() || txtSelect->text().isEmpty())
        return;

    m_busy = true;
    cmdSelect->setEnabled(false);
    setLabel(lblMsg, selection_texts::scanning(), true);
    const QString folder = txtSelect->text();
    const int subfolderFlag = chkSelect->checkState() == Qt::Checked ? 1
        : chkSelect->checkState() == Qt::PartiallyChecked            ? 2
                                                                     : 0;
    const ScanResult scan = FileScan(folder, subfolderFlag, extension, m_list, this);
    setLabel(lblCount, lblCount->text(), true); // the final count, whatever the throttle held

    setLabel(lblMsg, selection_texts::sorting(), true);
    FileSort(m_list.FileMark, m_list.FileDir, m_list.FileName, m_list.FileCount);
    FileShow();

    const int count = m_list.FileCount;
    if (count == 0)
        cmdSelect->setEnabled(true);
    lblCount->setText(selection_texts::finalCount(count));
    lblMsg->setText(selection_texts::finalStatus(count, scan));

    if (scan.selectionFolderUnreadable) {
        showMessage(this,
            {selection_texts::messageTitle(), selection_texts::unreadableFolderMessage(folder),
                QString(), QMessageBox::NoIcon});
    }
    if (scan.listFull) {
        showMessage(this,
            {selection_texts::messageTitle(), selection_texts::listFullMessage(), QString(),
                QMessageBox::NoIcon});
    }
    endCommand();
}

void FrmSheaf::fileCountChanged(int fileCount)
{
    setLabel(lblCount, selection_texts::runningCount(fileCount), false);
}

void FrmSheaf::FileShow()
{
    setLabel(lblMsg, selection_texts::showing(), true);
    m_model->FileShow(); // one reset: the grid is redrawn once
}

void FrmSheaf::grdList_DblClick()
{
    if (m_busy)
        return;
    const int a = grdList->Row();
    const int b = grdList->RowSel();
    const int low = qMin(a, b), high = qMax(a, b);
    if (low < 1 || high > m_list.FileCount)
        return;
    m_model->flipMarks(low, high);
    grdList->setCurrentCell(high, 1);
}

} // namespace sheaf::ui
