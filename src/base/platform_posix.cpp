#include "base/platform.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

FileFacts factsOf(const struct stat &st)
{
    FileFacts facts;
    facts.isLink = S_ISLNK(st.st_mode);
    facts.isDirectory = S_ISDIR(st.st_mode);
    facts.isRegular = S_ISREG(st.st_mode);
    facts.readOnly = (st.st_mode & S_IWUSR) == 0;
    facts.size = uint64_t(st.st_size);
    facts.mtime = int64_t(st.st_mtime);
    facts.device = uint64_t(st.st_dev);
    facts.inode = uint64_t(st.st_ino);
    return facts;
}

} // namespace

FileFacts fileFacts(const std::filesystem::path &path, bool followLinks)
{
    FileFacts facts;
    struct stat st;
    int rc = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (rc != 0) {
        facts.error = errno;
        return facts;
    }
    return factsOf(st);
}

std::filesystem::path makeTemporaryFolder(const std::filesystem::path &pattern)
{
    std::string text = pattern.string();
    if (::mkdtemp(text.data()) == nullptr)
        return {};
    return text;
}

bool renameNoReplace(const std::filesystem::path &from, const std::filesystem::path &to)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 1 /* NOREPLACE */)
        == 0)
        return true;
    if (errno != ENOSYS && errno != EINVAL)
        return false;
#endif
    // File systems without renameat2: a hard link fails when the target exists.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

bool renameReplace(const std::filesystem::path &from, const std::filesystem::path &to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void syncAll()
{
    ::sync();
}

bool syncFolder(const std::filesystem::path &folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fsync(fd) == 0;
    int err = errno;
    ::close(fd);
    errno = err;
    return ok;
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

int openForReading(const std::filesystem::path &path)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

long long readFile(int fd, void *data, size_t size)
{
    for (;;) {
        ssize_t n = ::read(fd, data, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

long long readFileAt(int fd, void *data, size_t size, uint64_t offset)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n
            = ::pread(fd, static_cast<char *>(data) + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += size_t(n);
    }
    return (long long)done;
}

bool seekFile(int fd, uint64_t offset)
{
    return ::lseek(fd, off_t(offset), SEEK_SET) >= 0;
}

void closeFile(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

int openFolder(const std::filesystem::path &folder)
{
    return ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int createFileIn(int folder, const std::string &name, uint32_t mode)
{
    return ::openat(
        folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode_t(mode));
}

int openLockFileIn(int folder, const std::string &name, bool &wasThere)
{
    const int fd
        = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    wasThere = fd < 0 && errno == EEXIST;
    if (!wasThere)
        return fd;
    return ::openat(folder, name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
}

bool makeFolderIn(int folder, const std::string &name)
{
    return ::mkdirat(folder, name.c_str(), 0700) == 0;
}

bool removeIn(int folder, const std::string &name)
{
    if (::unlinkat(folder, name.c_str(), 0) == 0)
        return true;
    if (errno != EISDIR && errno != EPERM)
        return false;
    int fd = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    for (const std::string &child : namesIn(fd))
        ::unlinkat(fd, child.c_str(), 0);
    ::close(fd);
    return ::unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0;
}

bool renameIn(int folder, const std::string &from, const std::string &to)
{
    return ::renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

FileFacts factsIn(int folder, const std::string &name)
{
    struct stat st;
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        FileFacts facts;
        facts.error = errno;
        return facts;
    }
    return factsOf(st);
}

std::vector<std::string> namesIn(int folder)
{
    std::vector<std::string> names;
    int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return names;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (struct dirent *e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

std::filesystem::path pathOf(int fd, const std::string &name)
{
    std::filesystem::path path = "/proc/self/fd/" + std::to_string(fd);
    return name.empty() ? path : path / name;
}

bool lockFile(int fd, int64_t waitMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
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

void copyModeAndOwner(int fd, const OpenFileFacts &from)
{
    // The owner first: changing it may clear set-id bits the mode then restores.
    // Where the owner cannot be given, the group may still be.
    if (::fchown(fd, uid_t(from.owner), gid_t(from.group)) != 0
        && ::fchown(fd, uid_t(-1), gid_t(from.group)) != 0) {
        // Neither: the file stays the running user's, as any new file would.
    }
    ::fchmod(fd, mode_t(from.mode));
}

Utf8CharacterSet::Utf8CharacterSet()
{
    // One per thread, made from the locale the thread had on first use.
    thread_local locale_t utf8 = [] {
        locale_t base = duplocale(uselocale(locale_t(0)));
        locale_t made = base ? newlocale(LC_CTYPE_MASK, "C.UTF-8", base) : locale_t(0);
        if (!made && base)
            made = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", base);
        if (!made && base)
            freelocale(base);
        return made;
    }();
    if (!utf8)
        throw std::runtime_error("no UTF-8 locale (C.UTF-8) on this system");
    m_previous = uselocale(utf8);
}

Utf8CharacterSet::~Utf8CharacterSet()
{
    uselocale(static_cast<locale_t>(m_previous));
}

} // namespace sheaf::platform
