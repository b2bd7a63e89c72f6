#pragma once
// The three archivers the window offers, and the command line of one archive.
// The archivers are the engine's own ArchiverKind; only the window and its
// settings file know the state "none chosen", as an empty ArchiverChoice.

#include "archiver/engine.h"

#include <QString>
#include <optional>

namespace sheaf {

using ArchiverKind = sheaf::archiver::ArchiverKind;
using ArchiverChoice = std::optional<ArchiverKind>;

// "a -a1 -r0 " / "a -a2 -r2x1 ", "-S " / "-r -S ", "-a " / "-a -r ".
QString archivePrefix(ArchiverKind archiver, bool together);
// ".lzh", ".zip", ".cab".
QString archiveExtension(ArchiverKind archiver);
// prefix + "\"" + archivePath + ext + "\" " + "\"" + dir + "\"" +
// (together ? " *.*" : " \"" + fileName + "\"")
QString composeCommandLine(ArchiverKind archiver, bool together, const QString &archivePathNoExt,
    const QString &dir, const QString &fileName);
// The archiver a run uses: LHA when none is chosen, so a run always has one.
ArchiverKind effectiveArchiver(ArchiverChoice choice);

} // namespace sheaf
