// The three archivers and the command line of one archive. The line is
// composed exactly as the engine's dialects expect it; nothing is escaped,
// which is why the run refuses names holding a double quote before it gets
// here.

#include "archive/archiver_choice.h"

#include "archiver/archiver_facts.h"

namespace sheaf {

namespace {

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

} // namespace

QString archivePrefix(ArchiverKind archiver, bool together)
{
    const auto &facts = sheaf::archiver::archiverFacts(archiver);
    return latin1(together ? facts.wholeFolderPrefix : facts.oneFilePrefix);
}

QString archiveExtension(ArchiverKind archiver)
{
    return latin1(sheaf::archiver::archiverFacts(archiver).extension);
}

QString composeCommandLine(ArchiverKind archiver, bool together, const QString &archivePathNoExt,
    const QString &dir, const QString &fileName)
{
    const QChar quote(u'"');
    QString line;
    line.reserve(archivePathNoExt.size() + dir.size() + fileName.size() + 32);
    line += archivePrefix(archiver, together);
    line += quote;
    line += archivePathNoExt;
    line += archiveExtension(archiver);
    line += quote;
    line += u' ';
    line += quote;
    line += dir;
    line += quote;
    if (together) {
        line += QStringLiteral(" *.*");
    } else {
        line += u' ';
        line += quote;
        line += fileName;
        line += quote;
    }
    return line;
}

ArchiverKind effectiveArchiver(ArchiverChoice choice)
{
    return choice.value_or(ArchiverKind::Lzh);
}

} // namespace sheaf
