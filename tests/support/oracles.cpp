#include "support/oracles.h"

#include "support/temp_tree.h"

#include "archiver/archive_error.h"
#include "archiver/lzh/lzh_decoder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

namespace sheaf::test {

bool inCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

bool toolAvailable(const QString &program)
{
    if (program == kOurDecoder)
        return true;
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

namespace {

QString extractWithOurDecoder(const QString &archive, const QString &dest)
{
    namespace fs = std::filesystem;
    const fs::path root = dest.toStdString();
    fs::create_directories(root);
    std::FILE *file = nullptr;
    uint64_t current = ~uint64_t(0);
    auto sink = [&](const archiver::LzhMemberReport &m, const uint8_t *data, size_t size) {
        if (m.headerOffset != current) {
            if (file)
                std::fclose(file);
            const fs::path path = root / m.storedPath;
            fs::create_directories(path.parent_path());
            file = std::fopen(path.c_str(), "wb");
            current = m.headerOffset;
        }
        if (file)
            std::fwrite(data, 1, size, file);
    };
    std::vector<archiver::LzhMemberReport> members;
    try {
        members = archiver::decodeLzhArchive(archive.toStdString(), sink);
    } catch (const archiver::ArchiveError &e) {
        if (file)
            std::fclose(file);
        return kOurDecoder + QStringLiteral(": ") + QString::fromUtf8(e.what());
    }
    if (file)
        std::fclose(file);
    for (const archiver::LzhMemberReport &m : members) {
        if (!m.fault.empty())
            return kOurDecoder + QStringLiteral(": ") + QString::fromStdString(m.storedPath)
                + QStringLiteral(": ") + QString::fromStdString(m.fault);
        const fs::path path = root / m.storedPath;
        if (m.isDirectory) {
            fs::create_directories(path);
            continue;
        }
        if (!fs::exists(path)) { // an empty member hands out no bytes
            fs::create_directories(path.parent_path());
            if (std::FILE *f = std::fopen(path.c_str(), "wb"))
                std::fclose(f);
        }
        const struct timespec times[2] = {{time_t(m.mtime), 0}, {time_t(m.mtime), 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    return {};
}

} // namespace

QStringList readerArguments(const QString &reader, const QString &archive, const QString &dest,
    QString &workDir, const QString &unarEncoding)
{
    workDir.clear();
    const QString abs = QFileInfo(archive).absoluteFilePath();
    if (reader == QLatin1String("unzip"))
        return {"-q", "-o", abs, "-d", dest};
    if (reader == QLatin1String("7zz"))
        return {"x", "-y", "-bd", "-o" + dest, abs};
    if (reader == QLatin1String("bsdtar"))
        return {"-x", "-f", abs, "-C", dest};
    if (reader == QLatin1String("cabextract"))
        return {"-q", "-d", dest, abs};
    if (reader == QLatin1String("unar")) {
        QStringList args {"-q", "-D", "-o", dest};
        if (!unarEncoding.isEmpty())
            args << "-e" << unarEncoding;
        return args << abs;
    }
    if (reader == QLatin1String("lha"))
        return {"xqfw=" + dest, abs};
    if (reader == QLatin1String("lhasa")) {
        workDir = dest;
        return {"xq", abs};
    }
    return {};
}

QString extractWith(
    const QString &reader, const QString &archive, const QString &dest, const QString &unarEncoding)
{
    if (reader == kOurDecoder)
        return extractWithOurDecoder(archive, dest);
    QDir().mkpath(dest);
    QString workDir;
    const QStringList args = readerArguments(reader, archive, dest, workDir, unarEncoding);
    if (args.isEmpty())
        return "unknown reader " + reader;
    const ToolResult r = runTool(reader, args, workDir);
    if (r.exitCode == 0)
        return {};
    return reader + " exit " + QString::number(r.exitCode) + ": "
        + QString::fromUtf8(r.out.right(1500) + r.err.right(1500));
}

QString readerFor(const QString &archive)
{
    return archive.endsWith(QLatin1String(".lzh")) ? QStringLiteral("unar") : QStringLiteral("7zz");
}

QString extractArchive(const QString &archive, const QString &scratch, QString *error)
{
    static int serial = 0;
    const QString into = scratch + QStringLiteral("/x%1").arg(++serial);
    *error = extractWith(readerFor(archive), archive, into);
    if (!error->isEmpty()) {
        *error = archive + ": " + *error;
        return {};
    }
    return into;
}

QStringList extractAndCompare(
    const QString &archive, const QString &expected, const QString &scratch)
{
    QString error;
    const QString into = extractArchive(archive, scratch, &error);
    if (into.isEmpty())
        return {error};
    return compareTrees(expected, into);
}

QStringList extractAndCompare(
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

QList<QMap<QString, QString>> sevenZipMembers(const QString &archive)
{
    const ToolResult r = runTool(QStringLiteral("7zz"), {"l", "-slt", archive});
    QList<QMap<QString, QString>> members;
    if (r.exitCode != 0)
        return members;
    // The members follow a line of dashes, each opened by its path; the
    // archive's own properties stand before them.
    const QStringList lines
        = QString::fromUtf8(r.out).section(QStringLiteral("\n----------\n"), 1).split(u'\n');
    for (const QString &line : lines) {
        const qsizetype at = line.indexOf(QLatin1String(" = "));
        if (at < 0)
            continue;
        if (line.startsWith(QLatin1String("Path = ")))
            members.append(QMap<QString, QString>());
        if (!members.isEmpty())
            members.last()[line.left(at)] = line.mid(at + 3);
    }
    return members;
}

} // namespace sheaf::test
