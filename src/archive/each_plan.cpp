// Items are told apart by where they are, not by how they were written: the
// folder holding an item is known by its device and inode, so "a.txt",
// "./a.txt" and a path through a link to the same folder are one item, and
// two archives clash when they would land at one name in one folder, however
// the output folder was written.

#include "archive/each_plan.h"

#include "archive/each_texts.h"
#include "base/file.h"
#include "base/platform.h"
#include "selection/name_text.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <optional>

namespace sheaf {

QString eachArchiveName(const QString &name, bool isFolder, bool wholeNames, ArchiverKind archiver)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const bool cut = !isFolder && !wholeNames && dot > 0;
    return (cut ? name.left(dot) : name) + archiveExtension(archiver);
}

namespace {

using platform::FileFacts;

FileFacts factsOf(const QString &path, bool followLinks)
{
    return platform::fileFacts(namePath(path), followLinks);
}

// What the plan knows of a folder that holds items or archives; looked at
// once however many items it holds.
struct Folder
{
    FileFacts facts; // links followed
    bool mayCreate = false;
    QString canonical; // where it leads, links resolved; filled when needed
    bool canonicalDone = false;
};

class Folders
{
public:
    Folder &at(const QString &dir)
    {
        auto it = m_folders.find(dir);
        if (it == m_folders.end()) {
            Folder f;
            f.facts = factsOf(dir, true);
            f.mayCreate = f.facts.error == 0 && platform::mayCreateIn(namePath(dir));
            it = m_folders.insert(dir, f);
        }
        return *it;
    }
    // "DEVICE:INODE/NAME": one name in one folder, however the folder was reached.
    QString key(const QString &dir, const QString &name)
    {
        const FileFacts &f = at(dir).facts;
        if (f.error != 0)
            return dir + name;
        return QString::number(f.device) + u':' + QString::number(f.inode) + u'/' + name;
    }
    const QString &canonical(const QString &dir)
    {
        Folder &f = at(dir);
        if (!f.canonicalDone) {
            std::error_code ec;
            const auto path = std::filesystem::canonical(namePath(dir), ec);
            f.canonical = ec ? dir : nameFromPath(path);
            if (!f.canonical.endsWith(u'/'))
                f.canonical += u'/';
            f.canonicalDone = true;
        }
        return f.canonical;
    }

private:
    QHash<QString, Folder> m_folders;
};

// The bytes of the regular files below `path`, links not followed. Only a
// progress display's total: what cannot be read counts as nothing (the
// archive itself fails over it, naming it).
uint64_t folderBytes(const QString &path, const std::atomic<bool> *cancel)
{
    uint64_t total = 0;
    std::deque<std::filesystem::path> pending {namePath(path)};
    std::vector<std::string> names;
    while (!pending.empty()) {
        if (cancel && cancel->load())
            return total;
        const std::filesystem::path folder = std::move(pending.front());
        pending.pop_front();
        const File handle = File::openFolder(folder);
        names.clear();
        if (!handle || !handle.listNames(names))
            continue;
        for (const std::string &name : names) {
            const FileFacts f = handle.factsOf(name, File::Links::DontFollow);
            if (f.isRegular)
                total += f.size;
            else if (f.isDirectory)
                pending.push_back(folder / name);
        }
    }
    return total;
}

std::optional<QChar> patternCharacter(const QString &name, bool isFolder)
{
    for (QChar c : name)
        if (c == u'\\' || (!isFolder && (c == u'*' || c == u'?')))
            return c;
    return std::nullopt;
}

// Looks at one item and names its archive; returns false when it is left
// out or refused (the verdict and reason are set).
bool lookAt(EachItem &item, Folders &folders, const EachSettings &settings)
{
    const auto verdict = [&item](EachItem::Verdict v, const QString &reason) {
        item.verdict = v;
        item.reason = reason;
        return false;
    };
    const auto refuse = [&](const QString &reason) {
        return verdict(EachItem::Verdict::Refused, reason);
    };
    const auto leaveOut = [&](const QString &reason) {
        return verdict(EachItem::Verdict::LeftOut, reason);
    };
    // An empty argument names nothing, not the current folder; a relative
    // one names nothing once the current folder is gone.
    if (!item.path.startsWith(u'/'))
        return refuse(each_texts::notFound());
    if (item.name.isEmpty())
        return refuse(each_texts::rootFolder());
    File folder;
    if (const QString problem = openItemFolder(item, folder); !problem.isEmpty())
        return refuse(problem);
    const FileFacts link
        = folder.factsOf(nameBytes(item.name).toStdString(), File::Links::DontFollow);
    if (link.error != 0)
        return refuse(link.error == ENOENT
                ? each_texts::notFound()
                : each_texts::cannotLook(QString::fromStdString(platform::errorText(link.error))));
    // The command line to the engine is UTF-8 and quoted: names with no
    // faithful form, or with a quote, cannot reach it as they are.
    if (!hasUnicodeForm(item.path))
        return refuse(each_texts::notUnicode());
    if (item.path.contains(u'"'))
        return refuse(each_texts::quote());

    item.isLink = link.isLink;
    item.device = link.device;
    item.inode = link.inode;
    const FileFacts held = folder.facts();
    item.folderDevice = held.device;
    item.folderInode = held.inode;
    FileFacts facts = link;
    if (link.isLink) {
        facts = folder.factsOf(nameBytes(item.name).toStdString(), File::Links::Follow);
        if (facts.error != 0)
            return leaveOut(each_texts::linkToNothing());
        if (facts.isDirectory)
            return leaveOut(each_texts::linkToFolder());
    }
    if (facts.isPipe)
        return leaveOut(each_texts::pipe());
    if (facts.isSocket)
        return leaveOut(each_texts::socket());
    if (!facts.isDirectory && !facts.isRegular)
        return leaveOut(each_texts::device());
    item.isFolder = facts.isDirectory;
    item.bytes = item.isFolder ? 0 : facts.size;
    // A file's one-file command line would read these as a pattern or a
    // separator; a backslash is a separator to readers in any member name.
    if (const auto c = patternCharacter(item.name, item.isFolder))
        return refuse(each_texts::patternCharacter(*c));

    QString into = settings.outputFolder.isEmpty() ? item.dir : settings.outputFolder;
    if (!into.endsWith(u'/'))
        into += u'/';
    if (!folders.at(into).mayCreate)
        return refuse(each_texts::folderNotWritable(into.size() > 1 ? into.chopped(1) : into));
    const QString archiveName
        = eachArchiveName(item.name, item.isFolder, settings.wholeNames, settings.archiver);
    item.archivePath = into + archiveName;
    const QChar q(u'"');
    item.commandLine = archivePrefix(settings.archiver, item.isFolder) + q + item.archivePath + q
        + u' ' + q + item.dir + q + u' ' + q + item.name
        + (item.isFolder ? QStringLiteral("/") : QString()) + q;
    return true;
}

} // namespace

