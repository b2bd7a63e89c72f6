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

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

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

class FrmSheaf : public QWidget, private ScanProgress, private ArchiveRunObserver
{
    Q_OBJECT
public:
    // `settingsPath` empty: the settings file's usual place (settingsPath()).
    explicit FrmSheaf(const QString &settingsPath = QString(), QWidget *parent = nullptr);
    ~FrmSheaf() override;

    // Sizes in pixels: twips / 15.
    static constexpr int twips(int t) { return (t + 7) / 15; }
    static constexpr int InnerWidth = 829; // 12435 twips
    static constexpr int InnerHeight = 395; // 5925 twips
    static constexpr int MinimumOuterWidth = 359; // 5380 twips
    static constexpr int AssumedFrameWidth = 8; // 120 twips: left and right border together
    static constexpr int GridLeft = 352; // 5280 twips
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
    void setUpTabOrder();
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
    // ArchiveRunObserver
    void refused(const QString &text) override;
    void started(const QString &statusText) override;
    void counterChanged(const QString &counterText, int k, int n) override;
    void failed(const QString &title, const QString &text, const QString &detail) override;
    void finished(const QString &statusText) override;

    void openPicker(const QString &target);
    void folderChosen(const QString &path);

    CandidateList m_list;
    CandidateModel *m_model = nullptr;
    FrmFolder *m_folder = nullptr;
    QString m_settingsPath;
    QElapsedTimer m_paintClock;
    bool m_busy = false;
    bool m_closePending = false;
    bool m_unloaded = false;
};

} // namespace sheaf::ui
