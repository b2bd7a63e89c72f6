#pragma once
// The three archivers the window offers, and the command line of one archive.

#include "archiver/engine.h"

#include <QString>

namespace sheaf {

enum class Archiver { None, Lzh, Zip, Cab };

// "a -a1 -r0 " / "a -a2 -r2x1 ", "-S " / "-r -S ", "-a " / "-a -r "; empty for None.
QString archivePrefix(Archiver archiver, bool together);
// ".lzh", ".zip", ".cab"; empty for None.
QString archiveExtension(Archiver archiver);
// prefix + "\"" + archivePath + ext + "\" " + "\"" + dir + "\"" +
// (together ? " *.*" : " \"" + fileName + "\"")
QString composeCommandLine(Archiver archiver, bool together, const QString &archivePathNoExt,
    const QString &dir, const QString &fileName);
sheaf::archiver::ArchiverKind engineKind(Archiver archiver); // Lzh for None
// The window's archiver for the engine's kind.
Archiver archiverOf(sheaf::archiver::ArchiverKind kind);
// The archiver a run uses: LHA when none is chosen, so a run always has one.
Archiver effectiveArchiver(Archiver archiver);

} // namespace sheaf
