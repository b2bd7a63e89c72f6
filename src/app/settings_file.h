#pragma once
// The settings file "kwSheaf.ini": code page 932 (UTF-8 with a byte-order
// mark when a value has no code-page-932 form), CR LF, "key,value" lines.

#include "archive/archiver_choice.h"

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

namespace sheaf {

// The window's state that the file keeps. Before loading it holds the
// window's state from before loading; a key the file lacks leaves its field.
struct Settings
{
    int chkSelect = 0, chkOutput = 0, chkName = 0, chkTogether = 0; // 0, 1 or 2
    QString selectFolder, outputFolder;
    QStringList extensions; // the extension list, file order
    QString extensionText; // the field's text: entry 0 after loading
    ArchiverChoice archiver; // empty: the file names none
    double top = 0, left = 0; // window position, twips
    bool positionRead = false; // the file gave a position (kept when a later line fails)
};

// The extension lines read at most: the list's own limit. Later ones are
// passed over, so an oversized file costs no more than a full list.
constexpr int MaxExtensionLines = 1001;

// The largest file read: a full extension list and two long folders take
// well under a tenth of it.
constexpr qint64 MaxSettingsBytes = 1 << 20;

enum class IniLoadResult { FileApplied, DefaultsApplied };

// Parses `content` into `settings` (which holds the state before loading);
// on any failure applies the defaults with `currentDir` for both folders,
// over what was read before the failure. A text with no setting line in it
// (empty, binary, UTF-16) gives the defaults too.
// The switch values go on-then-off through `settings` for the defaults, which
// the window replays so that each handler runs.
IniLoadResult parseSettings(
    const QByteArray *content, Settings &settings, const QString &currentDir);
QByteArray serializeSettings(const Settings &settings);

// The file's path: beside the program, or the user's configuration folder
// when the program's folder is not writable and no file is beside it.
QString settingsPath();
// The choice behind settingsPath(): a file beside the program wins when it
// exists; otherwise beside the program when that folder is writable, else in
// the configuration folder.
QString settingsPathIn(
    const QString &programFolder, bool programFolderWritable, const QString &configFolder);
// Reads `path` into settings. Anything but a regular file of at most
// MaxSettingsBytes (missing, a named pipe, a device) gives the defaults.
IniLoadResult IniLoad(const QString &path, Settings &settings, const QString &currentDir);
// Writes through a temporary file and a rename, or in place when the
// folder takes no new file. False when it failed or something other than a
// regular file stands at `path`; a symbolic link there is followed only
// when it is the user's own and leads to a file of the user's.
bool IniSave(const QString &path, const Settings &settings);

// Where a window whose frame is `frame` goes so that it lies on a screen:
// unchanged when one of `screens` holds its top-left corner with 100 x 23
// pixels of its title bar; otherwise moved into the screen it overlaps
// most (the nearest one when it overlaps none), as far as it fits.
QPoint placeOnScreens(const QRect &frame, const QList<QRect> &screens);

// Where `count` windows like `frame` go, each one CascadeStep pixels right
// of and below the one before, so that every title bar shows: from the
// frame's corner, moved as a whole onto a screen as placeOnScreens moves one.
constexpr int CascadeStep = 32;
QList<QPoint> cascadeOnScreens(const QRect &frame, int count, const QList<QRect> &screens);

// A file without an archiver line leaves none chosen; start-up then chooses
// LHA so that a run always has an archiver.
void chooseArchiverAtStartup(Settings &settings);

} // namespace sheaf
