#pragma once
// Building file trees for tests and comparing them afterwards, by Qt's
// names or, where a reader wrote names that are not UTF-8, by raw bytes.

#include "support/random_data.h"

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTest>

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace sheaf::test {

// Writes `content` to `path`, creating its folders. Fails the test on error.
void writeFile(
    const QString &path, const QByteArray &content, const QDateTime &mtime = QDateTime());
QByteArray readFile(const QString &path);
// Sets the modification time of every file below `root`.
void setTreeTime(const QString &root, const QDateTime &time);
// Relative paths of every file below `root` ('/'-separated, sorted),
// folders listed with a trailing '/'.
QStringList listTree(const QString &root);
// The names in `folder` itself, hidden ones included, unsorted as listed.
QStringList namesIn(const QString &folder);
// Empty when both trees hold the same files with the same bytes; otherwise
// one line per difference.
QStringList compareTrees(const QString &expected, const QString &actual);

// A left-over temporary file of the engine: ".<archive>.sheaf-tmp-XXXXXX".
bool isEngineTemporary(const QString &name);
// Every entry below `root` without following links: a file by the SHA-256 of
// its bytes, a folder as "dir", a symbolic link by its target.
QMap<QString, QByteArray> hashTree(const QString &root, bool skipTemporaries = false);
// Lines naming what differs between two hashed trees; empty when equal.
QStringList treeDifferences(
    const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after);

// A name written with \xHH for a byte, as the tables spell names that are
// not UTF-8, as its bytes.
QByteArray bytesFromEscapes(const QString &text);

// A tree read by raw byte names.
struct RawTree
{
    std::map<std::string, QByteArray> files; // raw relative path -> bytes
    std::set<std::string> dirs;
    std::map<std::string, int64_t> mtimes; // of files, Unix seconds
    std::map<std::string, unsigned> modes; // of files, permission bits
};
RawTree readRawTree(const std::filesystem::path &root);
QByteArray readRaw(const std::filesystem::path &path);

// Removes a folder tree when it goes out of scope. QDir cannot remove the
// names that are not UTF-8, and some readers make such names.
struct RemoveTreeLater
{
    explicit RemoveTreeLater(const QString &path)
        : path(path.toStdString())
    {
    }
    ~RemoveTreeLater()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
};

} // namespace sheaf::test

// Fails the test with every difference listed.
#define SHEAF_NO_DIFFERENCES(expr)                                                                 \
    do {                                                                                           \
        const QStringList differences_ = (expr);                                                   \
        QVERIFY2(differences_.isEmpty(), qPrintable(differences_.join(u'\n')));                    \
    } while (false)
