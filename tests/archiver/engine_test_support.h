#pragma once
// Shared by the engine's end-to-end tests: running a line, extracting with an
// independent reader, building the tree a reader should give back.

#include "archiver/engine.h"
#include "lzh_decode_util.h"
#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace sheaf::test {

inline archiver::RunResult runLine(archiver::ArchiverKind kind, const QString &line)
{
    return archiver::runCommandLine(kind, line.toStdString());
}

// The command line of a reader that extracts `archive` into `dir`; `workDir`
// is set for readers that extract into the current folder.
inline QStringList readerArguments(
    const QString &reader, const QString &archive, const QString &dir, QString &workDir)
{
    workDir.clear();
    if (reader == QLatin1String("unzip"))
        return {"-q", "-o", archive, "-d", dir};
    if (reader == QLatin1String("7zz"))
        return {"x", "-y", "-bd", "-o" + dir, archive};
    if (reader == QLatin1String("bsdtar"))
        return {"-x", "-f", archive, "-C", dir};
    if (reader == QLatin1String("cabextract"))
        return {"-q", "-d", dir, archive};
    if (reader == QLatin1String("unar"))
        return {"-q", "-D", "-o", dir, archive};
    if (reader == QLatin1String("lhasa")) {
        workDir = dir;
        return {"xq", archive};
    }
    return {};
}

// Extracts into a new folder `dir`; an empty text on success, else what went wrong.
inline QString extractWith(const QString &reader, const QString &archive, const QString &dir)
{
    if (reader == kOurDecoder)
        return extractWithOurDecoder(archive, dir);
    QDir().mkpath(dir);
    QString workDir;
    const QStringList args = readerArguments(reader, archive, dir, workDir);
    if (args.isEmpty())
        return "unknown reader " + reader;
    ToolResult r = runTool(reader, args, workDir);
    if (r.exitCode != 0)
        return reader + " failed (" + QString::number(r.exitCode)
            + "): " + QString::fromUtf8(r.out + r.err);
    return {};
}

// Copies the tree `from` into `to`, leaving out top-level names in `skip`.
inline void copyTree(const QString &from, const QString &to, const QStringList &skip = {})
{
    QDir().mkpath(to);
    const QDir base(from);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString rel = base.relativeFilePath(it.filePath());
        if (skip.contains(rel.section(QLatin1Char('/'), 0, 0)))
            continue;
        if (it.fileInfo().isDir())
            QDir().mkpath(to + QLatin1Char('/') + rel);
        else
            writeFile(to + QLatin1Char('/') + rel, readFile(it.filePath()));
    }
}

// Removes folders that hold no file, deepest first (a cabinet keeps none).
inline void removeEmptyFolders(const QString &root)
{
    QStringList folders;
    QDirIterator it(
        root, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        folders << it.next();
    std::sort(folders.begin(), folders.end(),
        [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &f : folders)
        QDir().rmdir(f); // fails, as wanted, when not empty
}

// Files whose modification time differs from the expected tree's by more
// than the two seconds of DOS time.
inline QStringList timeDifferences(const QString &expected, const QString &actual)
{
    QStringList diffs;
    for (const QString &rel : listTree(actual)) {
        if (rel.endsWith(QLatin1Char('/')))
            continue;
        QFileInfo e(expected + QLatin1Char('/') + rel), a(actual + QLatin1Char('/') + rel);
        if (qAbs(e.lastModified().secsTo(a.lastModified())) > 2)
            diffs << rel + ": " + e.lastModified().toString(Qt::ISODate) + " became "
                    + a.lastModified().toString(Qt::ISODate);
    }
    return diffs;
}

// Sets the modification time of every file below `root`. (writeFile's own
// time is overwritten when QFile flushes small contents at close.)
inline void setTreeTime(const QString &root, const QDateTime &time)
{
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadWrite)
            || !f.setFileTime(time, QFileDevice::FileModificationTime))
            qFatal("cannot set the time of %s", qPrintable(f.fileName()));
    }
}

// The contents every format is tried with: an empty file, binary and
// incompressible data, text, Japanese names, a name outside code page 932,
// nested and empty folders, a hidden file, a name with spaces. Every file
// gets the same local modification time.
inline QDateTime matrixTime()
{
    return QDateTime(QDate(2021, 3, 4), QTime(5, 6, 8)); // local time
}

inline void writeMatrix(const QString &root)
{
    QByteArray allBytes;
    for (int i = 0; i < 70000; ++i)
        allBytes += char(i * 7 % 256);
    QByteArray text;
    for (int i = 0; i < 4000; ++i)
        text += "line " + QByteArray::number(i) + " of a compressible text file\n";
    const QDateTime t = matrixTime();
    writeFile(root + "/empty.txt", QByteArray(), t);
    writeFile(root + "/binary.bin", allBytes, t);
    writeFile(root + "/random.bin", randomBytes(300 * 1024, 7), t);
    writeFile(root + "/text.txt", text, t);
    writeFile(root + QStringLiteral("/日本語の名前.txt"), QStringLiteral("中身").toUtf8(), t);
    writeFile(root + QStringLiteral("/한국어-ŰŐ.txt"), "outside cp932", t);
    writeFile(root + "/with space.txt", "spaces", t);
    writeFile(root + "/.hidden", "hidden", t);
    writeFile(root + QStringLiteral("/nested/深い/deepest/file.txt"), text.left(999), t);
    QDir().mkpath(root + "/empty folder");
    setTreeTime(root, t);
}

} // namespace sheaf::test
