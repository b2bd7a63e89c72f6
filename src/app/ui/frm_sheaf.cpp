// frmSheaf: start-up, shutdown, the layout on resize, and the parts that
// bind the controls to the logic.

#include "app/ui/frm_sheaf.h"
#include "app/settings_file.h"
#include "app/ui/control_table.h"
#include "archive/ui/archive_binding.h"
#include "base/ui/input_rules.h"
#include "choice/ui/extension_binding.h"
#include "choice/ui/folder_buttons.h"
#include "selection/ui/grid_view.h"
#include "selection/ui/selection_binding.h"

#include "app/ui/folder_drop.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>

namespace sheaf::ui {

namespace {

// Check box state <-> the value the settings file keeps (2 = greyed).
int switchValue(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    default:
        return 0;
    }
}

void setSwitchValue(QCheckBox *box, int value)
{
    box->setCheckState(value == 1 ? Qt::Checked
            : value == 2          ? Qt::PartiallyChecked
                                  : Qt::Unchecked);
}

// The window's edge in twips, and back.
double toTwips(int pixels)
{
    return pixels * 15.0;
}

int toPixels(double twipValue)
{
    // A position far beyond any screen still fits an int once it is here.
    return qRound(std::clamp(twipValue / 15.0, -1e8, 1e8));
}

} // namespace

FrmSheaf::FrmSheaf(const QString &settingsFile, QWidget *parent)
    : QWidget(parent)
    , m_settingsPath(settingsFile.isEmpty() ? settingsPath() : settingsFile)
{
    installWindowsInputRules();
    buildControls();
    m_state.ended = [this] {
        commandEnded();
    };
    m_extension = new ExtensionBinding(
        cmbExtent, timRefresh, this, m_state, [this] { cmdClear_Click(); }, this);
    m_selection = new SelectionBinding(
        {txtSelect, txtOutput, chkSelect, cmbExtent, lblCount, lblMsg, cmdSelect, cmdArchive,
            grdList, {cmdQuit}},
        m_state, [this] { m_extension->cmbExtent_LostFocus(); }, this);
    m_folders = new FolderButtons(cmdSelinp, txtSelect, cmdOutinp, txtOutput, this);
    // During a run 終了 stops it as the close box does, and the grid scrolls;
    // the controls that would do nothing are greyed (抽出 and 圧縮 the run
    // disables itself: they stay so after it).
    m_archive = new ArchiveBinding(
        {this, chkSelect, chkOutput, chkName, chkTogether, optLzh, optZip, optCab, txtOutput,
            cmbExtent, lblCount, lblMsg, cmdSelect, cmdArchive, {cmdQuit, grdList},
            {txtSelect, cmdSelinp, chkSelect, txtOutput, cmdOutinp, chkOutput, chkTogether, chkName,
                cmbExtent, optLzh, optZip, optCab, cmdClear}},
        m_selection->list(), m_state, this);
    const auto widths = gridColumnWidths(); // the model is in place now
    // №, the date and the size are never cut (a size of 1 TB and more is
    // wider than its column); the folder and file names, which are
    // shortened anyway, share the rest of the grid's width.
    grdList->setColumnWidths(QVector<int>(widths.begin(), widths.end()), {0, 4, 5}, {2, 3});
    connect(cmdClear, &QPushButton::clicked, this, &FrmSheaf::cmdClear_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &FrmSheaf::cmdQuit_Click);

    resize(InnerWidth, InnerHeight);
    setMinimumSize(minimumInnerWidth(), InnerHeight);
    setMaximumHeight(InnerHeight);
    Form_Load();
    new FolderDrop(this, txtSelect, txtOutput, [this] { return m_state.busy; });
    txtSelect->setFocus(Qt::OtherFocusReason);
}

FrmSheaf::~FrmSheaf()
{
    // The bindings filter the controls' events: they go before the controls,
    // which the window deletes after this body, in the order they were made.
    delete m_archive;
    delete m_folders;
    delete m_selection;
    delete m_extension;
}

CandidateList &FrmSheaf::list()
{
    return m_selection->list();
}

CandidateModel *FrmSheaf::model() const
{
    return m_selection->model();
}

FrmFolder *FrmSheaf::folderPicker() const
{
    return m_folders->picker();
}

void FrmSheaf::cmdSelect_Click()
{
    m_selection->cmdSelect_Click();
}

void FrmSheaf::cmdArchive_Click()
{
    m_archive->cmdArchive_Click();
}

void FrmSheaf::cmdClear_Click()
{
    m_selection->cmdClear_Click();
    if (m_archive) // the extension field clears before the run's part is made
        m_archive->clearReport();
}

void FrmSheaf::grdList_DblClick()
{
    m_selection->grdList_DblClick();
}

void FrmSheaf::cmbExtent_LostFocus()
{
    m_extension->cmbExtent_LostFocus();
}

void FrmSheaf::timRefresh_Timer()
{
    m_extension->timRefresh_Timer();
}

