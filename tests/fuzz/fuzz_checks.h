#pragma once
// Shared by the fuzz targets: a broken check aborts, which libFuzzer and the
// corpus replay both report; and the file the path readers are given, the
// same bytes as in memory.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace sheaf::fuzz {

inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The path of a memory file that holds `size` bytes of `data` (one file for
// the process, rewritten on each call).
inline std::string memoryFileWith(const uint8_t *data, size_t size)
{
    static const int fd = memfd_create("fuzz", MFD_CLOEXEC);
    check(fd >= 0);
    check(ftruncate(fd, 0) == 0);
    check(pwrite(fd, data, size, 0) == ssize_t(size));
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace sheaf::fuzz
