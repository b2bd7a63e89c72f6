#pragma once
// The texts of the one-archive-per-item run, shared by sheaf-batch --each
// and its progress window. Paths in them are shown with shownName().

#include "archive/each_plan.h"

#include <QString>
#include <QStringList>

namespace sheaf::each_texts {

// Why an item is left out or refused: one line, without the item's path.
QString notFound(); // "見つかりません"
QString cannotLook(const QString &systemText);
QString notUnicode();
QString quote();
QString patternCharacter(QChar character);
QString rootFolder();
QString pipe();
QString socket();
QString device();
QString linkToNothing();
QString linkToFolder();
QString othersLink(const QString &link); // on the way to the item, named
QString archiveIsItself();
QString folderNotWritable(const QString &folder); // names the folder, points to -o
QString kindChanged();
QString folderChanged(const QString &folder); // names the folder
QString notOnDisk(const QString &systemText); // a write-back error at the end

// The progress window's title and state line.
QString windowTitle(ArchiverKind archiver); // "Sheafで個別圧縮（ZIP）"
QString preparing(); // "項目を調べています、しばらくお待ち下さい"
QString running(int done, int count); // "圧縮しています、しばらくお待ち下さい (3/10)"
QString stopping(); // "中止しています、しばらくお待ち下さい"

// One line per item that was not made.
QString failedLine(const QString &path, const QString &reason); // "失敗しました: PATH: REASON"
QString leftOutLine(const QString &path, const QString &reason); // "除外しました: REASON: PATH"

// "書庫を N 件作成しました", with "（除外 M 件、失敗 F 件）" where not 0.
QString summary(int made, int leftOut, int failed);
// "中止しました（作成 N 件）": archives finished before the stop stay.
QString stopped(int made);

// The items whose archives would clash, one line for the head, one per
// clash ("ARCHIVE ← ITEM, ITEM"), then the way to get them all made: on the
// console the options to run again with, in the window the button to press.
QStringList clashLines(const EachPlan &plan, bool console);
// The window's button that takes that step.
QString clashButton(const EachPlan &plan);

} // namespace sheaf::each_texts
