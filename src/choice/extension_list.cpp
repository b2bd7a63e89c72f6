#include "choice/extension_list.h"

namespace sheaf {

namespace {

// The working table holds the field's text plus this many kept entries.
constexpr int keptEntries = ExtensionList::MaxEntries - 1;

// Spaces trimmed from the field: the ASCII space and the full-width space
// (U+3000), which a Japanese input method types just as easily.
bool isSpace(QChar c)
{
    return c == u' ' || c == u'\u3000';
}

QString trimmed(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// The non-empty entries that differ from `except`, in list order. Beyond the
// table's room the oldest entries, at the end, go.
QStringList keptFrom(const QStringList &entries, const QString &except = QString())
{
    QStringList kept;
    for (const QString &entry : entries) {
        if (kept.size() == keptEntries)
            break;
        if (!entry.isEmpty() && entry != except)
            kept.append(entry);
    }
    return kept;
}

} // namespace

bool ExtensionList::isValid(const QString &extension)
{
    return extension.size() >= 2 && extension.size() <= 5 && extension[0] == u'.'
        && !extension.contains(u'*') && !extension.contains(u'?') && !isSpace(extension.back());
}

void ExtensionList::ExtentCommit()
{
    text = trimmed(text);
    if (!isValid(text)) {
        text = entries.value(0);
        return;
    }
    // Already listed (anywhere): it stays where it is.
    if (entries.contains(text))
        return;
    QStringList rebuilt = keptFrom(entries);
    rebuilt.prepend(text);
    entries = rebuilt;
    text = entries[0];
}

void ExtensionList::ExtentRemove()
{
    if (entries.size() < 2)
        return; // the last entry stays
    entries = keptFrom(entries, text);
    text = entries.value(0);
}

void ExtensionList::ExtentToFront()
{
    QStringList rebuilt = keptFrom(entries, text);
    rebuilt.prepend(text);
    entries = rebuilt;
    text = entries[0];
}

} // namespace sheaf
