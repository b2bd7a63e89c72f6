// The batch scheduler with scripted actions, no disk: which entry starts
// when, what the caller hears in which order, when an archive may take its
// name, and what a failure or a stop does to the entries after it. Actions
// wait for each other's events (latches on a condition variable), never for
// time, so every row has one outcome.

#include "archive/run_scheduler.h"

#include <QTest>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace sheaf;

namespace {

// What happened, in the order it happened: "s3" entry 3's action started,
// "e3" it returned, "c3" it asked to commit, "C3"/"X3" it was let/not let,
// "w3" the caller heard of entry 3.
class Events
{
public:
    void add(const QString &event)
    {
        const std::lock_guard lock(m_mutex);
        m_events << event;
        m_changed.notify_all();
    }
    // False when it never came (a scheduler that deadlocks fails the row).
    bool waitFor(const QString &event)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(
            lock, std::chrono::seconds(60), [&] { return m_events.contains(event); });
    }
    QStringList all()
    {
        const std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_events;
};

QChar letter(EntryState state)
{
    switch (state) {
    case EntryState::Made:
        return u'M';
    case EntryState::Failed:
        return u'F';
    case EntryState::Cancelled:
        return u'C';
    case EntryState::Pending:
        break;
    }
    return u'-';
}

} // namespace

class TestRunScheduler : public QObject
{
    Q_OBJECT
private slots:
    void orderings_data();
    void orderings();
};

void TestRunScheduler::orderings_data()
{
    // script: one word per entry: ok, fail, hold (until its cancel flag
    // turns true), add / new (asks to commit an add / a new archive), stop
    // (turns the caller's cancel flag true, then ok), skip (not run); "@E"
    // first waits for event E; "/n" sets waitFor to n.
    // states: each entry's state at the end (M, F, C, - pending).
    // order: "a<b" event a came before b; "!a" a never came.
    // threads: the threads each entry was given ("." unchecked).
    QTest::addColumn<int>("threads");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("states");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QString>("given");

    QTest::newRow("one thread: on the caller's thread, one after another")
        << 1 << "ok ok skip ok"
        << "MM-M" << QStringList {"e1<s2", "w1<s2", "e2<s4", "!s3"} << "1 1 . 1";
    QTest::newRow("a later entry ends first; the caller still hears them in list order")
        << 2 << "ok@e2 ok"
        << "MM" << QStringList {"e2<e1", "e1<w1", "w1<w2"} << ". .";
    QTest::newRow("an entry starts only once those it depends on are done")
        << 2 << "ok@e2 ok ok/1"
        << "MMM" << QStringList {"e2<e1", "e1<s3"} << ". . .";
    QTest::newRow("a failure cancels the entry under way; later ones never start")
        << 3 << "ok@e3 fail@s3 hold ok ok"
        << "MFC--" << QStringList {"s3<e2", "e2<e3", "!s4", "!s5", "!w3"} << ". . . . .";
    QTest::newRow("an entry made ahead of a failure stays made, for the run to undo")
        << 3 << "ok@e2 fail@e3 ok"
        << "MFM" << QStringList {"e3<e2", "!w3"} << ". . .";
    QTest::newRow("an add takes its name only once every entry before it is made")
        << 2 << "ok@c2 add"
        << "MM" << QStringList {"c2<e1", "e1<C2"} << ". .";
    QTest::newRow("a new archive takes its name at once") << 2 << "ok@C2 new"
                                                          << "MM" << QStringList {"C2<e1"} << ". .";
    QTest::newRow("an add behind a failure never takes its name")
        << 2 << "fail@c2 add"
        << "FC" << QStringList {"c2<e1", "e1<X2", "!C2"} << ". .";
    QTest::newRow("the caller stops: the entry under way is cancelled")
        << 2 << "hold stop"
        << "CM" << QStringList {"e2<e1", "!w1"} << ". .";
    QTest::newRow("one thread: the caller's stop keeps the next entry from starting")
        << 1 << "stop ok"
        << "MC" << QStringList {"w1<w2", "!s2"} << "1 .";
    QTest::newRow("spare threads go to the last entries") << 4 << "ok@s2 ok"
                                                          << "MM" << QStringList {} << "2 2";
    QTest::newRow("one entry gets every thread") << 4 << "ok"
                                                 << "M" << QStringList {} << "4";
    QTest::newRow("no spare thread while entries are left")
        << 2 << "ok@s2 ok@s3 ok ok"
        << "MMMM" << QStringList {} << "1 1 . .";
}

