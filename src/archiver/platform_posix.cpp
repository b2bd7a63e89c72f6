#include "archiver/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sheaf::archiver::platform {

bool isHiddenOrSystem(const std::filesystem::path &path)
{
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
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

} // namespace sheaf::archiver::platform
