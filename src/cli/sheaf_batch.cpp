// sheaf-batch: the selection and compress commands without a window. It
// drives the same logic as the window (FileScan, FileSort, the grid's cell
// texts, runArchive) and turns its reports into console lines.
//
//   sheaf-batch [-e EXT] [-s] [-l] [-o DIR] [-n] [-t] [-a lzh|zip|cab]
//               [-x NAME]... [-j N] [-q] SELECTION_FOLDER
//   sheaf-batch --each [-a lzh|zip|cab] [-o DIR] [-w] [-j N] [-q] ITEM...
//
// Exit status: 0 done, 1 an archive failed, 2 usage error or a refused
// check, 130 stopped by Ctrl-C.

#include "archive/archive_run.h"
#include "archive/archiver_choice.h"
#include "archive/each_arguments.h"
#include "archive/each_run.h"
#include "archive/each_texts.h"
#include "archive/run_texts.h"
#include "archiver/archiver_facts.h"
#include "base/platform.h"
#include "choice/extension_list.h"
#include "cli/help_language.h"
#include "selection/candidate_list.h"
#include "selection/candidate_model.h"
#include "selection/count_format.h"
#include "selection/file_scan.h"
#include "selection/file_sort.h"
#include "selection/name_text.h"
#include "selection/selection_texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>
#include <QStringList>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> g_cancel {false};

extern "C" void onInterrupt(int)
{
    g_cancel.store(true);
}

void installInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // A second Ctrl-C ends the program at once.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

void put(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
}

void putLine(FILE *stream, const QString &text)
{
    put(stream, text);
    std::fputc('\n', stream);
}

// The tool's two-line messages are joined by a carriage return; a console
// shows them as two lines.
QString consoleLines(QString text)
{
    return text.replace(QChar(u'\r'), QChar(u'\n'));
}

const char kUsage[]
    = "usage: sheaf-batch [-e EXT] [-s] [-l] [-o DIR] [-n] [-t] [-a lzh|zip|cab] [-x NAME]... "
      "[-j N] [-q] SELECTION_FOLDER\n"
      "       sheaf-batch --each [-a lzh|zip|cab] [-o DIR] [-w] [-j N] [-q] ITEM...\n";

const char kHelpJapanese[]
    = "使い方: sheaf-batch [-e 拡張子] [-s] [-l] [-o フォルダ] [-n] [-t] [-a lzh|zip|cab] "
      "[-x 名前]... [-j N] [-q] 抽出フォルダ\n"
      "       sheaf-batch --each [-a lzh|zip|cab] [-o フォルダ] [-w] [-j N] [-q] 項目...\n"
      "抽出フォルダの中の一つの拡張子のファイルを、ファイルごと（またはフォルダごと）に"
      "圧縮します。\n"
      "--each を付けると、指定したファイルやフォルダ（項目）ごとに書庫を一つずつ作ります。\n"
      "  -w, --whole-name  （--each）ファイル名を拡張子まで含めて書庫の名前にします\n"
      "  -e 拡張子     抽出する拡張子（既定 .TXT）\n"
      "  -s            サブフォルダからも抽出します\n"
      "  -l            一覧を表示するだけで、圧縮しません\n"
      "  -o フォルダ   書庫を作るフォルダ（既定はファイルの隣）\n"
      "  -n            ファイル名をフォルダ名に変えてから圧縮します\n"
      "  -t            フォルダを丸ごと圧縮します\n"
      "  -a 形式       lzh、zip、cab のどれか（既定 lzh）\n"
      "  -x 名前       その名前のファイルを外します（何度でも指定できます）\n"
      "  -j N          同時に作る書庫の数（既定はコア数）\n"
      "  -q            書庫ごとの行を表示しません\n"
      "  -h, --help    この説明を表示して終了します\n"
      "  --version     版数を表示して終了します\n";

void printHelp()
{
    std::fputs(sheaf::cli::helpInJapanese() ? kHelpJapanese : kUsage, stdout);
    if (!sheaf::cli::helpInJapanese())
        std::fputs("       sheaf-batch -h | --version\n", stdout);
}

// One line on stderr, exit status 2.
int usageError(const QString &message)
{
    putLine(
        stderr, QStringLiteral("sheaf-batch: ") + message + QStringLiteral(" (sheaf-batch -h)"));
    return 2;
}

struct Options
{
    QString extension = QStringLiteral(".TXT");
    bool subfolders = false, listOnly = false, quiet = false;
    sheaf::ArchiveRunSettings run;
    QStringList excluded;
    QString folder;
};

// A relative folder with no current folder to start from (it was removed).
QString unreachableHere(const QString &relative)
{
    return QStringLiteral("現在のフォルダが読めないため、相対パスのフォルダを決められません: %1")
        .arg(sheaf::shownName(relative));
}

