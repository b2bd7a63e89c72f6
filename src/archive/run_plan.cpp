// Each entry's refusals come in a fixed order, the first that applies wins:
// a name with bytes outside UTF-8, a double quote, an unusable output folder,
// an empty folder name for the rename, a wildcard or backslash in the name on
// a one-file command line (a backslash anywhere), and an archive that would
// replace a member made earlier in the run.

#include "archive/run_plan.h"

#include "archive/entry_paths.h"
#include "archive/run_texts.h"
#include "selection/name_text.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace sheaf {

namespace {

// The file system reads a doubled separator as one; so do the plan's keys.
QString key(const QString &path)
{
    QString out;
    out.reserve(path.size());
    for (QChar c : path)
        if (c != u'/' || out.isEmpty() || out.back() != u'/')
            out += c;
    if (out.size() > 1 && out.back() == u'/')
        out.chop(1);
    return out;
}

QString parentKey(const QString &keyed)
{
    const qsizetype slash = keyed.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : keyed.left(slash);
}

// `folder` and every folder above it, as keys.
QStringList foldersUp(QString folder)
{
    QStringList out {folder};
    while (folder != QLatin1String("/") && folder.contains(u'/')) {
        folder = parentKey(folder);
        out << folder;
    }
    return out;
}

std::optional<QChar> patternCharacter(const QString &name)
{
    for (QChar c : name)
        if (c == u'*' || c == u'?' || c == u'\\')
            return c;
    return std::nullopt;
}

// What an earlier entry of the run put into one archive.
struct Made
{
    bool whole = false; // a whole folder: its members are not known here
    QSet<QString> members;
};

// The dependencies between entries, found through hash maps keyed by path so
// that a list of 30000 entries is planned in linear time. A folder reached
// through a symbolic link (an output folder given as a link into the
// selection) is keyed by where it leads, so two entries that meet there are
// seen to meet.
class Order
{
public:
    int waitFor(const EntryPlan &p, bool together)
    {
        int after = 0;
        const QString from = fileKey(p.dir + p.oldName), to = fileKey(p.dir + p.newName);
        const QString archive = fileKey(p.archivePath), dir = folderKey(p.dir);
        for (const QString &k : {from, to, archive})
            after = std::max(after, m_lastByPath.value(k));
        if (together)
            after = std::max(after, m_lastWriterUnder.value(dir));
        for (const QString &w : writeFolders(p, archive, dir))
            for (const QString &up : foldersUp(w))
                after = std::max(after, m_lastWholeReader.value(up));
        return after;
    }

    void add(int k, const EntryPlan &p, bool together)
    {
        const QString archive = fileKey(p.archivePath), dir = folderKey(p.dir);
        for (const QString &path :
            {fileKey(p.dir + p.oldName), fileKey(p.dir + p.newName), archive})
            m_lastByPath.insert(path, k);
        for (const QString &w : writeFolders(p, archive, dir))
            for (const QString &up : foldersUp(w))
                m_lastWriterUnder.insert(up, k);
        if (together)
            m_lastWholeReader.insert(dir, k);
    }

private:
    // The folder as the system finds it: each link on the way replaced by
    // where it leads. One look per folder (parents are remembered); a folder
    // that cannot be looked at is keyed by its text.
    QString folderKey(const QString &folder)
    {
        const QString keyed = key(folder);
        if (const auto it = m_folders.constFind(keyed); it != m_folders.constEnd())
            return *it;
        QString resolved = keyed;
        std::error_code ec;
        const std::filesystem::path path = namePath(keyed);
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
            const std::filesystem::path target = std::filesystem::canonical(path, ec);
            if (!ec)
                resolved = nameFromPath(target);
        } else if (keyed != QLatin1String("/") && keyed.contains(u'/')) {
            const QString parent = folderKey(parentKey(keyed));
            resolved = (parent == QLatin1String("/") ? QString() : parent)
                + keyed.mid(keyed.lastIndexOf(u'/'));
        }
        m_folders.insert(keyed, resolved);
        return resolved;
    }

