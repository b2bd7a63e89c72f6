#pragma once
// Reading back what a compress run made, with an independent archiver:
// 7zz extracts LZH, ZIP and CAB alike.

#include "support/oracles.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace sheaf::test {

// Extracts `archive` into a new folder under `scratch` and compares it with
// the tree at `expected`. Returns the differences (empty when equal), or
// the reader's complaint.
inline QStringList extractAndCompare(
    const QString &archive, const QString &expected, const QString &scratch)
{
    static int serial = 0;
    const QString into = scratch + QStringLiteral("/x%1").arg(++serial);
    QDir().mkpath(into);
    const ToolResult r = runTool(QStringLiteral("7zz"),
        {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + into, archive});
    if (r.exitCode != 0)
        return {
            QStringLiteral("7zz failed on %1: %2").arg(archive, QString::fromUtf8(r.out + r.err))};
    return compareTrees(expected, into);
}

} // namespace sheaf::test
