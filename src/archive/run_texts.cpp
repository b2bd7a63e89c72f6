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

QString sameArchiveRefusal(const QString &archivePath, const QString &path)
{
    return lines({QStringLiteral("同じ名前の圧縮ファイルを既に作成しています。"),
        shownName(archivePath) + QStringLiteral(" ← ") + shownName(path),
        QStringLiteral("上書きは出来ません！")});
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
