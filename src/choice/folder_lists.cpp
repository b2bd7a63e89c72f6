#include "choice/folder_lists.h"

#include "selection/name_text.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace sheaf {

QStringList mountedVolumes()
{
    QStringList volumes {QStringLiteral("/")};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        // Single files mounted into a container and unready volumes are no
        // drives to choose.
        if (!volume.isValid() || !volume.isReady() || !QFileInfo(root).isDir())
            continue;
        if (!volumes.contains(root))
            volumes << root;
    }
    std::sort(volumes.begin() + 1, volumes.end());
    return volumes;
}

QString volumeOf(const QString &path, const QStringList &volumes)
{
    const QString clean = QDir::cleanPath(path);
    QString best;
    for (const QString &volume : volumes) {
        const bool holds = volume == QLatin1String("/") || clean == volume
            || clean.startsWith(volume + QLatin1Char('/'));
        if (holds && volume.size() > best.size())
            best = volume;
    }
    return best;
}

FolderPickerListing listFolder(const QString &path)
{
    FolderPickerListing listing;
    const QString open = QDir::cleanPath(QDir(path).absolutePath());
    std::error_code ec;
    // Names keep their bytes both ways (selection/name_text.h): a folder
    // whose name is not UTF-8 opens as itself, never as a look-alike.
    std::filesystem::directory_iterator it(namePath(open), ec);
    if (!ec && !std::filesystem::is_directory(namePath(open), ec))
        ec = std::make_error_code(std::errc::not_a_directory);
    if (ec) {
        listing.errorNumber = ec.value();
        listing.errorText = QString::fromLocal8Bit(ec.message().c_str());
        return listing;
    }
    listing.open = open;

    QStringList names;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const QString name = nameFromPath(it->path().filename());
        std::error_code typeError;
        if (name.startsWith(QLatin1Char('.')) || !it->is_directory(typeError))
            continue;
        names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    const QString prefix = open == QLatin1String("/") ? open : open + QLatin1Char('/');
    for (const QString &name : names)
        listing.subfolders << prefix + name;

    QString step = open;
    while (true) {
        listing.chain.prepend(step);
        if (step == QLatin1String("/"))
            break;
        const QString parent = QFileInfo(step).path();
        if (parent == step)
            break;
        step = parent;
    }
    return listing;
}

QString folderDisplayName(const QString &path)
{
    if (path == QLatin1String("/"))
        return path;
    return shownName(QFileInfo(path).fileName()); // bytes outside UTF-8 as \xHH
}

} // namespace sheaf