void FrmSheaf::stopRun()
{
    m_archive->stopRun();
}

ArchiverChoice FrmSheaf::archiverChoice() const
{
    return m_archive->archiverChoice();
}

void FrmSheaf::Form_Load()
{
    // The grid's header row, columns, widths and alignments are set when the
    // grid is built. Before loading, the settings hold the window's state.
    Settings settings = settingsFromControls();
    const IniLoadResult result
        = IniLoad(m_settingsPath, settings, QDir::toNativeSeparators(QDir::currentPath()));
    chooseArchiverAtStartup(settings);
    applySettings(settings, result == IniLoadResult::FileApplied);
}

void FrmSheaf::applySettings(const Settings &settings, bool fileApplied)
{
    txtSelect->setText(settings.selectFolder);
    txtOutput->setText(settings.outputFolder);
    ExtensionList extensions;
    extensions.entries = settings.extensions;
    extensions.text = settings.extensionText;
    m_extension->extentToCombo(extensions); // a changed text runs the clear command

    if (settings.archiver) {
        switch (*settings.archiver) {
        case ArchiverKind::Zip:
            optZip->setChecked(true);
            break;
        case ArchiverKind::Cab:
            optCab->setChecked(true);
            break;
        case ArchiverKind::Lzh:
            optLzh->setChecked(true);
            break;
        }
    }

    QCheckBox *const inFileOrder[] {chkSelect, chkOutput, chkName, chkTogether};
    if (fileApplied) {
        setSwitchValue(chkSelect, settings.chkSelect);
        setSwitchValue(chkOutput, settings.chkOutput);
        setSwitchValue(chkName, settings.chkName);
        setSwitchValue(chkTogether, settings.chkTogether);
        // Each handler writes its caption, whether or not the state changed.
        m_archive->chkName_Click();
        m_archive->chkTogether_Click();
        m_archive->chkSelect_Click();
        m_archive->chkOutput_Click();
    } else {
        // Each switch on and then off, so that every handler writes its caption.
        for (QCheckBox *box : inFileOrder)
            box->setCheckState(Qt::Checked);
        for (QCheckBox *box : inFileOrder)
            box->setCheckState(Qt::Unchecked);
    }
    // A position read before a failing line stays applied.
    if (settings.positionRead)
        applyPosition(settings.left, settings.top);
}

void FrmSheaf::applyPosition(double leftTwips, double topTwips)
{
    // The outer frame as the desktop will draw it, kept on a screen.
    const QRect frame(QPoint(toPixels(leftTwips), toPixels(topTwips)),
        QSize(width() + AssumedFrameWidth, height() + AssumedFrameWidth + 23));
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    move(placeOnScreens(frame, screens));
}

Settings FrmSheaf::settingsFromControls() const
{
    Settings s;
    s.chkSelect = switchValue(chkSelect);
    s.chkOutput = switchValue(chkOutput);
    s.chkName = switchValue(chkName);
    s.chkTogether = switchValue(chkTogether);
    s.selectFolder = txtSelect->text();
    s.outputFolder = txtOutput->text();
    const ExtensionList extensions = m_extension->extentFromCombo();
    s.extensions = extensions.entries;
    s.extensionText = extensions.text;
    s.archiver = archiverChoice();
    s.top = toTwips(pos().y());
    s.left = toTwips(pos().x());
    return s;
}

void FrmSheaf::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_folders->closePicker();
    if (m_settingsSaved && !IniSave(m_settingsPath, settingsFromControls()))
        qWarning("sheaf: the settings could not be written to %s", qPrintable(m_settingsPath));
}

void FrmSheaf::cmdQuit_Click()
{
    close();
}

void FrmSheaf::closeEvent(QCloseEvent *event)
{
    // A command still running inside its handler finishes first (a compress
    // run is stopped as Esc stops it); the window closes right after it.
    if (m_state.busy) {
        m_closePending = true;
        stopRun();
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void FrmSheaf::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void FrmSheaf::Form_Resize()
{
    // Qt's geometry is the inner area: the fixed height and the minimum width
    // are the outer constants less the frame, and the grid keeps its 70-twip
    // margin on the right.
    if (!isMaximized() && !isMinimized() && !isFullScreen()) {
        if (minimumWidth() != minimumInnerWidth())
            setMinimumWidth(minimumInnerWidth());
        if (width() < minimumInnerWidth())
            resize(minimumInnerWidth(), height());
        if (height() != InnerHeight)
            resize(width(), InnerHeight);
    }
    const int gridWidth = width() - GridLeft - GridRightMargin;
    if (gridWidth >= 0)
        grdList->resize(gridWidth, GridHeight);
}

int FrmSheaf::minimumInnerWidth() const
{
    const int frame = isVisible() ? frameGeometry().width() - width() : AssumedFrameWidth;
    return MinimumOuterWidth - frame;
}

void FrmSheaf::commandEnded()
{
    if (m_closePending) {
        m_closePending = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

} // namespace sheaf::ui
