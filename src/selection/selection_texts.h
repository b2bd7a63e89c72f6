#pragma once
// The texts of the selection command, shared by the window and the console
// front end so that nobody retypes them.

#include "selection/file_scan.h"

#include <QString>

namespace sheaf::selection_texts {

// Waiting texts in lblMsg while the command runs.
inline QString scanning()
{
    return QStringLiteral("抽出しています、しばらくお待ち下さい");
}
inline QString sorting()
{
    return QStringLiteral("並び替えています、しばらくお待ち下さい");
}
inline QString showing()
{
    return QStringLiteral("画面を編集しています、しばらくお待ち下さい");
}

// Title of the message boxes of the selection command.
inline QString messageTitle()
{
    return QStringLiteral("kwSheaf");
}

// lblMsg when the command ends: "1234件、抽出しました" or
// "抽出データは有りませんでした", followed by a note on skipped folders and a
// full list when there was any.
QString finalStatus(int fileCount, const ScanResult &result);
// lblCount when the command ends: "(1,234)", empty when nothing was found.
QString finalCount(int fileCount);
// lblCount while the scan runs: "(1,234)".
QString runningCount(int fileCount);

// Message box text (two lines joined by a carriage return) when the
// selection folder does not exist or cannot be listed, or another user's
// symbolic link (`refusedLink`, when given) is on the way to it.
QString unreadableFolderMessage(const QString &folder, const QString &refusedLink = {});
// "他のユーザーのシンボリックリンクはたどりません: LINK", the link shown by its name.
QString othersLink(const QString &link);
// Message box text when more files matched than the list holds.
QString listFullMessage();

} // namespace sheaf::selection_texts
