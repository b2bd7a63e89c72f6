#include "archive/each_arguments.h"

#include "archiver/archiver_facts.h"
#include "base/platform.h"
#include "selection/name_text.h"

namespace sheaf {

namespace {

// Empty when `folder` can take the archives, else why not.
QString outputFolderProblem(const QString &given, const QString &folder)
{
    if (folder.isEmpty())
        return QStringLiteral("現在のフォルダが読めないため、相対パスのフォルダを決められません: ")
            + shownName(given);
    if (!hasUnicodeForm(folder) || folder.contains(u'"'))
        return QStringLiteral("このフォルダの名前は書庫の作成に使えません: ") + shownName(folder);
    const platform::FileFacts facts = platform::fileFacts(namePath(folder), true);
    if (facts.error != 0)
        return QStringLiteral("出力フォルダが見つかりません: ") + shownName(folder);
    if (!facts.isDirectory)
        return QStringLiteral("出力先はフォルダではありません: ") + shownName(folder);
    if (!platform::mayCreateIn(namePath(folder)))
        return QStringLiteral("出力フォルダに書き込めません: ") + shownName(folder);
    return {};
}

} // namespace

EachArguments parseEachArguments(const QStringList &args, bool console)
{
    EachArguments o;
    bool itemsOnly = false;
    for (qsizetype i = 0; i < args.size() && o.error.isEmpty(); ++i) {
        const QString &a = args[i];
        const auto value = [&]() -> const QString * {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        if (itemsOnly || !a.startsWith(u'-') || a == QLatin1String("-")) {
            o.items << a;
        } else if (a == QLatin1String("--")) {
            itemsOnly = true;
        } else if (a == QLatin1String("-a")) {
            const QString *name = value();
            const auto *facts
                = name ? sheaf::archiver::archiverNamed(name->toStdString()) : nullptr;
            if (facts)
                o.settings.archiver = facts->kind;
            else
                o.error = QStringLiteral("-a には lzh, zip, cab のどれかを指定してください");
        } else if (a == QLatin1String("-o")) {
            const QString *dir = value();
            if (!dir || dir->isEmpty()) {
                o.error = QStringLiteral("-o にはフォルダを指定してください");
                continue;
            }
            o.settings.outputFolder = absoluteNameText(*dir);
            o.error = outputFolderProblem(*dir, o.settings.outputFolder);
        } else if (a == QLatin1String("-w") || a == QLatin1String("--whole-name")) {
            o.settings.wholeNames = true;
        } else if (a == QLatin1String("-j")) {
            const QString *n = value();
            bool ok = false;
            o.threads = n ? n->toInt(&ok) : 0;
            if (!ok || o.threads < 1 || o.threads > 256)
                o.error = QStringLiteral("-j にはスレッド数 (1〜256) を指定してください");
        } else if (console && a == QLatin1String("-q")) {
            o.quiet = true;
        } else {
            o.error = QStringLiteral("不明なオプションです: ") + shownName(a);
        }
    }
    if (o.error.isEmpty() && o.items.isEmpty())
        o.error = QStringLiteral("圧縮する項目が指定されていません");
    return o;
}

} // namespace sheaf
