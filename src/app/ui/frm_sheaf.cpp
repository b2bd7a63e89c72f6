// frmSheaf: start-up, shutdown, the layout on resize and the label repaints.

#include "app/ui/frm_sheaf.h"
#include "app/settings_file.h"
#include "choice/ui/frm_folder.h"
#include "selection/candidate_model.h"
#include "selection/ui/grid_view.h"

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
#include <QTimer>

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
    return qRound(twipValue / 15.0);
}

} // namespace

FrmSheaf::FrmSheaf(const QString &settingsFile, QWidget *parent)
    : QWidget(parent)
    , m_settingsPath(settingsFile.isEmpty() ? settingsPath() : settingsFile)
{
    buildControls();
    connectHandlers();
    resize(InnerWidth, InnerHeight);
    setMinimumSize(minimumInnerWidth(), InnerHeight);
    setMaximumHeight(InnerHeight);
    Form_Load();
    new FolderDrop(this, txtSelect, txtOutput, [this] { return m_busy; });
    txtSelect->setFocus(Qt::OtherFocusReason);
}

FrmSheaf::~FrmSheaf()
{
    delete m_folder;
}

void FrmSheaf::connectHandlers()
{
    connect(cmdSelect, &QPushButton::clicked, this, &FrmSheaf::cmdSelect_Click);
    connect(cmdArchive, &QPushButton::clicked, this, &FrmSheaf::cmdArchive_Click);
    connect(cmdClear, &QPushButton::clicked, this, &FrmSheaf::cmdClear_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &FrmSheaf::cmdQuit_Click);
    connect(cmdSelinp, &QPushButton::clicked, this, &FrmSheaf::cmdSelinp_Click);
    connect(cmdOutinp, &QPushButton::clicked, this, &FrmSheaf::cmdOutinp_Click);
    connect(grdList, &GridView::rowsDoubleClicked, this, &FrmSheaf::grdList_DblClick);
    connect(chkSelect, &QCheckBox::stateChanged, this, &FrmSheaf::chkSelect_Click);
    connect(chkOutput, &QCheckBox::stateChanged, this, &FrmSheaf::chkOutput_Click);
    connect(chkName, &QCheckBox::stateChanged, this, &FrmSheaf::chkName_Click);
    connect(chkTogether, &QCheckBox::stateChanged, this, &FrmSheaf::chkTogether_Click);
    connect(cmbExtent, &QComboBox::editTextChanged, this, &FrmSheaf::cmbExtent_Change);
    connect(cmbExtent, &QComboBox::activated, this, &FrmSheaf::cmbExtent_Click);
    connect(timRefresh, &QTimer::timeout, this, &FrmSheaf::timRefresh_Timer);
    // Left to itself the combo box takes a typed text that names an entry as
    // a choice from the list when editing ends; here only the user's choice
    // counts as one, and leaving the field commits the text instead.
    QObject::disconnect(cmbExtent->lineEdit(), SIGNAL(editingFinished()), cmbExtent, nullptr);
    cmbExtent->installEventFilter(this);
    cmbExtent->lineEdit()->installEventFilter(this);
}

bool FrmSheaf::eventFilter(QObject *watched, QEvent *event)
{
    // Keys reach the combo box, which hands them on to its line edit
    // directly; a key sent to the line edit itself counts the same.
    if ((watched == cmbExtent || watched == cmbExtent->lineEdit())
        && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        cmbExtent_KeyDown(key->key(), key->modifiers());
    } else if (watched == cmbExtent && event->type() == QEvent::FocusOut) {
        // Opening the drop-down moves the focus into it; that is no leaving.
        if (static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
            cmbExtent_LostFocus();
    }
    return QWidget::eventFilter(watched, event);
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
    extentToCombo(extensions); // a changed text runs the clear command

    switch (settings.archiver) {
    case Archiver::Zip:
        optZip->setChecked(true);
        break;
    case Archiver::Cab:
        optCab->setChecked(true);
        break;
    case Archiver::Lzh:
        optLzh->setChecked(true);
        break;
    case Archiver::None:
        break;
    }

    QCheckBox *const inFileOrder[] {chkSelect, chkOutput, chkName, chkTogether};
    if (fileApplied) {
        setSwitchValue(chkSelect, settings.chkSelect);
        setSwitchValue(chkOutput, settings.chkOutput);
        setSwitchValue(chkName, settings.chkName);
        setSwitchValue(chkTogether, settings.chkTogether);
        chkName_Click();
        chkTogether_Click();
        chkSelect_Click();
        chkOutput_Click();
        move(toPixels(settings.left), toPixels(settings.top));
    } else {
        // Each switch on and then off, so that every handler writes its caption.
        for (QCheckBox *box : inFileOrder)
            box->setCheckState(Qt::Checked);
        for (QCheckBox *box : inFileOrder)
            box->setCheckState(Qt::Unchecked);
    }
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
    const ExtensionList extensions = extentFromCombo();
    s.extensions = extensions.entries;
    s.extensionText = extensions.text;
    s.archiver = archiverChoice();
    s.top = toTwips(pos().y());
    s.left = toTwips(pos().x());
    return s;
}

Archiver FrmSheaf::archiverChoice() const
{
    if (optLzh->isChecked())
        return Archiver::Lzh;
    if (optZip->isChecked())
        return Archiver::Zip;
    if (optCab->isChecked())
        return Archiver::Cab;
    return Archiver::None;
}

void FrmSheaf::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (m_folder) {
        m_folder->close();
        delete m_folder;
        m_folder = nullptr;
    }
    if (!IniSave(m_settingsPath, settingsFromControls()))
        qWarning("sheaf: the settings could not be written to %s", qPrintable(m_settingsPath));
}

void FrmSheaf::cmdQuit_Click()
{
    close();
}

void FrmSheaf::closeEvent(QCloseEvent *event)
{
    // A command still running inside its handler finishes first; the window
    // closes right after it.
    if (m_busy) {
        m_closePending = true;
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

void FrmSheaf::setLabel(QLabel *label, const QString &text, bool now)
{
    label->setText(text);
    if (!now && m_paintClock.isValid() && m_paintClock.elapsed() < 33)
        return;
    label->repaint();
    // Keep painting and answering the desktop while the command runs; user
    // input waits until the handler returns.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_paintClock.restart();
}

void FrmSheaf::endCommand()
{
    m_busy = false;
    if (m_closePending) {
        m_closePending = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

} // namespace sheaf::ui