    QString fileKey(const QString &path)
    {
        const QString keyed = key(path);
        const QString parent = folderKey(parentKey(keyed));
        return (parent == QLatin1String("/") ? QString() : parent)
            + keyed.mid(keyed.lastIndexOf(u'/'));
    }

    static QStringList writeFolders(const EntryPlan &p, const QString &archive, const QString &dir)
    {
        QStringList out {parentKey(archive)};
        if (p.newName != p.oldName && out[0] != dir)
            out << dir;
        return out;
    }

    QHash<QString, int> m_lastByPath; // a file or archive path -> last entry naming it
    QHash<QString, int> m_lastWriterUnder; // a folder -> last entry writing in or below it
    QHash<QString, int> m_lastWholeReader; // a folder -> last entry archiving it whole
    QHash<QString, QString> m_folders; // a folder's text -> where it leads
};

} // namespace

std::vector<EntryPlan> planRun(const CandidateList &list, const ArchiveRunSettings &settings)
{
    const ArchiverKind archiver = settings.archiver;
    const QString archiveExt = archiveExtension(archiver);
    std::vector<EntryPlan> plans(size_t(list.FileCount) + 1);
    QHash<QString, Made> made;
    Order order;

    for (int k = 1; k <= list.FileCount; ++k) {
        if (!list.isMarked(k))
            continue;
        EntryPlan &p = plans[size_t(k)];
        p.dir = list.FileDir[k];
        p.oldName = list.FileName[k];
        const QString path = list.fullPath(k);
        const auto refuse = [&p](const QString &text) {
            p.action = EntryPlan::Action::Refuse;
            p.refusal = text;
        };
        if (!hasUnicodeForm(path)) {
            refuse(run_texts::notUnicodeRefusal(path));
            continue;
        }
        // A double quote would end the quoted piece early and change what the
        // engine reads.
        if (path.contains(u'"')) {
            refuse(run_texts::quoteRefusal(path));
            continue;
        }
        if (settings.output && !hasUnicodeForm(settings.outputFolder)) {
            refuse(run_texts::notUnicodeRefusal(settings.outputFolder));
            continue;
        }
        if (settings.output && settings.outputFolder.contains(u'"')) {
            refuse(run_texts::quoteRefusal(settings.outputFolder));
            continue;
        }
        const QString folderName = folderNameOf(p.dir);
        if (settings.name && folderName.isEmpty()) {
            refuse(run_texts::emptyFolderNameRefusal(path));
            continue;
        }
        p.newName = settings.name ? folderName + settings.extension : p.oldName;
        // The one-file command line names the file; the engine would read
        // these characters as a pattern or a separator.
        // In a whole-folder archive the name is a member's name, where only a
        // backslash is refused (readers take it for a separator): refused
        // here too, before the file is renamed to it.
        if (const auto c = patternCharacter(p.newName); c && (!settings.together || *c == u'\\')) {
            refuse(run_texts::patternCharacterRefusal(path, *c));
            continue;
        }
        const QString archiveNoExt = archivePathOf(settings.output, settings.outputFolder, p.dir,
            baseNameOf(p.newName, settings.extension));
        p.archivePath = archiveNoExt + archiveExt;

        // Adding to an archive made earlier in this run is fine while it only
        // adds a member of another name; replacing one of its members is not.
        const QString archiveKey = key(p.archivePath);
        if (const auto it = made.constFind(archiveKey); it != made.constEnd()) {
            if (settings.together || it->whole || it->members.contains(p.newName)) {
                refuse(run_texts::sameArchiveRefusal(p.archivePath, path));
                continue;
            }
        }
        Made &into = made[archiveKey];
        into.whole = into.whole || settings.together;
        into.members.insert(p.newName);

        p.action = EntryPlan::Action::Archive;
        p.commandLine
            = composeCommandLine(archiver, settings.together, archiveNoExt, p.dir, p.newName);
        p.waitFor = order.waitFor(p, settings.together);
        order.add(k, p, settings.together);
    }
    return plans;
}

} // namespace sheaf