// Returns -1 when the options are usable, otherwise the exit status.
int parseOptions(const QStringList &args, Options &o)
{
    bool positionalOnly = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&](QString &out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        if (positionalOnly || !a.startsWith(u'-') || a == QLatin1String("-")) {
            if (!o.folder.isEmpty())
                return usageError(QStringLiteral("選択フォルダは一つだけ指定してください"));
            o.folder = a;
        } else if (a == QLatin1String("--")) {
            positionalOnly = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            printHelp();
            return 0;
        } else if (a == QLatin1String("--version")) {
            std::puts("sheaf-batch " SHEAF_VERSION);
            return 0;
        } else if (a == QLatin1String("-e")) {
            if (!value(o.extension))
                return usageError(QStringLiteral("-e には拡張子を指定してください"));
        } else if (a == QLatin1String("-o")) {
            QString dir;
            if (!value(dir) || dir.isEmpty())
                return usageError(QStringLiteral("-o にはフォルダを指定してください"));
            o.run.output = true;
            o.run.outputFolder = sheaf::absoluteNameText(dir);
            if (o.run.outputFolder.isEmpty())
                return usageError(unreachableHere(dir));
        } else if (a == QLatin1String("-a")) {
            QString name;
            if (!value(name))
                return usageError(
                    QStringLiteral("-a には lzh, zip, cab のどれかを指定してください"));
            if (const auto *facts = sheaf::archiver::archiverNamed(name.toStdString()))
                o.run.archiver = facts->kind;
            else
                return usageError(QStringLiteral(
                    "不明な書庫の形式です: \"%1\" (lzh, zip, cab のどれかを指定してください)")
                                      .arg(name));
        } else if (a == QLatin1String("-x")) {
            QString name;
            if (!value(name) || name.isEmpty())
                return usageError(QStringLiteral("-x にはファイル名を指定してください"));
            o.excluded << name;
        } else if (a == QLatin1String("-j")) {
            QString n;
            bool ok = false;
            if (value(n))
                o.run.threads = n.toInt(&ok);
            if (!ok || o.run.threads < 1 || o.run.threads > 256)
                return usageError(QStringLiteral("-j にはスレッド数 (1〜256) を指定してください"));
        } else if (a == QLatin1String("-s")) {
            o.subfolders = true;
        } else if (a == QLatin1String("-l")) {
            o.listOnly = true;
        } else if (a == QLatin1String("-n")) {
            o.run.name = true;
        } else if (a == QLatin1String("-t")) {
            o.run.together = true;
        } else if (a == QLatin1String("-q")) {
            o.quiet = true;
        } else {
            return usageError(QStringLiteral("不明なオプションです: %1").arg(a));
        }
    }
    if (o.folder.isEmpty())
        return usageError(QStringLiteral("選択フォルダが指定されていません"));
    if (!sheaf::ExtensionList::isValid(o.extension))
        return usageError(
            QStringLiteral("拡張子が正しくありません: \"%1\" (ピリオドと 1〜4 文字で、"
                           "'*' と '?' は使えません)")
                .arg(o.extension));
    const QString given = o.folder;
    o.folder = sheaf::absoluteNameText(given);
    if (o.folder.isEmpty())
        return usageError(unreachableHere(given));
    o.run.extension = o.extension;
    return -1;
}

// A progress line on stderr, redrawn at most ten times a second.
class ProgressLine
{
public:
    ProgressLine()
        : m_enabled(sheaf::platform::standardErrorIsTerminal())
    {
    }

    void show(const QString &text, bool force = false)
    {
        if (!m_enabled)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - m_last < std::chrono::milliseconds(100))
            return;
        m_last = now;
        put(stderr, QStringLiteral("\r") + text + QStringLiteral("\x1b[K"));
        std::fflush(stderr);
        m_shown = true;
    }
    void clear()
    {
        if (m_shown)
            std::fputs("\r\x1b[K", stderr);
        m_shown = false;
    }

private:
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_last;
};

class ScanLine : public sheaf::ScanProgress
{
public:
    explicit ScanLine(ProgressLine &line)
        : m_line(line)
    {
    }
    void fileCountChanged(int fileCount) override
    {
        m_line.show(sheaf::selection_texts::scanning() + u' '
            + sheaf::selection_texts::runningCount(fileCount));
    }
    bool stopRequested() const override { return g_cancel.load(); } // Ctrl-C

private:
    ProgressLine &m_line;
};

class ConsoleRun : public sheaf::ArchiveRunObserver
{
public:
    ConsoleRun(ProgressLine &line, bool quiet)
        : m_line(line)
        , m_quiet(quiet)
    {
    }

