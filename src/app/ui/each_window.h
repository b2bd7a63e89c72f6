#pragma once
// The small window of `sheaf --each`: one archive per item given, with a
// bar over the bytes to do, the item being archived and 中止 (Esc, closing
// the window) to stop; at the end what was made, left out or failed, each
// with its reason, a button that opens the folder of the archives, and 閉じる.
// The plan and the run go on a worker thread, so the window shows at once
// and stays alive whatever the number of items. It reads and writes no
// settings.

#include "archive/each_plan.h"
#include "archive/each_run.h"

#include <QStringList>
#include <QWidget>
#include <atomic>
#include <thread>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace sheaf::ui {

class EachWindow : public QWidget
{
    Q_OBJECT
public:
    enum class State { Planning, Running, Stopping, Clash, Done };

    EachWindow(const QStringList &items, const EachSettings &settings, int threads,
        QWidget *parent = nullptr);
    ~EachWindow() override;

    // Plans and runs on the worker thread; call once the window is shown.
    void start();
    State state() const { return m_state; }
    // The folder that フォルダを開く opens.
    QString archiveFolder() const;
    // Made, left out and failed once Done.
    const EachRunResult &result() const { return m_result; }

    QLabel *lblState, *lblItem;
    QProgressBar *barBytes;
    QPlainTextEdit *txtReport;
    QPushButton *cmdStop, *cmdStep, *cmdOpen, *cmdClose;

signals:
    void finished(); // Done: the run ended, made, stopped or refused as a whole

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void run(EachSettings settings);
    void stop();
    void showProgress();
    // From the worker, queued to this thread.
    void planned(const EachPlan &plan);
    void itemDone(const EachItem &item, const EachOutcome &outcome);
    void ended(const EachRunResult &result);

    QStringList m_items;
    EachSettings m_settings;
    int m_threads;
    State m_state = State::Planning;
    bool m_closeWhenStopped = false;
    std::atomic<bool> m_cancel {false};
    EachProgress m_progress;
    EachPlan m_clashPlan;
    int m_count = 0;
    QString m_firstArchive;
    EachRunResult m_result;
    QTimer *m_timer;
    std::thread m_worker;
};

// `sheaf --each ARGS...` (the arguments after --each): the window, run to
// its end; the exit status. With SHEAF_REPORT_FOLDERS=1 in the environment
// it prints its final texts on stdout and quits once done, for the tests
// that run the file managers' command lines.
int runEachWindow(const QStringList &args);

} // namespace sheaf::ui
