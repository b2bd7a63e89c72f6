#include "selection/selection_texts.h"

#include "selection/candidate_list.h"
#include "selection/count_format.h"
#include "selection/name_text.h"

namespace sheaf::selection_texts {

QString finalStatus(int fileCount, const ScanResult &result)
{
    QString text = fileCount == 0 ? QStringLiteral("抽出データは有りませんでした")
                                  : QString::number(fileCount) + QStringLiteral("件、抽出しました");
    if (result.listFull)
        text += QStringLiteral("（%1件を超えた分は抽出していません）")
                    .arg(formatCount(CandidateList::Capacity));
    if (result.skippedFolders > 0)
        text += QStringLiteral("（読めないフォルダ%1件を飛ばしました）")
                    .arg(formatCount(result.skippedFolders));
    return text;
}

QString finalCount(int fileCount)
{
    return fileCount == 0 ? QString() : runningCount(fileCount);
}

QString runningCount(int fileCount)
{
    return u'(' + formatCount(fileCount) + u')';
}

QString unreadableFolderMessage(const QString &folder, const QString &refusedLink)
{
    if (!refusedLink.isEmpty())
        return QStringLiteral("抽出フォルダを開けません。") + othersLink(refusedLink) + u'\r'
            + folder;
    return QStringLiteral("抽出フォルダが見つからないか、読み込めません。") + u'\r' + folder;
}

QString othersLink(const QString &link)
{
    return QStringLiteral("他のユーザーのシンボリックリンクはたどりません: ") + shownName(link);
}

QString listFullMessage()
{
    return QStringLiteral("抽出できるのは%1件までです。").arg(formatCount(CandidateList::Capacity))
        + u'\r'
        + QStringLiteral("%1件を超えた分は抽出していません。抽出フォルダを分けて下さい。")
              .arg(formatCount(CandidateList::Capacity));
}

} // namespace sheaf::selection_texts
