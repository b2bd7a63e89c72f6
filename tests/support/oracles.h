#pragma once
// The independent readers our tests check archives with, and the programs
// this build made. In CI every reader is installed, so a missing one fails
// the test there and skips it elsewhere.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTest>

namespace sheaf::test {

bool inCi();
bool toolAvailable(const QString &program);

struct ToolResult
{
    int exitCode = -1; // -1 when it could not start or timed out
    QByteArray out;
    QByteArray err;
};

// Runs a program with arguments in workDir (empty: the current folder).
ToolResult runTool(const QString &program, const QStringList &args,
    const QString &workDir = QString(), int timeoutMs = 300000);

inline QString sheafArc()
{
    return QStringLiteral(SHEAF_BINARY_DIR "/src/cli/sheaf-arc");
}
inline QString sheafBatch()
{
    return QStringLiteral(SHEAF_BINARY_DIR "/src/cli/sheaf-batch");
}

// Our own LZH decoder as one more reader: it extracts by the stored Unicode
// names and sets the times, and a member's fault is a failure. It runs in
// process; the other readers still check every archive independently.
inline const QString kOurDecoder = QStringLiteral("sheaf");

// The arguments that make `reader` (unzip, 7zz, bsdtar, cabextract, unar,
// lhasa or jlha's lha) extract `archive` into `dest`; `workDir` is set for
// the readers that extract into the current folder. unar guesses the code
// page of the names from their bytes, which needs more than a few
// characters; `unarEncoding` names it instead.
QStringList readerArguments(const QString &reader, const QString &archive, const QString &dest,
    QString &workDir, const QString &unarEncoding = {});
// Extracts `archive` into `dest` with `reader` or ours; empty on success,
// else the reader's complaint. jlha keeps ASCII names only as they are, and
// may write a member short and still succeed: compare the bytes.
QString extractWith(const QString &reader, const QString &archive, const QString &dest,
    const QString &unarEncoding = {});

// The reader that extractAndCompare trusts for an archive: unar for LZH (it
// turns code page 932 names back into Unicode), 7zz for ZIP and CAB.
QString readerFor(const QString &archive);
// Extracts `archive` into a new folder under `scratch`; returns that folder,
// or an empty text with the reader's complaint in `error`.
QString extractArchive(const QString &archive, const QString &scratch, QString *error);
// Extracts `archive` and compares it with the tree at `expected`. Returns the
// differences (empty when equal), or the reader's complaint.
QStringList extractAndCompare(
    const QString &archive, const QString &expected, const QString &scratch);
// The same against the members given as path -> bytes (a path ending in '/'
// is a folder).
QStringList extractAndCompare(
    const QString &archive, const QMap<QString, QByteArray> &members, const QString &scratch);

// 7-Zip's technical listing (l -slt): each member's properties ("Method",
// "Attributes", "Characteristics"...) in the archive's order; empty when
// 7zz fails.
QList<QMap<QString, QString>> sevenZipMembers(const QString &archive);

} // namespace sheaf::test

// Use at the top of a test function that needs `program`.
#define SHEAF_REQUIRE_TOOL(program)                                                                \
    do {                                                                                           \
        if (!sheaf::test::toolAvailable(program)) {                                                \
            if (sheaf::test::inCi())                                                               \
                QFAIL(qPrintable(QStringLiteral("reader missing in CI: ") + program));             \
            QSKIP(qPrintable(QStringLiteral("reader not installed: ") + program));                 \
        }                                                                                          \
    } while (false)

// Both readers of extractAndCompare, for rows that cover every archiver.
#define SHEAF_REQUIRE_READERS()                                                                    \
    do {                                                                                           \
        SHEAF_REQUIRE_TOOL("unar");                                                                \
        SHEAF_REQUIRE_TOOL("7zz");                                                                 \
    } while (false)

// In a loop over readers: a missing one fails the test in CI, elsewhere the
// loop goes on with the next.
#define SHEAF_NEXT_WITHOUT_TOOL(program)                                                           \
    if (!sheaf::test::toolAvailable(program)) {                                                    \
        if (sheaf::test::inCi())                                                                   \
            QFAIL(qPrintable(QStringLiteral("reader missing in CI: ") + program));                 \
        continue;                                                                                  \
    }