    void refused(const QString &text) override { putLine(stderr, consoleLines(text)); }
    void started(const QString &statusText) override { m_status = statusText; }
    void counterChanged(const QString &counterText, int k, int n) override
    {
        if (k == n) {
            m_line.show(bar(counterText, k, n), true);
            return;
        }
        m_line.show(bar(counterText, k, n));
    }
    void archiveMade(const QString &archivePath) override
    {
        if (m_quiet)
            return;
        m_line.clear();
        putLine(stdout, sheaf::listedName(archivePath));
        // One line per archive as it is made, also into a pipe.
        std::fflush(stdout);
    }
    void leftOut(const QString &path, const QString &reason) override
    {
        m_line.clear();
        putLine(stderr, QStringLiteral("除外しました: ") + reason + QStringLiteral(": ") + path);
    }
    void failed(sheaf::FailureKind kind, const QString &text, const QString &detail) override
    {
        m_line.clear();
        putLine(stderr,
            sheaf::run_texts::failureTitle(kind) + QStringLiteral(": ") + consoleLines(text));
        if (!detail.isEmpty())
            putLine(stderr, detail);
    }
    void finished(const QString &statusText) override
    {
        m_line.clear();
        putLine(stdout, statusText);
    }

private:
    QString bar(const QString &counterText, int k, int n) const
    {
        constexpr int width = 30;
        const int filled = n > 0 ? int(qint64(k) * width / n) : width;
        return m_status + QStringLiteral(" [") + QString(filled, u'#')
            + QString(width - filled, u'.') + QStringLiteral("] ") + counterText;
    }

    ProgressLine &m_line;
    bool m_quiet;
    QString m_status;
};

// One archive per item: a line per archive made (stdout), per item left out
// or failed (stderr), then the summary.
class ConsoleEach : public sheaf::EachRunObserver
{
public:
    ConsoleEach(ProgressLine &line, bool quiet, int count)
        : m_line(line)
        , m_quiet(quiet)
        , m_count(count)
    {
    }

    void itemDone(int k, const sheaf::EachItem &item, const sheaf::EachOutcome &out) override
    {
        m_line.clear();
        for (const auto &file : out.leftOut)
            putLine(stderr,
                QStringLiteral("除外しました: ") + file.reason + QStringLiteral(": ") + file.path);
        switch (out.state) {
        case sheaf::EachOutcome::State::Made:
            if (!m_quiet)
                putLine(stdout, sheaf::listedName(item.archivePath));
            std::fflush(stdout);
            break;
        case sheaf::EachOutcome::State::LeftOut:
            putLine(stderr, sheaf::each_texts::leftOutLine(item.path, out.reason));
            break;
        case sheaf::EachOutcome::State::Failed:
            putLine(stderr, sheaf::each_texts::failedLine(item.path, out.reason));
            break;
        }
        constexpr int width = 30;
        ++m_done;
        const int filled = int(qint64(m_done) * width / std::max(1, m_count));
        m_line.show(sheaf::run_texts::waiting() + QStringLiteral(" [") + QString(filled, u'#')
                + QString(width - filled, u'.') + QStringLiteral("] ")
                + sheaf::run_texts::counter(m_done, m_count),
            m_done == m_count);
    }

private:
    ProgressLine &m_line;
    bool m_quiet;
    int m_count;
    int m_done = 0;
};

// sheaf-batch --each: `args` are the arguments after --each.
int runEachItem(const QStringList &args)
{
    // After "--" a "-h" is an item's name.
    const QStringList beforeItems = args.mid(0, args.indexOf(QLatin1String("--")));
    if (beforeItems.contains(QLatin1String("-h"))
        || beforeItems.contains(QLatin1String("--help"))) {
        printHelp();
        return 0;
    }
    const sheaf::EachArguments o = sheaf::parseEachArguments(args, true);
    if (!o.error.isEmpty())
        return usageError(o.error);
    installInterruptHandler();
    const sheaf::EachPlan plan = sheaf::planEach(o.items, o.settings, &g_cancel);
    if (g_cancel.load())
        return 130;
    if (!plan.clashes.isEmpty()) {
        for (const QString &line : sheaf::each_texts::clashLines(plan, true))
            putLine(stderr, line);
        return 2;
    }
    ProgressLine progress;
    ConsoleEach observer(progress, o.quiet, int(plan.items.size()) - 1);
    sheaf::EachRunOptions options;
    options.threads = o.threads;
    options.cancel = &g_cancel;
    const sheaf::EachRunResult result = sheaf::runEach(plan, options, observer);
    progress.clear();
    for (const QString &line : result.notOnDisk)
        putLine(stderr, line);
    if (result.stopped) {
        putLine(stderr, sheaf::each_texts::stopped(result.made));
        return 130;
    }
    putLine(stdout, sheaf::each_texts::summary(result.made, result.leftOut, result.failed));
    return result.failed > 0 ? 1 : 0;
}

