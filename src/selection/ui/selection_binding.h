#pragma once
// The selection command as the window runs it: "抽出(&S)" fills the candidate
// list and the grid, "消去(&C)" empties them, a double click on the grid
// flips marks. The window owns the controls; this part binds them to the
// candidate list and its model.

#include "base/ui/command_state.h"
#include "selection/candidate_list.h"
#include "selection/file_scan.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sheaf {
class CandidateModel;
}

namespace sheaf::ui {

class GridView;

struct SelectionControls
{
    QLineEdit *txtSelect, *txtOutput;
    QCheckBox *chkSelect;
    QComboBox *cmbExtent;
    QLabel *lblCount, *lblMsg;
    QPushButton *cmdSelect, *cmdArchive;
    GridView *grdList;
    QList<QWidget *> working; // still working during a scan: 終了 (the window closes after it)
};

class SelectionBinding : public QObject, private ScanProgress
{
    Q_OBJECT
public:
    // `commitExtension` commits the extension typed into the field before a scan.
    SelectionBinding(const SelectionControls &controls, CommandState &state,
        std::function<void()> commitExtension, QObject *parent = nullptr);

    CandidateList &list() { return m_list; }
    CandidateModel *model() const { return m_model; }

    void cmdSelect_Click();
    void cmdClear_Click();
    void grdList_DblClick();
    void FileShow();

private:
    // Label texts while the scan runs: `now` repaints at once; otherwise the
    // window catches up on painting at most about 30 times a second.
    void setLabel(QLabel *label, const QString &text, bool now);
    void fileCountChanged(int fileCount) override;

    SelectionControls m_c;
    CommandState &m_state;
    std::function<void()> m_commitExtension;
    CandidateList m_list;
    CandidateModel *m_model = nullptr;
    QElapsedTimer m_paintClock;
};

} // namespace sheaf::ui
