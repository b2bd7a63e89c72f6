// libFuzzer target for the settings reader: any bytes at all, read as the
// settings file, must give either the file's settings or the defaults,
// without a crash, and what it gives must save and load back unchanged.

#include "app/settings_file.h"

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <cstdlib>

namespace {

// The extension entries a save writes: no empty ones, and none that would
// need quotes while holding a quote.
QStringList savedEntries(const QStringList &entries)
{
    QStringList out;
    for (const QString &e : entries) {
        const bool needsQuotes = e.contains(u',') || e.contains(u'\r') || e.contains(u'\n')
            || e.startsWith(u' ') || e.startsWith(u'"');
        if (!e.isEmpty() && !(needsQuotes && e.contains(u'"')))
            out << e;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    sheaf::Settings settings;
    sheaf::parseSettings(&content, settings, QStringLiteral("/cur"));

    // Whatever was read saves and loads back to the same settings (empty
    // extension entries are dropped on saving; values that cannot be written
    // are left out and keep the state before loading).
    const QByteArray saved = sheaf::serializeSettings(settings);
    // A position read before a failed read stays as it was, below 0 too;
    // loaded from a file, a position below 0 puts the window at 0, 0.
    const bool below = settings.top < 0 || settings.left < 0;
    const double top = below ? 0 : settings.top, left = below ? 0 : settings.left;
    sheaf::Settings back = settings;
    back.extensions.clear();
    if (sheaf::parseSettings(&saved, back, QStringLiteral("/cur"))
        != sheaf::IniLoadResult::FileApplied)
        std::abort();
    if (back.chkSelect != settings.chkSelect || back.chkOutput != settings.chkOutput
        || back.chkName != settings.chkName || back.chkTogether != settings.chkTogether
        || back.archiver != settings.archiver || back.selectFolder != settings.selectFolder
        || back.outputFolder != settings.outputFolder || back.top != top || back.left != left
        || back.extensions != savedEntries(settings.extensions))
        std::abort();
    return 0;
}