// Folder and name are escaped (bytes outside UTF-8, tab, line breaks,
// backslash) so that each file keeps to one line of four fields.
void printList(sheaf::CandidateList &list)
{
    sheaf::CandidateModel model(list);
    model.FileShow();
    for (int i = 1; i <= list.FileCount; ++i) {
        putLine(stdout,
            sheaf::listedName(list.FileDir[i]) + u'\t' + sheaf::listedName(list.FileName[i]) + u'\t'
                + model.cellText(i, 4) + u'\t' + model.cellText(i, 5));
    }
}

// Takes the named entries out of the batch. The names that match no entry
// are returned.
QStringList unmark(sheaf::CandidateList &list, const QStringList &names)
{
    QSet<QString> wanted(names.begin(), names.end());
    QSet<QString> found;
    for (int i = 1; i <= list.FileCount; ++i) {
        if (wanted.contains(list.FileName[i])) {
            list.FileMark[i].clear();
            found.insert(list.FileName[i]);
        }
    }
    QStringList missing;
    for (const QString &name : names) {
        if (!found.contains(name) && !missing.contains(name))
            missing << name;
    }
    return missing;
}

int run(const QStringList &args)
{
    // --each anywhere before "--" turns the batch into one archive per item.
    for (qsizetype i = 1; i < args.size() && args[i] != QLatin1String("--"); ++i) {
        if (args[i] == QLatin1String("--each")) {
            QStringList rest = args.mid(1);
            rest.removeAt(i - 1);
            return runEachItem(rest);
        }
    }
    Options o;
    if (const int status = parseOptions(args, o); status >= 0)
        return status;
    installInterruptHandler();
    o.run.cancel = &g_cancel;

    ProgressLine progress;
    sheaf::CandidateList list;
    ScanLine scanLine(progress);
    const sheaf::ScanResult scan
        = sheaf::FileScan(o.folder, o.subfolders ? 1 : 0, o.extension, list, &scanLine);
    progress.clear();
    if (g_cancel.load())
        return 130;
    if (scan.selectionFolderUnreadable) {
        QString text = sheaf::selection_texts::unreadableFolderMessage(
            sheaf::shownName(o.folder), scan.refusedLink);
        putLine(stderr, QStringLiteral("sheaf-batch: ") + text.replace(u'\r', u' '));
        return 2;
    }
    if (scan.listFull)
        putLine(stderr, consoleLines(sheaf::selection_texts::listFullMessage()));
    sheaf::FileSort(list.FileMark, list.FileDir, list.FileName, list.FileCount);
    if (g_cancel.load())
        return 130;

    const QStringList missing = unmark(list, o.excluded);
    if (!missing.isEmpty())
        return usageError(QStringLiteral("-x %1: その名前のファイルは選択されていません")
                              .arg(sheaf::shownName(missing.join(QStringLiteral(", ")))));

    if (o.listOnly)
        printList(list);
    putLine(stdout, sheaf::selection_texts::finalStatus(list.FileCount, scan));
    std::fflush(stdout);
    if (o.listOnly || list.FileCount == 0)
        return 0;

    ConsoleRun observer(progress, o.quiet);
    const sheaf::ArchiveRunOutcome outcome = sheaf::runArchive(list, o.run, observer);
    progress.clear();
    std::fflush(stdout);
    // Ctrl-C ends with 130 wherever it caught the run, also when what it
    // broke off reported a failure of its own.
    if (g_cancel.load() && outcome == sheaf::ArchiveRunOutcome::Stopped) {
        putLine(stderr, QStringLiteral("中断しました"));
        return 130;
    }
    switch (outcome) {
    case sheaf::ArchiveRunOutcome::Empty:
    case sheaf::ArchiveRunOutcome::Done:
        return 0;
    case sheaf::ArchiveRunOutcome::Refused:
        return 2;
    case sheaf::ArchiveRunOutcome::Stopped:
        return 1;
    case sheaf::ArchiveRunOutcome::Cancelled:
        putLine(stderr, sheaf::run_texts::stopped());
        return 130;
    }
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The arguments as the system gave them: a folder or name that is not
    // UTF-8 keeps its bytes instead of turning into a look-alike.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << sheaf::nameFromBytes(argv[i]);
    const int status = run(args);
    // A listing that did not reach its file is no success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        putLine(stderr, QStringLiteral("sheaf-batch: 結果を標準出力に書き出せません"));
        return status == 0 ? 1 : status;
    }
    return status;
}
