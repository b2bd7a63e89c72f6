#pragma once
// frmSheaf, the main window. It owns every control and all state of the tool
// and binds the plain logic: the candidate list and its model, the extension
// list, the option switches, the compress run and the settings file.
//
// The handlers live beside the logic they bind: the selection handlers in
// selection/ui, the extension field and the picker in choice/ui, the compress
// command and the switches in archive/ui.

#include "archive/archive_run.h"
#include "archive/archiver_choice.h"
#include "choice/extension_list.h"
#include "selection/candidate_list.h"
#include "selection/file_scan.h"

#include "app/ui/message_box.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace sheaf {
class CandidateModel;
struct Settings;
} // namespace sheaf

namespace sheaf::ui {

class FrmFolder;
class GridView;
class QueuedRunObserver;

class FrmSheaf : public QWidget, private ScanProgress
{
    Q_OBJECT
public:
    // `settingsPath` empty: the settings file's usual place (settingsPath()).
    explicit FrmSheaf(const QString &settingsPath = QString(), QWidget *parent = nullptr);
    ~FrmSheaf() override;

    // Sizes in pixels: twips / 15.
    static constexpr int twips(int t) { return (t + 7) / 15; }
    // The left pane is 300 twips wider than the classic layout (see
    // control_table.cpp); the window and the grid's left edge follow.
    static constexpr int InnerWidth = 849; // 12735 twips
    static constexpr int InnerHeight = 395; // 5925 twips
    static constexpr int MinimumOuterWidth = 379; // 5680 twips
    static constexpr int AssumedFrameWidth = 8; // 120 twips: left and right border together
    static constexpr int GridLeft = 372; // 5580 twips
    static constexpr int GridRightMargin = 5; // 70 twips, rounded up
    static constexpr int GridTop = 16;
    static constexpr int GridHeight = 369; // 5535 twips

    // The folder field that the picker fills: "txtSelect" or "txtOutput".
    QString CallBack;

    // The candidate list (FileMark, FileDir, FileName, FileCount).
    CandidateList &list() { return m_list; }
    CandidateModel *model() const { return m_model; }
    FrmFolder *folderPicker() const { return m_folder; }
    // The narrowest inner width: the outer minimum less the frame that the
    // desktop draws (the constants' frame until the window is shown).
    int minimumInnerWidth() const;
    // True while a command runs inside its handler.
    bool isBusy() const { return m_busy; }
    // Stops a running compress run at the next block of data (Esc does it).
    void stopRun();
    // The window's title while an archive is written: its share done.
    static QString titleWithProgress(int percent);

    // Controls, named as everywhere in the tool.
    QGroupBox *Frame1, *Frame2, *Frame3, *Frame4, *Frame5, *Frame6, *Frame7;
    QPushButton *cmdSelinp, *cmdOutinp;
    QLineEdit *txtSelect, *txtOutput;
    QCheckBox *chkSelect, *chkOutput, *chkTogether, *chkName;
    QComboBox *cmbExtent;
    QLabel *lblCount, *lblMsg;
    QRadioButton *optLzh, *optZip, *optCab;
    QPushButton *cmdSelect, *cmdArchive, *cmdClear, *cmdQuit;
    GridView *grdList;
    QTimer *timRefresh;

    // Handlers, also run by the tests.
    void cmdSelect_Click();
    void cmdArchive_Click();
    void cmdClear_Click();
    void cmdQuit_Click();
    void cmdSelinp_Click();
    void cmdOutinp_Click();
    void grdList_DblClick();
    void chkSelect_Click();
    void chkOutput_Click();
    void chkName_Click();
    void chkTogether_Click();
    void cmbExtent_Change();
    void cmbExtent_Click();
    void cmbExtent_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void cmbExtent_LostFocus();
    void timRefresh_Timer();
    void FileShow();

    // The archiver that the option buttons choose.
    Archiver archiverChoice() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls(); // frm_sheaf_controls.cpp
    void setUpFonts();
    void connectHandlers();
    void Form_Load();
    void Form_Unload();
    void Form_Resize();
    void applySettings(const Settings &settings, bool fileApplied);
    Settings settingsFromControls() const;

    // The extension field as plain data, and back. Writing back runs
    // cmbExtent_Change only when the field's text changed.
    ExtensionList extentFromCombo() const;
    void extentToCombo(const ExtensionList &extensions);

    // Label texts while a command runs: `now` repaints at once; otherwise the
    // window catches up on painting at most about 30 times a second.
    void setLabel(QLabel *label, const QString &text, bool now);
    void endCommand();

    // ScanProgress
    void fileCountChanged(int fileCount) override;
    // The compress run's reports, on this thread (QueuedRunObserver).
    friend class QueuedRunObserver;
    void refused(const QString &text);
    void started(const QString &statusText);
    void counterChanged(const QString &counterText, int k, int n);
    void failed(const QString &title, const QString &text, const QString &detail);
    void finished(const QString &statusText);
    void progressed(uint64_t done, uint64_t total);
    void applyPosition(double leftTwips, double topTwips);

    void openPicker(const QString &target);
    void folderChosen(const QString &path);

    CandidateList m_list;
    CandidateModel *m_model = nullptr;
    FrmFolder *m_folder = nullptr;
    QString m_settingsPath;
    QElapsedTimer m_paintClock;
    bool m_busy = false;
    bool m_closePending = false;
    std::atomic<bool> m_cancel {false};
    bool m_running = false; // a compress run on its worker thread
    QList<MessageBoxRecord> m_heldBoxes; // shown once the run's thread is done
    bool m_unloaded = false;
};

} // namespace sheaf::ui
