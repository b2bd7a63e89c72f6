// cmdArchive_Click's work, free of any window: the checks, the counter, the
// optional rename, the command line and one engine call per marked entry.
// The observer is called for every entry; it decides how often to repaint.

#include "archive/archive_run.h"

#include "archive/arc_exec.h"
#include "archive/entry_paths.h"
#include "archive/folder_rename.h"
#include "archive/pre_run_checks.h"
#include "archiver/engine.h"
#include "selection/count_format.h"

#include <QSet>

namespace sheaf {

namespace {

const QString kTitle = QStringLiteral("kwSheaf");

bool holdsQuote(const QString &text)
{
    return text.contains(u'"');
}

QString lines(std::initializer_list<QString> parts)
{
    QString text;
    for (const QString &part : parts) {
        if (!text.isEmpty())
            text += u'\r';
        text += part;
    }
    return text;
}

QString quoteRefusal(const QString &path)
{
    return lines({QStringLiteral("名前に “\"” が含まれています。"), path,
        QStringLiteral("処理できません！")});
}

// The engine leaves new archives of a batch in the cache; they go to disk
// together once the run ends, however it ends.
class SyncAtEnd
{
public:
    ~SyncAtEnd() { flush(); }
    void archiveMade() { m_pending = true; }
    void flush()
    {
        if (m_pending)
            sheaf::archiver::syncWrittenArchives();
        m_pending = false;
    }

private:
    bool m_pending = false;
};

QString counterText(int k, int n)
{
    return u'(' + formatCount(k) + u'/' + formatCount(n) + u')';
}

} // namespace

ArchiveRunOutcome runArchive(
    CandidateList &list, const ArchiveRunSettings &settings, ArchiveRunObserver &observer)
{
    const int count = list.FileCount;
    if (count == 0)
        return ArchiveRunOutcome::Empty;
    if (auto refusal = preRunRefusal(
            list, settings.extension, settings.name, settings.together, settings.output)) {
        observer.refused(*refusal);
        return ArchiveRunOutcome::Refused;
    }

    const Archiver archiver = effectiveArchiver(settings.archiver);
    const QString archiveExt = archiveExtension(archiver);
    observer.started(QStringLiteral("圧縮しています、しばらくお待ち下さい"));
    QSet<QString> madeThisRun;
    SyncAtEnd syncAtEnd;
    int leftOutCount = 0;

    for (int k = 1; k <= count; ++k) {
        observer.counterChanged(counterText(k, count), k, count);
        if (!list.isMarked(k))
            continue;
        if (settings.cancel && settings.cancel->load())
            return ArchiveRunOutcome::Cancelled;

        const QString &dir = list.FileDir[k];
        // A double quote would end the quoted piece early and change what the
        // engine reads: refuse the entry before anything is touched.
        if (holdsQuote(dir) || holdsQuote(list.FileName[k])) {
            observer.failed(kTitle, quoteRefusal(list.fullPath(k)), QString());
            return ArchiveRunOutcome::Stopped;
        }
        if (settings.output && holdsQuote(settings.outputFolder)) {
            observer.failed(kTitle, quoteRefusal(settings.outputFolder), QString());
            return ArchiveRunOutcome::Stopped;
        }

        // With the name switch and the output folder, two folders of the same
        // name give one archive path; adding the second entry would replace the
        // first one's member in the archive made moments ago. Stop instead,
        // before the entry is renamed.
        const QString futureName
            = settings.name ? folderNameOf(dir) + settings.extension : list.FileName[k];
        const QString futureArchive = archivePathOf(settings.output, settings.outputFolder, dir,
                                          baseNameOf(futureName, settings.extension))
            + archiveExt;
        if (madeThisRun.contains(futureArchive)) {
            observer.failed(kTitle,
                lines({QStringLiteral("同じ名前の圧縮ファイルを既に作成しています。"),
                    futureArchive + QStringLiteral(" ← ") + list.fullPath(k),
                    QStringLiteral("上書きは出来ません！")}),
                QString());
            return ArchiveRunOutcome::Stopped;
        }

        if (settings.name) {
            const QString newName = folderNameOf(dir) + settings.extension;
            const auto renamed = renameInFolder(dir, list.FileName[k], newName);
            switch (renamed.outcome) {
            case FolderRenameResult::Renamed:
            case FolderRenameResult::Unchanged:
                list.FileName[k] = newName;
                break;
            case FolderRenameResult::TargetExists:
                observer.failed(kTitle,
                    lines({QStringLiteral("同じ名前のファイルが既に有ります。"),
                        list.fullPath(k) + QStringLiteral(" → ") + dir + newName,
                        QStringLiteral("名前の変更は出来ません！")}),
                    QString());
                return ArchiveRunOutcome::Stopped;
            case FolderRenameResult::Failed:
                observer.failed(kTitle,
                    lines({QStringLiteral("ファイル名を変更できませんでした。"),
                        list.fullPath(k) + QStringLiteral(" → ") + dir + newName}),
                    renamed.reason);
                return ArchiveRunOutcome::Stopped;
            }
        }

        const QString &fileName = list.FileName[k];
        const QString archivePath = archivePathOf(
            settings.output, settings.outputFolder, dir, baseNameOf(fileName, settings.extension));
        const QString line
            = composeCommandLine(archiver, settings.together, archivePath, dir, fileName);
        const ArcExecResult result = ArcExec(archiver, line, settings.cancel, settings.progress);
        for (const auto &item : result.leftOut)
            observer.leftOut(item.path, item.reason);
        leftOutCount += int(result.leftOut.size());
        if (result.cancelled)
            return ArchiveRunOutcome::Cancelled;
        if (result.failed) {
            observer.failed(QStringLiteral("kwSheaf120"), QStringLiteral("圧縮に失敗しました．"),
                result.reason);
            return ArchiveRunOutcome::Stopped;
        }
        madeThisRun.insert(archivePath + archiveExt);
        syncAtEnd.archiveMade();
        observer.archiveMade(archivePath + archiveExt);
    }
    syncAtEnd.flush();
    QString done = QStringLiteral("圧縮しました");
    if (leftOutCount > 0)
        done += QStringLiteral("（除外 ") + formatCount(leftOutCount) + QStringLiteral(" 件）");
    observer.finished(done);
    return ArchiveRunOutcome::Done;
}

} // namespace sheaf
