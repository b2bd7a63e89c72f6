#include "archive/run_texts.h"

#include "selection/count_format.h"
#include "selection/name_text.h"

#include <initializer_list>

namespace sheaf::run_texts {

namespace {

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

QString cannot()
{
    return QStringLiteral("処理できません！");
}

} // namespace

QString messageTitle()
{
    return QStringLiteral("kwSheaf");
}

QString failureTitle(FailureKind kind)
{
    // A failed archive's box gives no title of its own and shows the
    // application's.
    return kind == FailureKind::ArchiverFailed ? QStringLiteral("kwSheaf120") : messageTitle();
}

QString failureText()
{
    return QStringLiteral("圧縮に失敗しました．");
}

QString waiting()
{
    return QStringLiteral("圧縮しています、しばらくお待ち下さい");
}

QString done()
{
    return QStringLiteral("圧縮しました");
}

QString doneWithLeftOut(int count)
{
    return done() + QStringLiteral("（除外 ") + formatCount(count) + QStringLiteral(" 件）");
}

QString stopped()
{
    return QStringLiteral("中断しました");
}

QString counter(int k, int n)
{
    return u'(' + formatCount(k) + u'/' + formatCount(n) + u')';
}

QString quoteRefusal(const QString &path)
{
    return lines({QStringLiteral("名前に “\"” が含まれています。"), shownName(path), cannot()});
}

QString notUnicodeRefusal(const QString &path)
{
    return lines({QStringLiteral("名前に文字として読めないバイトが含まれています。"),
        shownName(path), cannot()});
}

QString patternCharacterRefusal(const QString &path, QChar character)
{
    return lines({QStringLiteral("名前に “") + character + QStringLiteral("” が含まれています。"),
        shownName(path), cannot()});
}

QString emptyFolderNameRefusal(const QString &path)
{
    return lines({QStringLiteral("フォルダ名が空です。"), shownName(path),
        QStringLiteral("名前の変更は出来ません！")});
}

QString hiddenFolderNameRefusal(const QString &path)
{
    return lines(
        {QStringLiteral("フォルダ名が “.” で始まります。変更すると隠しファイルになります。"),
            shownName(path), QStringLiteral("名前の変更は出来ません！")});
}

QString sameArchiveRefusal(const QString &archivePath, const QString &path)
{
    return lines({QStringLiteral("同じ名前の圧縮ファイルを既に作成しています。"),
        shownName(archivePath) + QStringLiteral(" ← ") + shownName(path),
        QStringLiteral("上書きは出来ません！")});
}

QString notOnDisk(const QStringList &archivePaths)
{
    constexpr qsizetype shown = 10;
    QString names;
    for (qsizetype i = 0; i < archivePaths.size() && i < shown; ++i)
        names += (i ? QStringLiteral("\r") : QString()) + shownName(archivePaths[i]);
    if (archivePaths.size() > shown)
        names += QStringLiteral("\rほか ") + formatCount(int(archivePaths.size() - shown))
            + QStringLiteral(" 件");
    return lines({QStringLiteral("ディスクに書き出せなかったおそれのある圧縮ファイルが有ります。"),
        names, QStringLiteral("もう一度圧縮してください。")});
}

QString notTakenBack(const QString &archivePath, const QString &reason)
{
    return QStringLiteral("先に作った書庫を消せませんでした: ") + shownName(archivePath)
        + QStringLiteral(": ") + reason;
}

QString nameNotGivenBack(const QString &path, const QString &oldName, const QString &reason)
{
    return QStringLiteral("元の名前に戻せませんでした: ") + shownName(path) + QStringLiteral(" → ")
        + shownName(oldName) + QStringLiteral(": ") + reason;
}

QString nameTaken()
{
    return QStringLiteral("同じ名前のファイルが有ります");
}

QString folderChanged(const QString &path)
{
    return lines({QStringLiteral("抽出した後にフォルダが移動、削除、または置き換えられました。"),
        shownName(path), cannot()});
}

QString folderUnreachable(const QString &path)
{
    return lines({QStringLiteral("フォルダを開けません。"), shownName(path), cannot()});
}

QString renameTargetExists(const QString &from, const QString &to)
{
    return lines({QStringLiteral("同じ名前のファイルが既に有ります。"),
        shownName(from) + QStringLiteral(" → ") + shownName(to),
        QStringLiteral("名前の変更は出来ません！")});
}

QString renameFailed(const QString &from, const QString &to)
{
    return lines({QStringLiteral("ファイル名を変更できませんでした。"),
        shownName(from) + QStringLiteral(" → ") + shownName(to)});
}

} // namespace sheaf::run_texts
