#pragma once
// Small helpers to build file trees for tests and compare them afterwards.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace sheaf::test {

// Writes `content` to `path`, creating its folders. Fails the test on error.
void writeFile(
    const QString &path, const QByteArray &content, const QDateTime &mtime = QDateTime());
QByteArray readFile(const QString &path);
// Relative paths of every file below `root` ('/'-separated, sorted),
// folders listed with a trailing '/'.
QStringList listTree(const QString &root);
// Empty when both trees hold the same files with the same bytes; otherwise
// one line per difference.
QStringList compareTrees(const QString &expected, const QString &actual);
// Deterministic pseudo-random bytes.
QByteArray randomBytes(qsizetype size, quint32 seed);

} // namespace sheaf::test
