#include "base/platform.h"

#include "base/file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>

namespace sheaf::platform {

bool isHiddenOrSystem(const std::filesystem::path &path)
{
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

namespace {

// File systems whose files report sizes that are not what they hold.
bool sizeIsReliableOn(long type)
{
    switch (static_cast<unsigned long>(type)) {
    case 0x9fa0: // proc
    case 0x62656572: // sysfs
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x62656570: // configfs
    case 0x27e0eb: // cgroup
    case 0x63677270: // cgroup2
    case 0xcafe4a11: // bpf
    case 0x6e736673: // nsfs
        return false;
    default:
        return true;
    }
}

// A path reached in pieces when the system would refuse it whole (PATH_MAX
// bytes or more, as a folder nested deeper than that has): the folders of
// its leading pieces are opened one piece after the other, each relative to
// the last, following links as one look-up of the whole path would, and the
// rest is looked up relative to the last. A shorter path is used as it is.
class ReachedPath
{
public:
    explicit ReachedPath(const std::filesystem::path &path)
    {
        const std::string &text = path.native();
        if (text.size() < PATH_MAX) {
            m_rest = text.empty() ? std::string(".") : text;
            return;
        }
        size_t at = 0;
        while (text.size() - at >= PATH_MAX) {
            const size_t cut = text.rfind('/', at + PATH_MAX - 2);
            if (cut == std::string::npos || cut < at) {
                fail(ENAMETOOLONG);
                return;
            }
            const std::string piece = text.substr(at, cut + 1 - at);
            const int next = ::openat(m_folder, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            const int err = errno;
            if (m_held >= 0)
                ::close(m_held);
            m_held = next;
            m_folder = next;
            if (next < 0) {
                fail(err);
                return;
            }
            at = text.find_first_not_of('/', cut);
            if (at == std::string::npos)
                at = text.size();
        }
        m_rest = at < text.size() ? text.substr(at) : std::string(".");
    }
    ~ReachedPath()
    {
        if (m_held >= 0)
            ::close(m_held);
    }
    ReachedPath(const ReachedPath &) = delete;
    ReachedPath &operator=(const ReachedPath &) = delete;

    // False with errno set when a leading piece could not be opened.
    bool reached() const { return m_folder != -1; }
    int folder() const { return m_folder; }
    const char *rest() const { return m_rest.c_str(); }

private:
    void fail(int err)
    {
        m_folder = -1;
        errno = err;
    }

    int m_held = -1;
    int m_folder = AT_FDCWD;
    std::string m_rest;
};

FileFacts factsOfStat(const struct stat &st)
{
    FileFacts facts;
    facts.isLink = S_ISLNK(st.st_mode);
    facts.isDirectory = S_ISDIR(st.st_mode);
    facts.isRegular = S_ISREG(st.st_mode);
    facts.isPipe = S_ISFIFO(st.st_mode);
    facts.isSocket = S_ISSOCK(st.st_mode);
    facts.isDevice = S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode);
    static const uid_t user = ::geteuid();
    facts.ownedByCurrentUser = st.st_uid == user;
    facts.readOnly = (st.st_mode & S_IWUSR) == 0;
    facts.size = uint64_t(st.st_size);
    facts.mtime = int64_t(st.st_mtime);
    facts.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    facts.device = uint64_t(st.st_dev);
    facts.inode = uint64_t(st.st_ino);
    return facts;
}
} // namespace

FileFacts fileFacts(const std::filesystem::path &path, bool followLinks)
{
    struct stat st;
    const ReachedPath reached(path);
    if (!reached.reached()
        || ::fstatat(reached.folder(), reached.rest(), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW)
            != 0) {
        FileFacts facts;
        facts.error = errno;
        return facts;
    }
    return factsOfStat(st);
}

namespace {

// Renames `from` (in folder `fromDir`) to `to` unless `to` exists (false with
// errno EEXIST then). File systems without renameat2: a hard link fails when
// the target exists.
bool renameNoReplaceAt(int fromDir, const char *from, int toDir, const char *to)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, fromDir, from, toDir, to, 1 /* NOREPLACE */) == 0)
        return true;
    if (errno != ENOSYS && errno != EINVAL)
        return false;
#endif
    if (::linkat(fromDir, from, toDir, to, 0) != 0)
        return false;
    ::unlinkat(fromDir, from, 0);
    return true;
}

} // namespace

