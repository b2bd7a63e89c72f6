#include "archive/ui/archive_binding.h"

#include "archive/option_switches.h"
#include "archive/run_texts.h"
#include "base/ui/command_input_block.h"
#include "selection/name_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <chrono>
#include <mutex>
#include <thread>

namespace sheaf::ui {

// The run's reports, called on the worker thread, carried out on the
// window's thread in the order they were made.
class QueuedRunObserver : public ArchiveRunObserver
{
public:
    QueuedRunObserver(ArchiveBinding *binding, const CandidateList &list)
        : m_binding(binding)
        , m_list(list)
    {
    }
    void refused(const QString &text) override
    {
        post([=](ArchiveBinding *w) { w->refused(text); });
    }
    void started(const QString &statusText) override
    {
        post([=](ArchiveBinding *w) { w->started(statusText); });
    }
    void counterChanged(const QString &counterText, int k, int n) override
    {
        m_entry = k;
        post([=](ArchiveBinding *w) { w->counterChanged(counterText); });
    }
    void leftOut(const QString &path, const QString &reason) override
    {
        post([=](ArchiveBinding *w) { w->leftOut(path, reason); });
    }
    void failed(FailureKind kind, const QString &text, const QString &detail) override
    {
        // The entry whose counter came last; read here, on the thread that
        // changes the list. A failed entry keeps its old name.
        const QString file = m_list.FileDir.value(m_entry) + m_list.FileName.value(m_entry);
        post([=](ArchiveBinding *w) { w->failed(kind, text, detail, file); });
    }
    void finished(const QString &statusText) override
    {
        post([=](ArchiveBinding *w) { w->finished(statusText); });
    }
    // At most about ten a second, and the end of each archive. May be called
    // from the engine's threads.
    void progress(uint64_t done, uint64_t total)
    {
        {
            const std::lock_guard lock(m_progressLock);
            const auto now = std::chrono::steady_clock::now();
            if (done < total && now - m_lastProgress < std::chrono::milliseconds(100))
                return;
            m_lastProgress = now;
        }
        post([=](ArchiveBinding *w) { w->progressed(done, total); });
    }

private:
    template<typename F>
    void post(F call)
    {
        ArchiveBinding *w = m_binding;
        QMetaObject::invokeMethod(
            w, [w, call] { call(w); }, Qt::QueuedConnection);
    }

