#include "archive/each_texts.h"

#include "archive/run_texts.h"
#include "archiver/archiver_facts.h"
#include "selection/count_format.h"
#include "selection/name_text.h"

namespace sheaf::each_texts {

QString notFound()
{
    return QStringLiteral("見つかりません");
}

QString cannotLook(const QString &systemText)
{
    return QStringLiteral("調べられません: ") + systemText;
}

QString notUnicode()
{
    return QStringLiteral("名前に文字として読めないバイトが含まれています");
}

QString quote()
{
    return QStringLiteral("名前に “\"” が含まれています");
}

QString patternCharacter(QChar character)
{
    return QStringLiteral("名前に “") + character + QStringLiteral("” が含まれています");
}

QString rootFolder()
{
    return QStringLiteral("ルートフォルダは圧縮できません");
}

QString pipe()
{
    return QStringLiteral("名前付きパイプは圧縮しません");
}

QString socket()
{
    return QStringLiteral("ソケットは圧縮しません");
}

QString device()
{
    return QStringLiteral("デバイスは圧縮しません");
}

QString linkToNothing()
{
    return QStringLiteral("リンク先がないシンボリックリンクです");
}

QString linkToFolder()
{
    return QStringLiteral("フォルダへのシンボリックリンクはたどりません");
}

QString othersLink(const QString &link)
{
    return QStringLiteral("他のユーザーのシンボリックリンクはたどりません: ") + shownName(link);
}

QString archiveIsItself()
{
    return QStringLiteral("書庫の名前がこの項目自身の名前になります");
}

QString folderNotWritable(const QString &folder)
{
    return QStringLiteral("このフォルダには書き込めません: ") + shownName(folder)
        + QStringLiteral("（-o で書き込めるフォルダを出力先にしてください）");
}

QString kindChanged()
{
    return QStringLiteral("選ばれた後で別のものに置き換えられました");
}

QString folderChanged(const QString &folder)
{
    return QStringLiteral("調べた後でフォルダが移動、削除、または置き換えられました: ")
        + shownName(folder);
}

QString notOnDisk(const QString &systemText)
{
    return QStringLiteral("ディスクに書き出せなかったおそれがあります（") + systemText
        + QStringLiteral("）。もう一度圧縮してください");
}

QString windowTitle(ArchiverKind archiver)
{
    const std::string_view name = sheaf::archiver::archiverFacts(archiver).settingsToken;
    return QStringLiteral("Sheafで個別圧縮（")
        + QString::fromLatin1(name.data(), qsizetype(name.size())) + u'）';
}

QString preparing()
{
    return QStringLiteral("項目を調べています、しばらくお待ち下さい");
}

QString running(int done, int count)
{
    return run_texts::waiting() + u' ' + run_texts::counter(done, count);
}

QString stopping()
{
    return QStringLiteral("中止しています、しばらくお待ち下さい");
}

QString failedLine(const QString &path, const QString &reason)
{
    return QStringLiteral("失敗しました: ") + shownName(path) + QStringLiteral(": ") + reason;
}

QString leftOutLine(const QString &path, const QString &reason)
{
    return QStringLiteral("除外しました: ") + reason + QStringLiteral(": ") + shownName(path);
}

QString summary(int made, int leftOut, int failed)
{
    QString text
        = QStringLiteral("書庫を ") + formatCount(made) + QStringLiteral(" 件作成しました");
    QStringList notMade;
    if (leftOut > 0)
        notMade << QStringLiteral("除外 ") + formatCount(leftOut) + QStringLiteral(" 件");
    if (failed > 0)
        notMade << QStringLiteral("失敗 ") + formatCount(failed) + QStringLiteral(" 件");
    if (!notMade.isEmpty())
        text += u'（' + notMade.join(u'、') + u'）';
    return text;
}

QString stopped(int made)
{
    return QStringLiteral("中止しました（作成 ") + formatCount(made) + QStringLiteral(" 件）");
}

namespace {

bool dropsOutput(const EachPlan &plan)
{
    return !plan.settings.outputFolder.isEmpty() && plan.clashFree.outputFolder.isEmpty();
}

} // namespace

QStringList clashLines(const EachPlan &plan, bool console)
{
    QStringList lines {QStringLiteral("同じ書庫になる項目があるため、何も作成していません:")};
    for (const EachClash &clash : plan.clashes) {
        QStringList items;
        for (const QString &item : clash.items)
            items << shownName(item);
        lines << QStringLiteral("  ") + shownName(clash.archivePath) + QStringLiteral(" ← ")
                + items.join(QStringLiteral(", "));
    }
    const QString example = QStringLiteral("（a.txt は a.txt")
        + archiveExtension(plan.settings.archiver) + QStringLiteral(" に）");
    if (console) {
        lines << (dropsOutput(plan)
                ? QStringLiteral("-o を外し --whole-name を付けて実行すると、各項目の隣に拡張子まで"
                                 "含めた名前で")
                    + example + QStringLiteral("すべて作成します")
                : QStringLiteral("--whole-name を付けて実行すると、拡張子まで含めた名前で")
                    + example + QStringLiteral("すべて作成します"));
    } else {
        lines << QStringLiteral("「") + clashButton(plan)
                + QStringLiteral("」で、拡張子まで含めた名前で") + example
                + QStringLiteral("すべて作成します")
                + (dropsOutput(plan) ? QStringLiteral("（各項目の隣に）") : QString());
    }
    return lines;
}

QString clashButton(const EachPlan &plan)
{
    return dropsOutput(plan) ? QStringLiteral("項目の隣に拡張子付きの名前で作成")
                             : QStringLiteral("拡張子付きの名前で作成");
}

} // namespace sheaf::each_texts