void TestRunScheduler::orderings()
{
    QFETCH(int, threads);
    QFETCH(QString, script);
    QFETCH(QString, states);
    QFETCH(QStringList, order);
    QFETCH(QString, given);

    const QStringList words = script.split(u' ');
    const int n = int(words.size());
    std::vector<RunScheduler::Entry> entries(size_t(n) + 1);
    for (int k = 1; k <= n; ++k)
        entries[size_t(k)]
            = {words[k - 1] != QLatin1String("skip"), words[k - 1].section(u'/', 1).toInt()};
    Events events;
    std::atomic<bool> callerCancel {false};
    std::vector<int> threadsGiven(size_t(n) + 1, 0);
    std::vector<std::thread::id> ranOn(size_t(n) + 1);
    const auto action = [&](const EntryTurn &turn) {
        const int k = turn.entry;
        const QString word = words[k - 1].section(u'/', 0, 0);
        const QString what = word.section(u'@', 0, 0), after = word.section(u'@', 1);
        threadsGiven[size_t(k)] = turn.threads;
        ranOn[size_t(k)] = std::this_thread::get_id();
        events.add(QStringLiteral("s%1").arg(k));
        if (!after.isEmpty() && !events.waitFor(after))
            events.add(QStringLiteral("timeout%1").arg(k));
        EntryState state = what == QLatin1String("fail") ? EntryState::Failed : EntryState::Made;
        if (what == QLatin1String("hold")) {
            turn.cancel->wait(false);
            state = EntryState::Cancelled;
        } else if (what == QLatin1String("add") || what == QLatin1String("new")) {
            events.add(QStringLiteral("c%1").arg(k));
            const bool let = turn.mayCommit(what == QLatin1String("add"));
            events.add((let ? QStringLiteral("C%1") : QStringLiteral("X%1")).arg(k));
            state = let ? EntryState::Made : EntryState::Cancelled;
        } else if (what == QLatin1String("stop")) {
            callerCancel.store(true);
            callerCancel.notify_all();
        }
        events.add(QStringLiteral("e%1").arg(k));
        return state;
    };

    {
        RunScheduler scheduler(std::move(entries), threads, &callerCancel, action);
        // As the run's loop: in list order, up to the first entry not made.
        for (int k = 1; k <= n; ++k) {
            if (words[k - 1] == QLatin1String("skip"))
                continue;
            const EntryState state = scheduler.wait(k);
            if (state == EntryState::Pending) {
                scheduler.stopFrom(1);
                break;
            }
            events.add(QStringLiteral("w%1").arg(k));
            if (state != EntryState::Made) {
                scheduler.stopFrom(k + 1);
                break;
            }
        }
        scheduler.finish();
        QString got;
        for (int k = 1; k <= n; ++k)
            got += letter(scheduler.state(k));
        QCOMPARE(got, states);
    }

    const QStringList log = events.all();
    QVERIFY2(log.filter(QStringLiteral("timeout")).isEmpty(), qPrintable(log.join(u' ')));
    for (const QString &rule : order) {
        if (rule.startsWith(u'!')) {
            QVERIFY2(!log.contains(rule.mid(1)), qPrintable(rule + ": " + log.join(u' ')));
            continue;
        }
        const qsizetype a = log.indexOf(rule.section(u'<', 0, 0));
        const qsizetype b = log.indexOf(rule.section(u'<', 1));
        QVERIFY2(a >= 0 && b >= 0 && a < b, qPrintable(rule + ": " + log.join(u' ')));
    }
    const QStringList expectedThreads = given.split(u' ');
    for (int k = 1; k <= n; ++k) {
        if (expectedThreads[k - 1] != QLatin1String("."))
            QCOMPARE(threadsGiven[size_t(k)], expectedThreads[k - 1].toInt());
        // With one thread nothing runs beside the caller.
        if (threads == 1 && log.contains(QStringLiteral("s%1").arg(k)))
            QVERIFY(ranOn[size_t(k)] == std::this_thread::get_id());
    }
}

QTEST_GUILESS_MAIN(TestRunScheduler)
#include "test_run_scheduler.moc"