QString openItemFolder(const EachItem &item, File &folder)
{
    std::filesystem::path link;
    folder = File::openFolderOwnLinks(namePath(item.dir), &link);
    if (folder)
        return {};
    if (folder.error() == EPERM && !link.empty())
        return each_texts::othersLink(nameFromPath(link));
    if (folder.error() == ENOENT)
        return each_texts::notFound();
    return each_texts::cannotLook(QString::fromStdString(platform::errorText(folder.error())));
}

EachPlan planEach(
    const QStringList &paths, const EachSettings &settings, const std::atomic<bool> *cancel)
{
    EachPlan plan;
    plan.settings = settings;
    const auto cancelled = [cancel] {
        return cancel && cancel->load();
    };
    Folders folders;
    if (!settings.outputFolder.isEmpty()) {
        const QString &out = settings.outputFolder;
        const FileFacts &output = folders.at(out.endsWith(u'/') ? out : out + u'/').facts;
        plan.outputDevice = output.device;
        plan.outputInode = output.inode;
    }
    std::vector<EachItem> given;
    QSet<QString> seen;
    QHash<QString, int> itemAt; // an item's key -> its index in `given`
    QHash<QString, QList<int>> byArchive; // an archive's key -> items making it
    QList<QString> archiveOrder;
    for (const QString &text : paths) {
        if (cancelled())
            return plan;
        EachItem item;
        item.path = text.isEmpty() ? text : absoluteNameText(text);
        if (item.path.isEmpty()) // relative, and the current folder is gone
            item.path = text;
        const qsizetype slash = item.path.lastIndexOf(u'/');
        item.dir = item.path.left(slash + 1);
        item.name = item.path.mid(slash + 1);
        const QString key = folders.key(item.dir, item.name);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        if (lookAt(item, folders, settings)) {
            // An archive name that is a link is written through: the
            // archive is where the link leads.
            QString archive = item.archivePath;
            std::error_code ec;
            if (factsOf(archive, false).isLink)
                if (const auto to = std::filesystem::canonical(namePath(archive), ec); !ec)
                    archive = nameFromPath(to);
            const qsizetype cut = archive.lastIndexOf(u'/') + 1;
            const QString archiveKey = folders.key(archive.left(cut), archive.mid(cut));
            if (archiveKey == key) {
                item.verdict = EachItem::Verdict::Refused;
                item.reason = each_texts::archiveIsItself();
            } else {
                auto &makers = byArchive[archiveKey];
                if (makers.isEmpty())
                    archiveOrder << archiveKey;
                makers << int(given.size());
            }
        }
        itemAt.insert(key, int(given.size()));
        given.push_back(std::move(item));
    }

    // Two items into one archive would replace each other's members.
    for (const QString &archiveKey : archiveOrder) {
        const QList<int> &makers = byArchive[archiveKey];
        if (makers.size() < 2)
            continue;
        EachClash clash;
        clash.archivePath = given[size_t(makers[0])].archivePath;
        for (int i : makers)
            clash.items << given[size_t(i)].path;
        plan.clashes << clash;
    }
    if (!plan.clashes.isEmpty()) {
        // Whole names are unique in one folder; only items of one name from
        // several folders still meet in an output folder.
        plan.clashFree = settings;
        plan.clashFree.wholeNames = true;
        QSet<QString> seenNames;
        for (const EachItem &item : given) {
            if (item.verdict != EachItem::Verdict::Archive)
                continue;
            if (seenNames.contains(item.name))
                plan.clashFree.outputFolder.clear();
            seenNames.insert(item.name);
        }
        plan.items.resize(1);
        for (EachItem &item : given)
            plan.items.push_back(std::move(item));
        return plan;
    }

    // An item whose archive is another item runs after it, so that it is
    // read as it was: a chain (a, a.zip, a.zip.zip with whole names) runs
    // from its end. No chain loops: an archive's name is never shorter than
    // its item's, and an item that is its own archive was refused.
    const int n = int(given.size());
    std::vector<int> target(static_cast<size_t>(n), -1), rank(static_cast<size_t>(n), -1);
    for (const QString &archiveKey : archiveOrder)
        target[size_t(byArchive[archiveKey][0])] = itemAt.value(archiveKey, -1);
    for (int i = 0; i < n; ++i) {
        int depth = 0;
        for (int j = target[size_t(i)]; j >= 0 && depth <= n; j = target[size_t(j)])
            ++depth;
        rank[size_t(i)] = depth;
    }
    std::vector<int> order(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        order[size_t(i)] = i;
    std::stable_sort(order.begin(), order.end(),
        [&](int a, int b) { return rank[size_t(a)] < rank[size_t(b)]; });
    std::vector<int> position(static_cast<size_t>(n));
    for (int p = 0; p < n; ++p)
        position[size_t(order[size_t(p)])] = p + 1;

    // Items that meet run one after the other: an item and the one whose
    // archive it is, and a folder item and every item whose archive is
    // written inside it.
    std::vector<int> waitFor(static_cast<size_t>(n), 0);
    const auto meet = [&](int a, int b) {
        const int pa = position[size_t(a)], pb = position[size_t(b)];
        int &w = waitFor[size_t(pa < pb ? b : a)];
        w = std::max(w, std::min(pa, pb));
    };
    QHash<QString, int> folderItems; // a folder item's canonical path (ending '/') -> index
    for (int i = 0; i < n; ++i) {
        const EachItem &item = given[size_t(i)];
        if (item.verdict == EachItem::Verdict::Archive && item.isFolder)
            folderItems.insert(folders.canonical(item.dir) + item.name + u'/', i);
        if (target[size_t(i)] >= 0)
            meet(i, target[size_t(i)]);
    }
    if (!folderItems.isEmpty()) {
        for (int i = 0; i < n; ++i) {
            const EachItem &item = given[size_t(i)];
            if (item.verdict != EachItem::Verdict::Archive)
                continue;
            QString up
                = folders.canonical(item.archivePath.left(item.archivePath.lastIndexOf(u'/') + 1));
            while (up.size() > 1) {
                const int j = folderItems.value(up, -1);
                if (j >= 0 && j != i)
                    meet(i, j);
                up.truncate(up.lastIndexOf(u'/', up.size() - 2) + 1);
            }
        }
    }

    plan.items.resize(size_t(n) + 1);
    for (int i = 0; i < n; ++i) {
        EachItem &item = given[size_t(i)];
        if (cancelled())
            return plan;
        if (item.verdict == EachItem::Verdict::Archive && item.isFolder)
            item.bytes = folderBytes(item.path, cancel);
        if (item.verdict == EachItem::Verdict::Archive)
            plan.totalBytes += item.bytes;
        item.waitFor = waitFor[size_t(i)];
        plan.items[size_t(position[size_t(i)])] = std::move(item);
    }
    return plan;
}

} // namespace sheaf
