#include "base/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sheaf::platform {

bool isHiddenOrSystem(const std::filesystem::path &path)
{
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

FileFacts fileFacts(const std::filesystem::path &path, bool followLinks)
{
    FileFacts facts;
    struct stat st;
    int rc = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (rc != 0) {
        facts.error = errno;
        return facts;
    }
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
