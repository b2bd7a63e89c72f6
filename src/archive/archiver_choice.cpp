// The three archivers and the command line of one archive. The line is
// composed exactly as the engine's dialects expect it; nothing is escaped,
// which is why the run refuses names holding a double quote before it gets
// here.

#include "archive/archiver_choice.h"

namespace sheaf {

QString archivePrefix(Archiver archiver, bool together)
{
    switch (archiver) {
    case Archiver::Lzh:
        return together ? QStringLiteral("a -a2 -r2x1 ") : QStringLiteral("a -a1 -r0 ");
    case Archiver::Zip:
        return together ? QStringLiteral("-r -S ") : QStringLiteral("-S ");
    case Archiver::Cab:
        return together ? QStringLiteral("-a -r ") : QStringLiteral("-a ");
    case Archiver::None:
        break;
    }
    return {};
}

QString archiveExtension(Archiver archiver)
{
    switch (archiver) {
    case Archiver::Lzh:
        return QStringLiteral(".lzh");
    case Archiver::Zip:
        return QStringLiteral(".zip");
    case Archiver::Cab:
        return QStringLiteral(".cab");
    case Archiver::None:
        break;
    }
    return {};
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

Archiver effectiveArchiver(Archiver archiver)
{
    return archiver == Archiver::None ? Archiver::Lzh : archiver;
}

} // namespace sheaf
