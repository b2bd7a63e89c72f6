#include "app/ui/each_window.h"

#include "archive/each_arguments.h"
#include "archive/each_texts.h"
#include "base/ui/control_font.h"
#include "base/ui/message_box.h"
#include "selection/name_text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <memory>

namespace sheaf::ui {

namespace {

constexpr int BarSteps = 1000;

// A button wide enough for its caption with a character's room either side
// (the style's own margin leaves a Japanese caption touching the frame).
void fitCaption(QPushButton *button)
{
    const QFontMetrics metrics = button->fontMetrics();
    button->setMinimumWidth(
        std::max(80, metrics.horizontalAdvance(button->text()) + 2 * metrics.height()));
}

// The run's reports, made on the worker, carried out on the window's thread.
class QueuedEachObserver : public EachRunObserver
{
public:
    explicit QueuedEachObserver(std::function<void(const EachItem &, const EachOutcome &)> done)
        : m_done(std::move(done))
    {
    }
    void itemDone(int, const EachItem &item, const EachOutcome &outcome) override
    {
        m_done(item, outcome);
    }

private:
    std::function<void(const EachItem &, const EachOutcome &)> m_done;
};

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

EachWindow::EachWindow(
    const QStringList &items, const EachSettings &settings, int threads, QWidget *parent)
    : QWidget(parent)
    , m_items(items)
    , m_settings(settings)
    , m_threads(threads)
    , m_timer(new QTimer(this))
{
    setWindowTitle(each_texts::windowTitle(settings.archiver));
    setFont(controlFont(9.75));
    lblState = new QLabel(this);
    lblItem = new QLabel(this);
    lblItem->setTextFormat(Qt::PlainText);
    barBytes = new QProgressBar(this);
    barBytes->setRange(0, BarSteps);
    barBytes->setValue(0);
    txtReport = new QPlainTextEdit(this);
    txtReport->setReadOnly(true);
    txtReport->setMinimumHeight(txtReport->fontMetrics().lineSpacing() * 7);
    txtReport->hide();
    cmdStop = new QPushButton(QStringLiteral("中止"), this);
    cmdStep = new QPushButton(this);
    cmdOpen = new QPushButton(QStringLiteral("フォルダを開く"), this);
    cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdStep->hide();
    cmdOpen->hide();
    cmdClose->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {cmdStep, cmdOpen, cmdStop, cmdClose}) {
        fitCaption(b);
        buttons->addWidget(b);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblState);
    layout->addWidget(lblItem);
    layout->addWidget(barBytes);
    layout->addWidget(txtReport, 1);
    layout->addStretch(0); // the room the report leaves when hidden
    layout->addLayout(buttons);
    setMinimumWidth(520);

    connect(cmdStop, &QPushButton::clicked, this, &EachWindow::stop);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(cmdOpen, &QPushButton::clicked, this,
        [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(archiveFolder())); });
    connect(cmdStep, &QPushButton::clicked, this, [this] { run(m_clashPlan.clashFree); });
    connect(m_timer, &QTimer::timeout, this, &EachWindow::showProgress);
}

EachWindow::~EachWindow()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void EachWindow::start()
{
    run(m_settings);
}

void EachWindow::run(EachSettings settings)
{
    if (m_worker.joinable())
        m_worker.join();
    m_settings = settings;
    m_state = State::Planning;
    m_cancel = false;
    m_count = 0;
    m_result = {};
    m_firstArchive.clear();
    lblState->setText(each_texts::preparing());
    lblItem->clear();
    lblItem->show();
    barBytes->setValue(0);
    barBytes->show();
    txtReport->clear();
    txtReport->hide();
    cmdStep->hide();
    cmdOpen->hide();
    cmdClose->hide();
    cmdStop->show();
    cmdStop->setEnabled(true);
    cmdStop->setFocus();
    // After a clash the list of clashing items goes: the window gives its
    // room back instead of leaving an empty band above the buttons.
    if (isVisible()) {
        layout()->activate();
        resize(width(), sizeHint().height());
    }
    m_timer->start(100);

    m_worker = std::thread([this, settings] {
        auto plan = std::make_shared<EachPlan>(planEach(m_items, settings, &m_cancel));
        QMetaObject::invokeMethod(
            this, [this, plan] { planned(*plan); }, Qt::QueuedConnection);
        EachRunResult result;
        if (plan->clashes.isEmpty() && !m_cancel.load()) {
            QueuedEachObserver observer([this](const EachItem &item, const EachOutcome &out) {
                QMetaObject::invokeMethod(
                    this, [this, item, out] { itemDone(item, out); }, Qt::QueuedConnection);
            });
            EachRunOptions options;
            options.threads = m_threads;
            options.cancel = &m_cancel;
            options.progress = &m_progress;
            result = runEach(*plan, options, observer);
        } else {
            result.stopped = m_cancel.load();
        }
        QMetaObject::invokeMethod(
            this, [this, result] { ended(result); }, Qt::QueuedConnection);
    });
}

void EachWindow::stop()
{
    if (m_state != State::Planning && m_state != State::Running)
        return;
    m_cancel = true;
    m_state = State::Stopping;
    cmdStop->setEnabled(false);
    lblState->setText(each_texts::stopping());
}

