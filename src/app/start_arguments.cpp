#include "app/start_arguments.h"

#include "selection/name_text.h"

#include <QDir>

#include <filesystem>
#include <system_error>

namespace sheaf {

QString folderForPath(const QString &path)
{
    if (path.isEmpty())
        return QString();
    // The bytes of the name are kept: a folder whose name is not UTF-8 is
    // the folder given, not a look-alike.
    const QString absolute = absoluteNameText(path);
    std::error_code ec;
    if (absolute.isEmpty() || !std::filesystem::exists(namePath(absolute), ec))
        return QString();
    const bool isFolder = std::filesystem::is_directory(namePath(absolute), ec);
    const QString folder = isFolder ? absolute : absolute.section(u'/', 0, -2);
    return QDir::toNativeSeparators(folder.isEmpty() ? QStringLiteral("/") : folder);
}

StartArguments parseStartArguments(const QStringList &args)
{
    StartArguments result;
    QStringList positional;
    bool positionalOnly = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        if (positionalOnly || !a.startsWith(u'-') || a == QLatin1String("-")) {
            positional << a;
        } else if (a == QLatin1String("--")) {
            positionalOnly = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            return {StartArguments::Action::Help, {}, {}, {}};
        } else if (a == QLatin1String("--version")) {
            return {StartArguments::Action::Version, {}, {}, {}};
        } else if (a == QLatin1String("--screenshot") && i + 1 < args.size()) {
            result.action = StartArguments::Action::Screenshot;
            result.screenshotPath = args[++i];
        } else if (result.error.isEmpty()) {
            result.error = QStringLiteral("不明なオプションです: %1").arg(a);
        }
    }
    for (const QString &path : std::as_const(positional)) {
        if (!result.error.isEmpty())
            break;
        // Two files of one folder (a file manager's selection) open it once.
        const QString folder = folderForPath(path);
        if (folder.isEmpty())
            result.error = QStringLiteral("フォルダが見つかりません: %1").arg(shownName(path));
        else if (!result.folders.contains(folder))
            result.folders << folder;
    }
    if (!result.error.isEmpty())
        result.action = StartArguments::Action::Error;
    return result;
}

QString startHelpText()
{
    return QStringLiteral("使い方: sheaf [フォルダ]...\n"
                          "       sheaf --each [-a lzh|zip|cab] [-o フォルダ] [-w] [-j N] 項目...\n"
                          "ファイルごと・フォルダごとにまとめて圧縮するウィンドウを開きます。\n"
                          "フォルダを指定すると、そのフォルダを抽出フォルダにして開きます"
                          "（ファイルを指定するとそのファイルのあるフォルダ）。\n"
                          "フォルダを複数指定すると、フォルダごとにウィンドウを開きます"
                          "（%1 個まで）。\n"
                          "ほかの設定は設定ファイルのとおりです。自動では何も実行しません。\n"
                          "--each を付けると、指定したファイルやフォルダ（項目）ごとに書庫を"
                          "一つずつ作り、経過を小さなウィンドウに表示します"
                          "（sheaf-batch --each と同じ。設定ファイルは使いません）。\n"
                          "\n"
                          "  -h, --help   この説明を表示して終了します\n"
                          "  --version    版数を表示して終了します\n")
        .arg(MaxWindows);
}

QString foldersNotOpenedText(const QStringList &folders)
{
    QString text = QStringLiteral("一度に開けるウィンドウは %1 個までです。\r"
                                  "次の %2 個のフォルダは開いていません:")
                       .arg(MaxWindows)
                       .arg(folders.size());
    constexpr int Listed = 20; // a box that still fits on the screen
    for (const QString &folder : folders.mid(0, Listed))
        text += u'\r' + shownName(folder);
    if (folders.size() > Listed)
        text += QStringLiteral("\r…ほか %1 個").arg(folders.size() - Listed);
    return text;
}

} // namespace sheaf
