#include "support/oracles.h"

#include <QProcess>
#include <QStandardPaths>

namespace sheaf::test {

bool inCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

bool toolAvailable(const QString &program)
{
    if (program == QLatin1String("sheaf"))
        return true; // our own LZH decoder, run in process by the archiver tests
    return !QStandardPaths::findExecutable(program).isEmpty();
}

ToolResult runTool(
    const QString &program, const QStringList &args, const QString &workDir, int timeoutMs)
{
    ToolResult r;
    QProcess p;
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    if (!p.waitForStarted(30000))
        return r;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

} // namespace sheaf::test
