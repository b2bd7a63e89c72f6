#include "support/temp_tree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTest>

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

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = seed ? seed : 1;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = char(x >> 24);
    }
    return out;
}

} // namespace sheaf::test
