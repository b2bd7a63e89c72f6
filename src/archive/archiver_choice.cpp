// The three archivers and the command line of one archive. The line is
// composed exactly as the engine's dialects expect it; nothing is escaped,
// which is why the run refuses names holding a double quote before it gets
// here.

#include "archive/archiver_choice.h"

#include "archiver/archiver_facts.h"

namespace sheaf {

QString archivePrefix(Archiver archiver, bool together)
{
    if (archiver == Archiver::None)
        return {};
    const auto &facts = sheaf::archiver::archiverFacts(engineKind(archiver));
    const std::string_view prefix = together ? facts.wholeFolderPrefix : facts.oneFilePrefix;
    return QString::fromLatin1(prefix.data(), qsizetype(prefix.size()));
}

QString archiveExtension(Archiver archiver)
{
    if (archiver == Archiver::None)
        return {};
    const std::string_view ext = sheaf::archiver::archiverFacts(engineKind(archiver)).extension;
    return QString::fromLatin1(ext.data(), qsizetype(ext.size()));
}

QString composeCommandLine(Archiver archiver, bool together, const QString &archivePathNoExt,
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

sheaf::archiver::ArchiverKind engineKind(Archiver archiver)
{
    switch (archiver) {
    case Archiver::Zip:
        return sheaf::archiver::ArchiverKind::Zip;
    case Archiver::Cab:
        return sheaf::archiver::ArchiverKind::Cab;
    case Archiver::Lzh:
    case Archiver::None:
        break;
    }
    return sheaf::archiver::ArchiverKind::Lzh;
}

Archiver archiverOf(sheaf::archiver::ArchiverKind kind)
{
    switch (kind) {
    case sheaf::archiver::ArchiverKind::Zip:
        return Archiver::Zip;
    case sheaf::archiver::ArchiverKind::Cab:
        return Archiver::Cab;
    case sheaf::archiver::ArchiverKind::Lzh:
        break;
    }
    return Archiver::Lzh;
}

Archiver effectiveArchiver(Archiver archiver)
{
    return archiver == Archiver::None ? Archiver::Lzh : archiver;
}

} // namespace sheaf
