#include "support/temp_tree.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <sys/stat.h>

namespace sheaf::test {

void writeFile(const QString &path, const QByteArray &content, const QDateTime &mtime)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    f.write(content);
    f.close();
    // The time is set on a second open: closing after a write would stamp
    // the file again.
    if (mtime.isValid()) {
        QFile g(path);
        if (!g.open(QIODevice::Append) || !g.setFileTime(mtime, QFileDevice::FileModificationTime))
            qFatal("cannot set the time of %s", qPrintable(path));
    }
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void setTreeTime(const QString &root, const QDateTime &time)
{
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadWrite)
            || !f.setFileTime(time, QFileDevice::FileModificationTime))
            qFatal("cannot set the time of %s", qPrintable(f.fileName()));
    }
}

QStringList listTree(const QString &root)
{
    QStringList out;
    QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        QString rel = base.relativeFilePath(it.filePath());
        if (it.fileInfo().isDir())
            rel += QLatin1Char('/');
        out << rel;
    }
    out.sort();
    return out;
}

QStringList namesIn(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QStringList compareTrees(const QString &expected, const QString &actual)
{
    QStringList diffs;
    const QStringList a = listTree(expected);
    const QStringList b = listTree(actual);
    for (const QString &p : a) {
        if (!b.contains(p))
            diffs << QStringLiteral("missing: ") + p;
        else if (!p.endsWith(QLatin1Char('/'))
            && readFile(expected + QLatin1Char('/') + p) != readFile(actual + QLatin1Char('/') + p))
            diffs << QStringLiteral("differs: ") + p;
    }
    for (const QString &p : b)
        if (!a.contains(p))
            diffs << QStringLiteral("extra: ") + p;
    return diffs;
}

bool isEngineTemporary(const QString &name)
{
    return name.startsWith(u'.') && name.contains(QLatin1String(".sheaf-tmp-"));
}

QMap<QString, QByteArray> hashTree(const QString &root, bool skipTemporaries)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        if (skipTemporaries && isEngineTemporary(info.fileName()))
            continue;
        const QString key = base.relativeFilePath(path);
        if (info.isSymLink()) {
            tree[key] = "link:" + info.symLinkTarget().toUtf8();
        } else if (info.isDir()) {
            tree[key] = "dir";
        } else if (info.isFile()) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) {
                tree[key] = "unreadable";
                continue;
            }
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(&f);
            tree[key] = hash.result().toHex();
        } else {
            tree[key] = "special";
        }
    }
    return tree;
}

QStringList treeDifferences(
    const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after)
{
    QStringList out;
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key()))
            out << QStringLiteral("gone: ") + it.key();
        else if (after.value(it.key()) != it.value())
            out << QStringLiteral("changed: ") + it.key();
    }
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()))
            out << QStringLiteral("new: ") + it.key();
    return out;
}

QByteArray bytesFromEscapes(const QString &text)
{
    QByteArray out = text.toUtf8();
    for (qsizetype at; (at = out.indexOf("\\x")) >= 0;)
        out.replace(at, 4, QByteArray::fromHex(out.mid(at + 2, 2)));
    return out;
}

QByteArray readRaw(const std::filesystem::path &path)
{
    QByteArray bytes;
    if (FILE *fp = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0)
            bytes.append(buf, qsizetype(n));
        std::fclose(fp);
    }
    return bytes;
}

RawTree readRawTree(const std::filesystem::path &root)
{
    RawTree t;
    for (const auto &e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = std::filesystem::relative(e.path(), root).native();
        if (e.is_directory()) {
            t.dirs.insert(rel);
            continue;
        }
        t.files[rel] = readRaw(e.path());
        struct stat st;
        if (::stat(e.path().c_str(), &st) == 0) {
            t.mtimes[rel] = st.st_mtime;
            t.modes[rel] = st.st_mode & 07777;
        }
    }
    return t;
}

} // namespace sheaf::test
