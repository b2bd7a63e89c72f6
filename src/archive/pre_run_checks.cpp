// The three checks before a compress run, in their fixed order. Each looks for
// two marked entries that share a folder (or a file name) with one hash set,
// so a list of 30000 entries is checked in linear time.

#include "archive/pre_run_checks.h"

#include <QSet>

namespace sheaf {

namespace {

enum class Key { Dir, Name };

bool twoMarkedShare(const CandidateList &list, Key key)
{
    QSet<QString> seen;
    seen.reserve(list.FileCount);
    for (int i = 1; i <= list.FileCount; ++i) {
        if (!list.isMarked(i))
            continue;
        const QString &text = key == Key::Dir ? list.FileDir[i] : list.FileName[i];
        const qsizetype before = seen.size();
        seen.insert(text);
        if (seen.size() == before)
            return true;
    }
    return false;
}

QString twoLines(const QString &first, const QString &second)
{
    return first + QChar(u'\r') + second;
}

} // namespace

std::optional<QString> preRunRefusal(
    const CandidateList &list, const QString &extension, bool name, bool together, bool output)
{
    const QString folderLine = QStringLiteral("*") + extension
        + QStringLiteral("が複数存在しているフォルダが有ります。");
    // Checks 1 and 2 ask the same question; it is answered once.
    if (name || together) {
        if (twoMarkedShare(list, Key::Dir))
            return twoLines(folderLine,
                name ? QStringLiteral("名前指定は出来ません！")
                     : QStringLiteral("梱包指定は出来ません！"));
    }
    if (output && twoMarkedShare(list, Key::Name))
        return twoLines(QStringLiteral("同じ名前の圧縮ファイルが出来てしまいます。"),
            QStringLiteral("処理できません！"));
    return std::nullopt;
}

} // namespace sheaf
