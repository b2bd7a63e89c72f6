#pragma once
// The compress command and the four option switches as the window runs
// them. The run goes on a worker thread: the window keeps painting and
// answering the desktop, takes no input but Esc (which stops the run), and
// hears the run's reports through queued calls, in order. Message boxes of
// the run are shown once its thread is done.

#include "archive/archive_run.h"
#include "archive/archiver_choice.h"
#include "base/ui/command_state.h"
#include "base/ui/message_box.h"
#include "selection/candidate_list.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace sheaf::ui {

class QueuedRunObserver;

struct ArchiveControls
{
    QWidget *window; // its title shows the share done; it takes no input during a run
    QCheckBox *chkSelect, *chkOutput, *chkName, *chkTogether;
    QRadioButton *optLzh, *optZip, *optCab;
    QLineEdit *txtOutput;
    QComboBox *cmbExtent;
    QLabel *lblCount, *lblMsg;
    QPushButton *cmdSelect, *cmdArchive;
    QList<QWidget *> working; // still working during a run: 終了 (it stops the run) and the grid
    QList<QWidget *> idle; // doing nothing during a run: greyed for its time
};

class ArchiveBinding : public QObject
{
    Q_OBJECT
public:
    ArchiveBinding(const ArchiveControls &controls, CandidateList &list, CommandState &state,
        QObject *parent = nullptr);

    void cmdArchive_Click();
    void chkSelect_Click();
    void chkOutput_Click();
    void chkName_Click();
    void chkTogether_Click();

    // The archiver that the option buttons choose, if any.
    ArchiverChoice archiverChoice() const;
    // True while the compress run's thread works.
    bool isRunning() const { return m_running; }
    // Stops the run at the next block of data, as Esc does.
    void stopRun();
    // The status line's tool tip back to its own, when the list is cleared.
    void clearReport();
    // The window's title while an archive is written: its share done
    // (percent < 0: the plain title).
    static QString titleWithProgress(int percent);

private:
    friend class QueuedRunObserver;
    void refused(const QString &text);
    void started(const QString &statusText);
    void counterChanged(const QString &counterText);
    void leftOut(const QString &path, const QString &reason);
    void failed(FailureKind kind, const QString &text, const QString &detail, const QString &file);
    void finished(const QString &statusText);
    void progressed(uint64_t done, uint64_t total);
    void showLeftOut();

    ArchiveControls m_c;
    CandidateList &m_list;
    CommandState &m_state;
    std::atomic<bool> m_cancel {false};
    bool m_running = false;
    QList<MessageBoxRecord> m_heldBoxes;
    QString m_failedFile; // the entry the run stopped at
    QStringList m_leftOut; // files the engine left out, with the reason
    QString m_statusTip; // the status line's own tool tip
};

} // namespace sheaf::ui
