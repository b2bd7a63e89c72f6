#pragma once
// frmSheaf, the main window. It builds its controls from the control table
// (control_table.h), keeps the settings file and the layout, and owns one
// part per subsystem that binds the controls to that subsystem's logic:
// the selection command (selection/ui), the extension field and the folder
// buttons (choice/ui), the compress command and the switches (archive/ui).
// The handlers below hand on to those parts; the tests run them directly.

#include "archive/archiver_choice.h"
#include "base/ui/command_state.h"
#include "choice/extension_list.h"
#include "selection/candidate_list.h"

#include <QString>
#include <QWidget>
#include <memory>

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

class ArchiveBinding;
class ExtensionBinding;
class FolderButtons;
class FrmFolder;
class GridView;
class SelectionBinding;

class FrmSheaf : public QWidget
{
    Q_OBJECT
public:
    // `settingsPath` empty: the settings file's usual place (settingsPath()).
    explicit FrmSheaf(const QString &settingsPath = QString(), QWidget *parent = nullptr);
    ~FrmSheaf() override;

    // Sizes in pixels: twips / 15.
    static constexpr int twips(int t) { return (t + 7) / 15; }
    // The left pane is 525 twips wider than the classic layout (see
    // control_table.cpp); the window and the grid's left edge follow.
    static constexpr int InnerWidth = 864; // 12960 twips
    static constexpr int InnerHeight = 395; // 5925 twips
    static constexpr int MinimumOuterWidth = 394; // 5905 twips
    static constexpr int AssumedFrameWidth = 8; // 120 twips: left and right border together
    static constexpr int GridLeft = 387; // 5805 twips
    static constexpr int GridRightMargin = 5; // 70 twips, rounded up
    static constexpr int GridTop = 16;
    static constexpr int GridHeight = 369; // 5535 twips

    // The candidate list (FileMark, FileDir, FileName, FileCount).
    CandidateList &list();
    CandidateModel *model() const;
    FolderButtons *folderButtons() const { return m_folders; }
    FrmFolder *folderPicker() const;
    // The narrowest inner width: the outer minimum less the frame that the
    // desktop draws (the constants' frame until the window is shown).
    int minimumInnerWidth() const;
    // True while a command runs inside its handler.
    bool isBusy() const { return m_state.busy; }
    // Stops a running compress run at the next block of data (Esc does it).
    void stopRun();
    // Whether closing writes the settings file (one window of several does).
    void setSettingsSaved(bool saved) { m_settingsSaved = saved; }
    bool settingsSaved() const { return m_settingsSaved; }

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
    void grdList_DblClick();
    void cmbExtent_LostFocus();
    void timRefresh_Timer();

    // The archiver that the option buttons choose.
    ArchiverChoice archiverChoice() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls(); // frm_sheaf_controls.cpp
    void setUpFonts();
    void Form_Load();
    void Form_Unload();
    void Form_Resize();
    void applySettings(const Settings &settings, bool fileApplied);
    void applyPosition(double leftTwips, double topTwips);
    Settings settingsFromControls() const;
    void commandEnded();

    QString m_settingsPath;
    CommandState m_state;
    SelectionBinding *m_selection = nullptr;
    ExtensionBinding *m_extension = nullptr;
    FolderButtons *m_folders = nullptr;
    ArchiveBinding *m_archive = nullptr;
    bool m_settingsSaved = true;
    bool m_closePending = false;
    bool m_unloaded = false;
};

} // namespace sheaf::ui