QString EachWindow::archiveFolder() const
{
    if (!m_settings.outputFolder.isEmpty())
        return m_settings.outputFolder;
    if (!m_firstArchive.isEmpty())
        return folderOf(m_firstArchive);
    return m_items.isEmpty() ? QString() : folderOf(absoluteNameText(m_items.first()));
}

void EachWindow::showProgress()
{
    if (m_state != State::Running)
        return;
    const EachProgress::Snapshot s = m_progress.snapshot();
    const int count = std::max(1, m_count);
    barBytes->setValue(s.total > 0 ? int(s.done * BarSteps / s.total)
                                   : int(qint64(s.finished) * BarSteps / count));
    lblState->setText(each_texts::running(s.finished, m_count));
    const QString shown = shownName(s.current);
    lblItem->setText(
        lblItem->fontMetrics().elidedText(shown, Qt::ElideMiddle, lblItem->contentsRect().width()));
    lblItem->setToolTip(shown);
}

void EachWindow::planned(const EachPlan &plan)
{
    if (plan.clashes.isEmpty()) {
        m_count = int(plan.items.size()) - 1;
        if (m_state == State::Planning)
            m_state = State::Running;
        return;
    }
    m_clashPlan = plan;
    m_state = State::Clash;
    // Nothing runs: no bar, no item.
    barBytes->hide();
    lblItem->hide();
    lblState->setText(each_texts::clashLines(plan, false).first());
    txtReport->setPlainText(each_texts::clashLines(plan, false).mid(1).join(u'\n'));
    txtReport->show();
    cmdStep->setText(each_texts::clashButton(plan));
    fitCaption(cmdStep);
    cmdStep->show();
}

void EachWindow::itemDone(const EachItem &item, const EachOutcome &out)
{
    QStringList lines;
    for (const auto &file : out.leftOut)
        lines << QStringLiteral("除外しました: ") + file.reason + QStringLiteral(": ") + file.path;
    if (out.state == EachOutcome::State::Made && m_firstArchive.isEmpty())
        m_firstArchive = item.archivePath;
    if (out.state == EachOutcome::State::LeftOut)
        lines << each_texts::leftOutLine(item.path, out.reason);
    if (out.state == EachOutcome::State::Failed)
        lines << each_texts::failedLine(item.path, out.reason);
    if (!lines.isEmpty()) {
        txtReport->appendPlainText(lines.join(u'\n'));
        txtReport->show();
    }
}

void EachWindow::ended(const EachRunResult &result)
{
    m_timer->stop();
    if (m_worker.joinable())
        m_worker.join();
    const bool clash = m_state == State::Clash;
    m_result = result;
    m_state = clash ? State::Clash : State::Done;
    cmdStop->hide();
    cmdClose->show();
    cmdClose->setFocus();
    if (!clash) {
        lblItem->hide();
        if (!result.stopped)
            barBytes->setValue(BarSteps);
        lblState->setText(result.stopped
                ? each_texts::stopped(result.made)
                : each_texts::summary(result.made, result.leftOut, result.failed));
        cmdOpen->setVisible(result.made > 0);
        if (!result.notOnDisk.isEmpty()) {
            txtReport->appendPlainText(result.notOnDisk.join(u'\n'));
            txtReport->show();
        }
        txtReport->moveCursor(QTextCursor::Start);
    }
    if (m_closeWhenStopped)
        close();
    emit finished();
}

void EachWindow::closeEvent(QCloseEvent *event)
{
    // The archives under way end without a trace before the window goes.
    if (m_worker.joinable() && m_state != State::Done && m_state != State::Clash) {
        m_closeWhenStopped = true;
        stop();
        event->ignore();
        return;
    }
    event->accept();
}

void EachWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape)
        return QWidget::keyPressEvent(event);
    if (m_state == State::Planning || m_state == State::Running)
        stop();
    else if (m_state != State::Stopping)
        close();
}

namespace {

void put(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

} // namespace

int runEachWindow(const QStringList &args)
{
    const EachArguments o = parseEachArguments(args, false);
    const bool report = qEnvironmentVariableIntValue("SHEAF_REPORT_FOLDERS") == 1;
    if (!o.error.isEmpty()) {
        put(stderr, QStringLiteral("sheaf: ") + o.error + QStringLiteral(" (sheaf --help)\n"));
        // Started from a file manager, nobody reads stderr.
        if (!report)
            showMessage(nullptr,
                {each_texts::windowTitle(o.settings.archiver), o.error, QString(),
                    QMessageBox::NoIcon});
        return 2;
    }
    EachWindow window(o.items, o.settings, o.threads);
    window.show();
    // Shown first: the items are looked at on the worker.
    QTimer::singleShot(0, &window, &EachWindow::start);
    if (report) {
        QObject::connect(&window, &EachWindow::finished, &window, [&window] {
            put(stdout,
                window.lblState->text() + u'\n'
                    + (window.txtReport->isVisible() ? window.txtReport->toPlainText() + u'\n'
                                                     : QString()));
            QApplication::exit(window.state() == EachWindow::State::Clash   ? 2
                    : window.result().failed > 0 || window.result().stopped ? 1
                                                                            : 0);
        });
        return QApplication::exec();
    }
    QApplication::exec();
    return window.result().failed > 0 || window.result().stopped ? 1 : 0;
}

} // namespace sheaf::ui
