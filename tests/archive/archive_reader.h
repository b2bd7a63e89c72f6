#pragma once
// Reading back what a compress run made, with independent archivers: unar
// for LZH (it reads the code page 932 names), 7zz for ZIP and CAB.

#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QMap>
#include <QString>
#include <QStringList>

namespace sheaf::test {

inline QString readerFor(const QString &archive)
{
    return archive.endsWith(QLatin1String(".lzh")) ? QStringLiteral("unar") : QStringLiteral("7zz");
}

// Extracts `archive` into a new folder under `scratch`; returns that folder,
// or an empty text with the reader's complaint in `error`.
inline QString extractArchive(const QString &archive, const QString &scratch, QString *error)
{
    static int serial = 0;
    const QString into = scratch + QStringLiteral("/x%1").arg(++serial);
    QDir().mkpath(into);
    const QString reader = readerFor(archive);
    const QStringList args = reader == QLatin1String("unar")
        ? QStringList {QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("-D"),
            QStringLiteral("-o"), into, archive}
        : QStringList {
            QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + into, archive};
    const ToolResult r = runTool(reader, args);
    if (r.exitCode != 0) {
        *error = QStringLiteral("%1 failed on %2: %3")
                     .arg(reader, archive, QString::fromUtf8(r.out + r.err));
        return {};
    }
    return into;
}

// Extracts `archive` and compares it with the tree at `expected`. Returns the
// differences (empty when equal), or the reader's complaint.
inline QStringList extractAndCompare(
    const QString &archive, const QString &expected, const QString &scratch)
{
    QString error;
    const QString into = extractArchive(archive, scratch, &error);
    if (into.isEmpty())
        return {error};
    return compareTrees(expected, into);
}

// The same against the members given as path -> bytes (a path ending in '/'
// is a folder).
inline QStringList extractAndCompare(
    const QString &archive, const QMap<QString, QByteArray> &members, const QString &scratch)
{
    static int serial = 0;
    const QString expected = scratch + QStringLiteral("/e%1").arg(++serial);
    QDir().mkpath(expected);
    for (auto it = members.begin(); it != members.end(); ++it) {
        if (it.key().endsWith(u'/'))
            QDir().mkpath(expected + u'/' + it.key());
        else
            writeFile(expected + u'/' + it.key(), it.value());
    }
    return extractAndCompare(archive, expected, scratch);
}

} // namespace sheaf::test
