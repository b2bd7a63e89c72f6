#pragma once
// The window program's command line, `sheaf [FOLDER]`, and the folder that a
// path given from outside (an argument, a file manager's drop) stands for.

#include <QString>
#include <QStringList>

namespace sheaf {

// A folder stands for itself, a file for the folder holding it: absolute,
// cleaned, native separators. Empty when nothing exists at `path`.
QString folderForPath(const QString &path);

// The windows one start opens at most: more would cover one another.
constexpr int MaxWindows = 10;

struct StartArguments
{
    enum class Action { Window, Help, Version, Screenshot, Error };
    Action action = Action::Window;
    // Window: the selection folders to open, one window each, each folder
    // once, in the order given; none keeps the settings file's folder.
    QStringList folders;
    QString screenshotPath; // Screenshot: the picture to write
    QString error; // Error: one line for stderr
};

// `args` starts with the program. -h, --help and --version win over any
// other argument, so that they answer before a display is needed.
StartArguments parseStartArguments(const QStringList &args);
QString startHelpText();
// The message of a start with more folders than windows: the folders not
// opened, lines joined by "\r".
QString foldersNotOpenedText(const QStringList &folders);

} // namespace sheaf
