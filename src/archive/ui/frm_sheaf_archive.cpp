// frmSheaf's compress command and the four option switches. The run itself
// goes on a worker thread; the window keeps painting and answering the
// desktop, takes no input but Esc (which stops the run) and hears the run's
// reports through queued calls.

#include "app/ui/frm_sheaf.h"
#include "app/ui/message_box.h"
#include "archive/option_switches.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <thread>

namespace sheaf::ui {

// The run's reports, called on the worker thread, carried out on the
// window's thread in the order they were made.
class QueuedRunObserver : public ArchiveRunObserver
{
public:
    explicit QueuedRunObserver(FrmSheaf *window)
        : m_window(window)
    {
    }
    void refused(const QString &text) override
    {
        post([=](FrmSheaf *w) { w->refused(text); });
    }
    void started(const QString &statusText) override
    {
        post([=](FrmSheaf *w) { w->started(statusText); });
    }
    void counterChanged(const QString &counterText, int k, int n) override
    {
        post([=](FrmSheaf *w) { w->counterChanged(counterText, k, n); });
    }
    void failed(const QString &title, const QString &text, const QString &detail) override
    {
        post([=](FrmSheaf *w) { w->failed(title, text, detail); });
    }
    void finished(const QString &statusText) override
    {
        post([=](FrmSheaf *w) { w->finished(statusText); });
    }
    // At most about ten a second, and the end of each archive.
    void progress(uint64_t done, uint64_t total)
    {
        const auto now = std::chrono::steady_clock::now();
        if (done < total && now - m_lastProgress < std::chrono::milliseconds(100))
            return;
        m_lastProgress = now;
        post([=](FrmSheaf *w) { w->progressed(done, total); });
    }

private:
    template<typename F>
    void post(F call)
    {
        FrmSheaf *w = m_window;
        QMetaObject::invokeMethod(w, [w, call] { call(w); }, Qt::QueuedConnection);
    }

    FrmSheaf *m_window;
    std::chrono::steady_clock::time_point m_lastProgress {};
};

namespace {

// While a run goes on, the window takes no keys or clicks; Esc stops the run.
class RunInputBlock : public QObject
{
public:
    explicit RunInputBlock(FrmSheaf *window)
        : m_window(window)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~RunInputBlock() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!widget || widget->window() != m_window)
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
                m_window->stopRun();
            return true;
        case QEvent::ShortcutOverride:
            // Taken here, so that no mnemonic or shortcut fires.
            event->accept();
            return true;
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
        }
    }

private:
    FrmSheaf *m_window;
};


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

void FrmSheaf::chkSelect_Click()
{
    writeCaption(chkSelect, OptionSwitch::Select);
}

void FrmSheaf::chkOutput_Click()
{
    writeCaption(chkOutput, OptionSwitch::Output);
}

void FrmSheaf::chkName_Click()
{
    writeCaption(chkName, OptionSwitch::Name);
}

void FrmSheaf::chkTogether_Click()
{
    writeCaption(chkTogether, OptionSwitch::Together);
}

void FrmSheaf::cmdArchive_Click()
{
    if (m_busy || m_list.FileCount == 0)
        return;
    ArchiveRunSettings settings;
    settings.archiver = archiverChoice();
    settings.name = chkName->checkState() == Qt::Checked;
    settings.together = chkTogether->checkState() == Qt::Checked;
    settings.output = chkOutput->checkState() == Qt::Checked;
    settings.outputFolder = txtOutput->text();
    settings.extension = cmbExtent->currentText();
    settings.cancel = &m_cancel;
    QueuedRunObserver observer(this);
    settings.progress = [&observer](uint64_t done, uint64_t total) {
        observer.progress(done, total);
    };
    m_busy = true;
    m_running = true;
    m_cancel = false;
    m_heldBoxes.clear();

    ArchiveRunOutcome outcome = ArchiveRunOutcome::Empty;
    {
        const RunInputBlock block(this);
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
    setWindowTitle(titleWithProgress(-1));
    if (outcome == ArchiveRunOutcome::Cancelled)
        lblMsg->setText(QStringLiteral("圧縮を中止しました"));
    for (const MessageBoxRecord &box : std::exchange(m_heldBoxes, {}))
        showMessage(this, box);
    endCommand();
}

void FrmSheaf::stopRun()
{
    if (m_running)
        m_cancel = true;
}

QString FrmSheaf::titleWithProgress(int percent)
{
    const QString title = QStringLiteral("Sheaf（簡易版）");
    return percent < 0 ? title : title + QStringLiteral(" - %1%").arg(percent);
}

void FrmSheaf::progressed(uint64_t done, uint64_t total)
{
    // The share of the current archive's bytes; the run's own texts stay.
    const int percent = total == 0 ? 100 : int(std::min<uint64_t>(done, total) * 100 / total);
    setWindowTitle(titleWithProgress(percent));
}

void FrmSheaf::refused(const QString &text)
{
    m_heldBoxes << MessageBoxRecord {QStringLiteral("kwSheaf"), text, QString(), QMessageBox::NoIcon};
}

void FrmSheaf::started(const QString &statusText)
{
    cmdSelect->setEnabled(false);
    cmdArchive->setEnabled(false);
    lblMsg->setText(statusText);
}

void FrmSheaf::counterChanged(const QString &counterText, int, int)
{
    // The event loop paints it; reports that queue up between two paints
    // cost a text each.
    lblCount->setText(counterText);
    setWindowTitle(titleWithProgress(-1));
}

void FrmSheaf::failed(const QString &title, const QString &text, const QString &detail)
{
    // The archiver's failure carries the application title and the
    // exclamation icon; the tool's own refusals ("kwSheaf") have no icon.
    const bool archiverFailure = title == QLatin1String("kwSheaf120");
    m_heldBoxes << MessageBoxRecord {
        title, text, detail, archiverFailure ? QMessageBox::Warning : QMessageBox::NoIcon};
}

void FrmSheaf::finished(const QString &statusText)
{
    lblMsg->setText(statusText);
}

} // namespace sheaf::ui
