#pragma once
// The engine's command lines as the window composes them, for the tests that
// run the engine in process or sheaf-arc as a program.

#include "archiver/engine.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>

namespace sheaf::test {

// Calls `row` with each archiver's name ("lzh", "zip", "cab") and kind: the
// data rows of the tests that cover every archiver.
void forEachArchiver(const std::function<void(const char *name, archiver::ArchiverKind kind)> &row);
// The column "archiver" with one row per archiver, named after it.
void addArchiverRows();
// The archiver named "lzh", "zip" or "cab".
archiver::ArchiverKind archiverKind(const QString &name);
// ".lzh", ".zip" or ".cab".
QString extensionOf(archiver::ArchiverKind kind);
// The line that puts `name` of `folder` into `archive` (adding to it when it exists).
QString oneFileLine(archiver::ArchiverKind kind, const QString &archive, const QString &folder,
    const QString &name);
// The line that puts all of `folder` (what `pattern` matches) into `archive`.
QString wholeFolderLine(archiver::ArchiverKind kind, const QString &archive, const QString &folder,
    const QString &pattern = QStringLiteral("*.*"));
// sheaf-arc's arguments for the same: the archiver's name, the switches,
// the archive, the folder and the names.
QStringList arcArguments(archiver::ArchiverKind kind, bool wholeFolder, const QString &archive,
    const QString &folder, const QStringList &names = {QStringLiteral("*.*")});

inline archiver::RunResult runLine(
    archiver::ArchiverKind kind, const QString &line, const archiver::RunOptions &options = {})
{
    return archiver::runCommandLine(kind, line.toStdString(), options);
}

} // namespace sheaf::test

Q_DECLARE_METATYPE(sheaf::archiver::ArchiverKind)
