#pragma once
// The extension field and its history list as plain data: the field's text
// and the ordered entries, most recent first. The window copies the combo
// box into it, runs one operation and copies the result back.

#include <QString>
#include <QStringList>

namespace sheaf {

class ExtensionList
{
public:
    static constexpr int MaxEntries = 1001; // the field's own text plus 1000 kept entries

    QString text; // the field's text: the current extension
    QStringList entries; // the drop-down list, most recent first

    // A full stop followed by 1 to 4 characters, without '*' or '?', no
    // leading or trailing space.
    static bool isValid(const QString &extension);
    // Trims and validates the text; a new valid extension goes to the top.
    // An invalid one gives way to entry 0 (or the empty text).
    void ExtentCommit();
    // Removes every entry equal to the text (and empty entries); the text
    // becomes entry 0. Does nothing on fewer than 2 entries.
    void ExtentRemove();
    // Moves the text to the top of the list, unvalidated.
    void ExtentToFront();
};

} // namespace sheaf
