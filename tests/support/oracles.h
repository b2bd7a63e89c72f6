#pragma once
// The independent readers our tests check archives with. In CI every reader
// is installed, so a missing one fails the test there and skips it elsewhere.

#include <QByteArray>
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

// The sheaf-arc this build made.
inline QString sheafArc()
{
    return QStringLiteral(SHEAF_BINARY_DIR "/src/cli/sheaf-arc");
}

// Runs a program with arguments in workDir (empty: the current folder).
ToolResult runTool(const QString &program, const QStringList &args,
    const QString &workDir = QString(), int timeoutMs = 300000);

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