bool renameNoReplace(const std::filesystem::path &from, const std::filesystem::path &to)
{
    const ReachedPath source(from), target(to);
    if (!source.reached() || !target.reached())
        return false;
    return renameNoReplaceAt(source.folder(), source.rest(), target.folder(), target.rest());
}

bool renameReplace(const std::filesystem::path &from, const std::filesystem::path &to)
{
    const ReachedPath source(from), target(to);
    if (!source.reached() || !target.reached())
        return false;
    return ::renameat(source.folder(), source.rest(), target.folder(), target.rest()) == 0;
}

bool mayCreateIn(const std::filesystem::path &folder)
{
    const ReachedPath reached(folder);
    return reached.reached()
        && ::faccessat(reached.folder(), reached.rest(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::filesystem::path programFolder()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::filesystem::current_path();
    return exe.parent_path();
}

std::string errorText(int err)
{
    return std::strerror(err);
}

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

double threadCpuSeconds()
{
    timespec t {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

namespace {

OpenFileFacts openFileFacts(int fd)
{
    OpenFileFacts facts;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        facts.error = errno;
        return facts;
    }
    facts.isRegular = S_ISREG(st.st_mode);
    facts.size = uint64_t(st.st_size);
    facts.mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    facts.device = uint64_t(st.st_dev);
    facts.inode = uint64_t(st.st_ino);
    facts.mode = uint32_t(st.st_mode & 07777);
    facts.owner = uint32_t(st.st_uid);
    facts.group = uint32_t(st.st_gid);
    // The answer per file system, remembered for the last one asked about.
    thread_local dev_t lastDevice = 0;
    thread_local bool lastReliable = true, known = false;
    if (!known || st.st_dev != lastDevice) {
        struct statfs fs;
        if (::fstatfs(fd, &fs) != 0)
            return facts;
        lastDevice = st.st_dev;
        lastReliable = sizeIsReliableOn(long(fs.f_type));
        known = true;
    }
    facts.sizeIsReliable = lastReliable;
    return facts;
}

} // namespace

Utf8CharacterSet::Utf8CharacterSet()
{
    // One per thread, made from the locale the thread had on first use and
    // freed when the thread ends.
    struct ThreadLocale
    {
        locale_t made = locale_t(0);
        ThreadLocale()
        {
            locale_t base = duplocale(uselocale(locale_t(0)));
            made = base ? newlocale(LC_CTYPE_MASK, "C.UTF-8", base) : locale_t(0);
            if (!made && base)
                made = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", base);
            if (!made && base)
                freelocale(base);
        }
        ~ThreadLocale()
        {
            if (made)
                freelocale(made);
        }
    };
    thread_local ThreadLocale locale;
    const locale_t utf8 = locale.made;
    if (!utf8)
        throw std::runtime_error("no UTF-8 locale (C.UTF-8) on this system");
    m_previous = uselocale(utf8);
}

Utf8CharacterSet::~Utf8CharacterSet()
{
    uselocale(static_cast<locale_t>(m_previous));
}

} // namespace sheaf::platform

// ---- File ----------------------------------------------------------------

namespace sheaf {

namespace {

constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
constexpr int kFolderFlags = O_RDONLY | O_CLOEXEC | O_DIRECTORY;

int retryingOpenAt(int folder, const char *name, int flags, uint32_t mode = 0)
{
    for (;;) {
        int fd = ::openat(folder, name, flags, mode_t(mode));
        if (fd >= 0 || errno != EINTR)
            return fd;
    }
}

// A name is one component: never empty, never holding '/'.
bool isOneComponent(std::string_view name)
{
    return !name.empty() && name.find('/') == std::string_view::npos;
}

} // namespace

File::File(File &&other) noexcept
    : m_fd(other.m_fd)
    , m_error(other.m_error)
{
    other.m_fd = -1;
}

File &File::operator=(File &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_error = other.m_error;
        other.m_fd = -1;
    }
    return *this;
}

void File::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

File File::openFolder(const std::filesystem::path &path)
{
    const platform::ReachedPath reached(path);
    if (!reached.reached())
        return File(-1, errno);
    int fd = retryingOpenAt(reached.folder(), reached.rest(), kFolderFlags);
    return fd >= 0 ? File(fd, 0) : File(-1, errno);
}

File File::openFolderOwnLinks(const std::filesystem::path &path, std::filesystem::path *link)
{
    constexpr int kMaxLinks = 40; // the system's own limit for one path
    std::deque<std::string> rest; // the names still to go, in order
    const auto goOn = [&rest](const std::string &text) {
        std::vector<std::string> names;
        for (size_t at = 0; at <= text.size();) {
            const size_t slash = std::min(text.find('/', at), text.size());
            if (slash > at && text.compare(at, slash - at, ".") != 0)
                names.push_back(text.substr(at, slash - at));
            at = slash + 1;
        }
        rest.insert(rest.begin(), names.begin(), names.end());
    };
    const auto fail = [](int fd, int err) {
        if (fd >= 0)
            ::close(fd);
        return File(-1, err);
    };
    constexpr int kStepFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    if (!path.is_absolute())
        return File(-1, EINVAL);
    int fd = retryingOpenAt(AT_FDCWD, "/", kStepFlags);
    std::filesystem::path at("/"); // where the walk is, for the message
    goOn(path.string());
    static const uid_t user = ::geteuid();
    int links = 0;
    while (fd >= 0 && !rest.empty()) {
        const std::string name = std::move(rest.front());
        rest.pop_front();
        struct stat st;
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(fd, errno);
        if (!S_ISLNK(st.st_mode)) {
            // Swapped for a link since: O_NOFOLLOW fails, nothing is followed.
            const int next = retryingOpenAt(fd, name.c_str(), kStepFlags);
            const int err = errno;
            ::close(fd);
            fd = next;
            if (fd < 0)
                return File(-1, err);
            at = name == ".." ? at.parent_path() : at / name;
            continue;
        }
        if (st.st_uid != user && st.st_uid != 0) {
            if (link)
                *link = at / name;
            return fail(fd, EPERM);
        }
        if (++links > kMaxLinks)
            return fail(fd, ELOOP);
        std::string text(4096, '\0');
        const ssize_t n = ::readlinkat(fd, name.c_str(), text.data(), text.size());
        if (n <= 0 || size_t(n) >= text.size())
            return fail(fd, n < 0 ? errno : ENAMETOOLONG);
        text.resize(size_t(n));
        goOn(text);
        if (text[0] == '/') {
            ::close(fd);
            fd = retryingOpenAt(AT_FDCWD, "/", kStepFlags);
            at = "/";
        }
    }
    if (fd < 0)
        return File(-1, errno);
    const int folder = retryingOpenAt(fd, ".", kFolderFlags);
    const int err = errno;
    ::close(fd);
    return folder >= 0 ? File(folder, 0) : File(-1, err);
}

File File::openFolder(const File &parent, std::string_view name, Links links)
{
    if (!isOneComponent(name))
        return File(-1, EINVAL);
    const std::string text(name);
    int flags = kFolderFlags | (links == Links::DontFollow ? O_NOFOLLOW : 0);
    int fd = retryingOpenAt(parent.m_fd, text.c_str(), flags);
    return fd >= 0 ? File(fd, 0) : File(-1, errno);
}

File File::openForReading(const std::filesystem::path &path, Links links)
{
    int flags = kReadFlags | (links == Links::DontFollow ? O_NOFOLLOW : 0);
    const platform::ReachedPath reached(path);
    if (!reached.reached())
        return File(-1, errno);
    int fd = retryingOpenAt(reached.folder(), reached.rest(), flags);
    return fd >= 0 ? File(fd, 0) : File(-1, errno);
}

File File::openForReading(const File &parent, std::string_view name, Links links)
{
    if (!isOneComponent(name))
        return File(-1, EINVAL);
    const std::string text(name);
    int flags = kReadFlags | (links == Links::DontFollow ? O_NOFOLLOW : 0);
    int fd = retryingOpenAt(parent.m_fd, text.c_str(), flags);
    return fd >= 0 ? File(fd, 0) : File(-1, errno);
}

File File::createUnnamed(const File &folder, uint32_t mode)
{
#ifdef O_TMPFILE
    int fd = retryingOpenAt(folder.m_fd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
    return fd >= 0 ? File(fd, 0) : File(-1, errno);
#else
    (void)folder;
    (void)mode;
    return File(-1, EOPNOTSUPP);
#endif
}

File File::create(const File &folder, std::string_view name, uint32_t mode)
{
    if (!isOneComponent(name))
        return File(-1, EINVAL);
    const std::string text(name);
    int fd = retryingOpenAt(
        folder.m_fd, text.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    return fd >= 0 ? File(fd, 0) : File(-1, errno);
}

File File::openLockFile(const File &folder, std::string_view name, bool &wasThere)
{
    if (!isOneComponent(name))
        return File(-1, EINVAL);
    const std::string text(name);
    for (;;) {
        int fd = retryingOpenAt(
            folder.m_fd, text.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        wasThere = fd < 0 && errno == EEXIST;
        if (!wasThere)
            return fd >= 0 ? File(fd, 0) : File(-1, errno);
        fd = retryingOpenAt(folder.m_fd, text.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        // Its holder may have removed it in between: try to make it again.
        if (fd >= 0)
            return File(fd, 0);
        if (errno != ENOENT)
            return File(-1, errno);
    }
}

ptrdiff_t File::readAt(void *data, size_t size, uint64_t offset) const
{
    size_t done = 0;
    while (done < size) {
        ssize_t n
            = ::pread(m_fd, static_cast<char *>(data) + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += size_t(n);
    }
    return ptrdiff_t(done);
}

platform::OpenFileFacts File::openFacts() const
{
    return platform::openFileFacts(m_fd);
}

ptrdiff_t File::write(const void *data, size_t size)
{
    for (;;) {
        ssize_t n = ::write(m_fd, data, size);
        if (n >= 0 || errno != EINTR)
            return ptrdiff_t(n);
    }
}

bool File::writeAt(const void *data, size_t size, uint64_t offset)
{
    const auto *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(m_fd, p, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        offset += uint64_t(n);
        size -= size_t(n);
    }
    return true;
}

bool File::truncate(uint64_t size)
{
    return ::ftruncate(m_fd, off_t(size)) == 0 && ::lseek(m_fd, off_t(size), SEEK_SET) >= 0;
}

bool File::sync()
{
    return ::fsync(m_fd) == 0;
}

bool File::syncFileSystem()
{
    return ::syncfs(m_fd) == 0;
}

File File::duplicate() const
{
    const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    return fd >= 0 ? File(fd, 0) : File(-1, errno);
}

bool File::closeChecked()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd < 0 || ::close(fd) == 0;
}

bool File::linkAs(const File &folder, std::string_view name) const
{
    if (!isOneComponent(name)) {
        errno = EINVAL;
        return false;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    const std::string text(name);
    return ::linkat(AT_FDCWD, self.c_str(), folder.m_fd, text.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool File::lock(int64_t waitMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= until) {
            errno = ETIMEDOUT;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void File::copyModeAndOwner(const platform::OpenFileFacts &from)
{
    // The owner first: changing it may clear set-id bits the mode then restores.
    // Where the owner cannot be given, the group may still be.
    if (::fchown(m_fd, uid_t(from.owner), gid_t(from.group)) != 0
        && ::fchown(m_fd, uid_t(-1), gid_t(from.group)) != 0) {
        // Neither: the file stays the running user's, as any new file would.
    }
    ::fchmod(m_fd, mode_t(from.mode));
}

std::filesystem::path File::reachingPath(std::string_view name) const
{
    std::filesystem::path path = "/proc/self/fd/" + std::to_string(m_fd);
    return name.empty() ? path : path / std::string(name);
}

bool File::makeFolder(std::string_view name)
{
    if (!isOneComponent(name)) {
        errno = EINVAL;
        return false;
    }
    return ::mkdirat(m_fd, std::string(name).c_str(), 0700) == 0;
}

bool File::remove(std::string_view name)
{
    if (!isOneComponent(name)) {
        errno = EINVAL;
        return false;
    }
    const std::string text(name);
    if (::unlinkat(m_fd, text.c_str(), 0) == 0)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return false;
    File folder = openFolder(*this, name, Links::DontFollow);
    if (!folder)
        return false;
    std::vector<std::string> children;
    folder.listNames(children);
    for (const std::string &child : children)
        ::unlinkat(folder.m_fd, child.c_str(), 0);
    return ::unlinkat(m_fd, text.c_str(), AT_REMOVEDIR) == 0;
}

bool File::rename(std::string_view from, std::string_view to)
{
    if (!isOneComponent(from) || !isOneComponent(to)) {
        errno = EINVAL;
        return false;
    }
    return ::renameat(m_fd, std::string(from).c_str(), m_fd, std::string(to).c_str()) == 0;
}

bool File::renameNoReplace(std::string_view from, std::string_view to)
{
    if (!isOneComponent(from) || !isOneComponent(to)) {
        errno = EINVAL;
        return false;
    }
    return platform::renameNoReplaceAt(
        m_fd, std::string(from).c_str(), m_fd, std::string(to).c_str());
}

platform::FileFacts File::facts() const
{
    struct stat st;
    if (::fstat(m_fd, &st) != 0) {
        platform::FileFacts facts;
        facts.error = errno;
        return facts;
    }
    return platform::factsOfStat(st);
}

platform::FileFacts File::factsOf(std::string_view name, Links links) const
{
    platform::FileFacts facts;
    if (!isOneComponent(name)) {
        facts.error = EINVAL;
        return facts;
    }
    const std::string text(name);
    struct stat st;
    if (::fstatat(m_fd, text.c_str(), &st, links == Links::DontFollow ? AT_SYMLINK_NOFOLLOW : 0)
        != 0) {
        facts.error = errno;
        return facts;
    }
    return platform::factsOfStat(st);
}

bool File::listNames(std::vector<std::string> &names) const
{
    // fdopendir takes the descriptor it is given; list through a copy so
    // this handle stays open. (A copy, not "." opened again: a folder may be
    // listable without being searchable.)
    int copy = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return false;
    DIR *dir = ::fdopendir(copy);
    if (!dir) {
        int err = errno;
        ::close(copy);
        errno = err;
        return false;
    }
    ::rewinddir(dir); // the copy shares the read position
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        names.emplace_back(name);
    }
    int err = errno;
    ::closedir(dir);
    errno = err;
    return err == 0;
}

ptrdiff_t File::read(void *data, size_t size)
{
    for (;;) {
        ssize_t n = ::read(m_fd, data, size);
        if (n >= 0 || errno != EINTR)
            return ptrdiff_t(n);
    }
}

bool File::seek(uint64_t offset)
{
    return ::lseek(m_fd, off_t(offset), SEEK_SET) >= 0;
}

namespace {

// Whether the folder `fd` is `root` or lies below it: walks up through ".."
// until `root` or the top of the file system.
bool liesWithin(int fd, const platform::FileFacts &root)
{
    int at = retryingOpenAt(fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    bool within = false;
    while (at >= 0) {
        struct stat st, upSt;
        if (::fstat(at, &st) != 0)
            break;
        if (uint64_t(st.st_dev) == root.device && uint64_t(st.st_ino) == root.inode) {
            within = true;
            break;
        }
        int up = retryingOpenAt(at, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(at);
        at = up;
        if (at >= 0 && ::fstat(at, &upSt) == 0 && upSt.st_dev == st.st_dev
            && upSt.st_ino == st.st_ino)
            break; // the top: ".." is the folder itself
    }
    if (at >= 0)
        ::close(at);
    return within;
}

} // namespace

File::LinkTarget File::linkTarget(std::string_view name, const platform::FileFacts &root) const
{
    // Each step is a link's text read relative to the folder holding that
    // link: its folder part is opened (the system follows links in it), its
    // last part looked at there, until it is not a link.
    constexpr int kMaxHops = 40; // the system's own limit for one path
    int folder = retryingOpenAt(m_fd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return LinkTarget::Nowhere;
    std::string current(name);
    LinkTarget result = LinkTarget::Nowhere;
    for (int hop = 0; hop <= kMaxHops; ++hop) {
        struct stat st;
        if (::fstatat(folder, current.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            break;
        if (!S_ISLNK(st.st_mode)) {
            result = liesWithin(folder, root) ? LinkTarget::Inside : LinkTarget::Outside;
            break;
        }
        std::string text(4096, '\0');
        ssize_t n = ::readlinkat(folder, current.c_str(), text.data(), text.size());
        if (n <= 0 || size_t(n) >= text.size())
            break;
        text.resize(size_t(n));
        while (text.size() > 1 && text.back() == '/')
            text.pop_back(); // "file/" names the file, if it is one
        const size_t slash = text.rfind('/');
        if (slash == std::string::npos) {
            current = text;
            continue;
        }
        const std::string folderPart = slash == 0 ? "/" : text.substr(0, slash);
        current = text.substr(slash + 1);
        int next = retryingOpenAt(text[0] == '/' ? AT_FDCWD : folder, folderPart.c_str(),
            O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (next < 0)
            break;
        ::close(folder);
        folder = next;
        if (current.empty() || current == "." || current == "..")
            break; // a folder, not a file
    }
    ::close(folder);
    return result;
}

} // namespace sheaf