    ArchiveBinding *m_binding;
    const CandidateList &m_list;
    int m_entry = 0;
    std::mutex m_progressLock;
    std::chrono::steady_clock::time_point m_lastProgress {};
};

namespace {

// What the status line adds while a run goes.
const QString kEscapeHint = QStringLiteral("（Esc で中止できます）");

void writeCaption(QCheckBox *box, OptionSwitch which)
{
    const int value = box->checkState() == Qt::Checked ? 1
        : box->checkState() == Qt::PartiallyChecked    ? 2
                                                       : 0;
    // Once the user leaves the greyed state, the box goes back to two states.
    if (value != 2)
        box->setTristate(false);
    box->setText(switchCaption(which, value));
}
} // namespace

ArchiveBinding::ArchiveBinding(
    const ArchiveControls &controls, CandidateList &list, CommandState &state, QObject *parent)
    : QObject(parent)
    , m_c(controls)
    , m_list(list)
    , m_state(state)
{
    connect(m_c.cmdArchive, &QPushButton::clicked, this, &ArchiveBinding::cmdArchive_Click);
    connect(m_c.chkSelect, &QCheckBox::stateChanged, this, &ArchiveBinding::chkSelect_Click);
    connect(m_c.chkOutput, &QCheckBox::stateChanged, this, &ArchiveBinding::chkOutput_Click);
    connect(m_c.chkName, &QCheckBox::stateChanged, this, &ArchiveBinding::chkName_Click);
    connect(m_c.chkTogether, &QCheckBox::stateChanged, this, &ArchiveBinding::chkTogether_Click);
}

ArchiverChoice ArchiveBinding::archiverChoice() const
{
    if (m_c.optLzh->isChecked())
        return ArchiverKind::Lzh;
    if (m_c.optZip->isChecked())
        return ArchiverKind::Zip;
    if (m_c.optCab->isChecked())
        return ArchiverKind::Cab;
    return std::nullopt;
}

void ArchiveBinding::chkSelect_Click()
{
    writeCaption(m_c.chkSelect, OptionSwitch::Select);
}

void ArchiveBinding::chkOutput_Click()
{
    writeCaption(m_c.chkOutput, OptionSwitch::Output);
}

void ArchiveBinding::chkName_Click()
{
    writeCaption(m_c.chkName, OptionSwitch::Name);
}

void ArchiveBinding::chkTogether_Click()
{
    writeCaption(m_c.chkTogether, OptionSwitch::Together);
}

void ArchiveBinding::cmdArchive_Click()
{
    if (m_state.busy || m_list.FileCount == 0)
        return;
    ArchiveRunSettings settings;
    settings.archiver = effectiveArchiver(archiverChoice());
    settings.name = m_c.chkName->checkState() == Qt::Checked;
    settings.together = m_c.chkTogether->checkState() == Qt::Checked;
    settings.output = m_c.chkOutput->checkState() == Qt::Checked;
    settings.outputFolder = m_c.txtOutput->text();
    settings.extension = m_c.cmbExtent->currentText();
    settings.cancel = &m_cancel;
    QueuedRunObserver observer(this, m_list);
    settings.progress = [&observer](uint64_t done, uint64_t total) {
        observer.progress(done, total);
    };
    m_state.busy = true;
    m_running = true;
    m_cancel = false;
    m_heldBoxes.clear();
    m_failedFile.clear();
    m_leftOut.clear();
    clearReport();

    ArchiveRunOutcome outcome = ArchiveRunOutcome::Empty;
    {
        const CommandInputBlock block(
            m_c.window, m_c.working, [this] { stopRun(); }, m_c.idle);
        QEventLoop loop;
        std::thread worker([&] {
            outcome = runArchive(m_list, settings, observer);
            // Queued after every report, so the loop ends once all are shown.
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
    }
    m_running = false;
    m_c.window->setWindowTitle(titleWithProgress(-1));
    if (outcome == ArchiveRunOutcome::Cancelled)
        m_c.lblMsg->setText(QStringLiteral("圧縮を中止しました"));
    if (outcome == ArchiveRunOutcome::Stopped) {
        // Which file stopped the run, on the second line; a name too long
        // for it loses its middle.
        const QString name
            = shownName(QStringView(m_failedFile).mid(m_failedFile.lastIndexOf(u'/') + 1));
        m_c.lblMsg->setText(QStringLiteral("圧縮できなかったため中断しました\n")
            + m_c.lblMsg->fontMetrics().elidedText(
                name, Qt::ElideMiddle, m_c.lblMsg->contentsRect().width()));
    }
    showLeftOut();
    for (const MessageBoxRecord &box : std::exchange(m_heldBoxes, {}))
        showMessage(m_c.window, box);
    m_state.end();
}

void ArchiveBinding::clearReport()
{
    if (m_statusTip.isNull())
        m_statusTip = m_c.lblMsg->toolTip();
    m_c.lblMsg->setToolTip(m_statusTip);
}

void ArchiveBinding::showLeftOut()
{
    // "圧縮しました（除外 N 件）": which files, in the status line's tool tip.
    if (m_leftOut.isEmpty())
        return;
    constexpr int Listed = 30; // a tip that still fits on the screen
    QString tip = QStringLiteral("除外したファイル:");
    for (const QString &line : m_leftOut.mid(0, Listed))
        tip += u'\n' + line;
    if (m_leftOut.size() > Listed)
        tip += QStringLiteral("\n…ほか %1 件").arg(m_leftOut.size() - Listed);
    m_c.lblMsg->setToolTip(tip);
}

void ArchiveBinding::stopRun()
{
    if (m_running)
        m_cancel = true;
}

QString ArchiveBinding::titleWithProgress(int percent)
{
    const QString title = QStringLiteral("Sheaf（簡易版）");
    return percent < 0 ? title : title + QStringLiteral(" - %1%").arg(percent);
}

void ArchiveBinding::progressed(uint64_t done, uint64_t total)
{
    // The share of the current archive's bytes; the run's own texts stay.
    const int percent = total == 0 ? 100 : int(std::min<uint64_t>(done, total) * 100 / total);
    m_c.window->setWindowTitle(titleWithProgress(percent));
}

void ArchiveBinding::refused(const QString &text)
{
    m_heldBoxes << MessageBoxRecord {
        QStringLiteral("kwSheaf"), text, QString(), QMessageBox::NoIcon};
}

void ArchiveBinding::started(const QString &statusText)
{
    m_c.cmdSelect->setEnabled(false);
    m_c.cmdArchive->setEnabled(false);
    m_c.lblMsg->setText(statusText + kEscapeHint);
}

void ArchiveBinding::counterChanged(const QString &counterText)
{
    // The event loop paints it; reports that queue up between two paints
    // cost a text each.
    m_c.lblCount->setText(counterText);
    m_c.window->setWindowTitle(titleWithProgress(-1));
}

void ArchiveBinding::leftOut(const QString &path, const QString &reason)
{
    m_leftOut << shownName(path) + QStringLiteral("（") + reason + QStringLiteral("）");
}

void ArchiveBinding::failed(
    FailureKind kind, const QString &text, const QString &detail, const QString &file)
{
    // The archiver's failure carries the exclamation icon and names the
    // file under its own line; the tool's own refusals have no icon and
    // name their files already.
    const bool archiverFailure = kind == FailureKind::ArchiverFailed;
    m_failedFile = file;
    m_heldBoxes << MessageBoxRecord {run_texts::failureTitle(kind),
        archiverFailure ? text + u'\r' + shownName(file) : text, detail,
        archiverFailure ? QMessageBox::Warning : QMessageBox::NoIcon};
}

void ArchiveBinding::finished(const QString &statusText)
{
    m_c.lblMsg->setText(statusText);
}

} // namespace sheaf::ui
