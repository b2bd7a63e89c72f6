#include "support/command_lines.h"

#include "archiver/archiver_facts.h"

#include <QTest>

namespace sheaf::test {

namespace {

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

void forEachArchiver(const std::function<void(const char *name, archiver::ArchiverKind kind)> &row)
{
    for (const archiver::ArchiverFacts &f : archiver::allArchivers())
        row(f.name.data(), f.kind); // the names are literals, so they end in NUL
}

void addArchiverRows()
{
    QTest::addColumn<archiver::ArchiverKind>("archiver");
    forEachArchiver(
        [](const char *name, archiver::ArchiverKind kind) { QTest::newRow(name) << kind; });
}

archiver::ArchiverKind archiverKind(const QString &name)
{
    const archiver::ArchiverFacts *facts = archiver::archiverNamed(name.toStdString());
    Q_ASSERT(facts);
    return facts->kind;
}

QString extensionOf(archiver::ArchiverKind kind)
{
    return text(archiver::archiverFacts(kind).extension);
}

QString oneFileLine(
    archiver::ArchiverKind kind, const QString &archive, const QString &folder, const QString &name)
{
    return text(archiver::archiverFacts(kind).oneFilePrefix) + '"' + archive + "\" \"" + folder
        + "/\" \"" + name + '"';
}

QString wholeFolderLine(archiver::ArchiverKind kind, const QString &archive, const QString &folder,
    const QString &pattern)
{
    return text(archiver::archiverFacts(kind).wholeFolderPrefix) + '"' + archive + "\" \"" + folder
        + "/\" " + pattern;
}

QStringList arcArguments(archiver::ArchiverKind kind, bool wholeFolder, const QString &archive,
    const QString &folder, const QStringList &names)
{
    const archiver::ArchiverFacts &facts = archiver::archiverFacts(kind);
    QStringList args {text(facts.name)};
    args << text(wholeFolder ? facts.wholeFolderPrefix : facts.oneFilePrefix)
                .split(u' ', Qt::SkipEmptyParts);
    return args << archive << folder + u'/' << names;
}

} // namespace sheaf::test
