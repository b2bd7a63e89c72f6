#include "archiver/source_file.h"

#include "archiver/archive_error.h"
#include "base/platform.h"

#include <cerrno>

namespace sheaf::archiver {

namespace {
[[noreturn]] void fail(const char *what, const std::filesystem::path &path)
{
    throw ArchiveError(ErrorCode::ReadFailed,
        std::string("cannot ") + what + " " + path.string() + ": " + platform::errorText(errno));
}
} // namespace

SourceFile::SourceFile(const std::filesystem::path &path)
    : m_path(path)
    , m_file(std::fopen(path.c_str(), "rbe"))
{
    if (!m_file)
        fail("open", path);
    std::setvbuf(m_file.get(), nullptr, _IONBF, 0); // we read in large blocks
}

size_t SourceFile::read(void *data, size_t size)
{
    size_t n = std::fread(data, 1, size, m_file.get());
    if (n < size && std::ferror(m_file.get()))
        fail("read", m_path);
    return n;
}

void SourceFile::rewind()
{
    if (std::fseek(m_file.get(), 0, SEEK_SET) != 0)
        fail("read", m_path);
}

} // namespace sheaf::archiver
