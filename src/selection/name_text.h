#pragma once
// A file name on Linux is a byte string; the candidate list holds it as text
// without losing a byte. Well-formed UTF-8 becomes its characters; every byte
// that is not part of a well-formed sequence becomes the lone surrogate
// U+DC80..U+DCFF, which no well-formed UTF-8 decodes to. So the folder that is
// scanned, the file that is renamed and the file that is archived are always
// the ones listed, and a name with no faithful Unicode form can be told apart
// (and refused) instead of turning into a look-alike with U+FFFD.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <filesystem>

namespace sheaf {

// The name's text from the bytes the system gave.
QString nameFromBytes(QByteArrayView bytes);
// The bytes again, exactly.
QByteArray nameBytes(QStringView name);
// The path the system calls take: the exact bytes (UTF-16 on Windows).
std::filesystem::path namePath(QStringView name);
// The name's text for a path from the standard library.
QString nameFromPath(const std::filesystem::path &path);
// The absolute, cleaned text of a path given on a command line (a relative
// one is taken from the current folder, its bytes kept); empty when the
// current folder cannot be read (it was removed, or is out of reach).
QString absoluteNameText(const QString &path);
// False when the name holds a byte that is not part of well-formed UTF-8:
// such a name has no faithful form in any archive format.
bool hasUnicodeForm(QStringView name);
// The name for a message or a grid cell: bytes outside UTF-8 as \xHH and
// control characters as \n, \t, \r or \xHH; everything else as it is.
QString shownName(QStringView name);
// The name for one line of a listing: as shownName, and a backslash doubled,
// so that two names never give the same line.
QString listedName(QStringView name);

} // namespace sheaf
