#pragma once
// The texts of the compress run, shared by the window and the console front
// end so that nobody retypes them. Messages of more than one line join their
// lines with one carriage return; names in them are shown with shownName().

#include "archive/archive_run.h"

#include <QString>

namespace sheaf::run_texts {

// Title of the run's message boxes, and of the box of a failed archive.
QString messageTitle(); // "kwSheaf"
QString failureTitle(FailureKind kind); // "kwSheaf", "kwSheaf120"
QString failureText(); // "圧縮に失敗しました．"

// Status texts.
QString waiting(); // "圧縮しています、しばらくお待ち下さい"
QString done(); // "圧縮しました"
// "圧縮しました（除外 N 件）": files the engine left out (pipes, links...).
QString doneWithLeftOut(int count);
QString stopped(); // "中断しました"

// "(k/n)" with "##,##0".
QString counter(int k, int n);

// Refusals of one entry, made before it is touched.
QString quoteRefusal(const QString &path);
QString notUnicodeRefusal(const QString &path);
QString patternCharacterRefusal(const QString &path, QChar character);
QString emptyFolderNameRefusal(const QString &path);
QString hiddenFolderNameRefusal(const QString &path);
QString sameArchiveRefusal(const QString &archivePath, const QString &path);

// Archives made that a file system's write-back error may concern.
QString notOnDisk(const QStringList &archivePaths);
// An archive made ahead of a failed entry that could not be removed again.
QString notTakenBack(const QString &archivePath, const QString &reason);
// A file renamed by a run that stopped, which could not get its old name back.
QString nameNotGivenBack(const QString &path, const QString &oldName, const QString &reason);
QString nameTaken(); // another file has that name now

// An entry whose folder is no longer the one the scan listed (moved,
// removed, or replaced by a link or another folder), or cannot be opened.
QString folderChanged(const QString &path);
QString folderUnreachable(const QString &path);

// Failures of the rename after the folder.
QString renameTargetExists(const QString &from, const QString &to);
QString renameFailed(const QString &from, const QString &to);

} // namespace sheaf::run_texts
