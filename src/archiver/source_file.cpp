#include "archiver/source_file.h"

#include "archiver/archive_entry.h"
#include "archiver/archive_error.h"
#include "archiver/source_tree.h"
#include "base/name_bytes.h"
#include "base/platform.h"

#include <cerrno>

namespace sheaf::archiver {

namespace {
[[noreturn]] void fail(const char *what, const std::filesystem::path &path)
{
    throw ArchiveError(ErrorCode::ReadFailed,
        std::string(what) + ": " + escapedName(path.native()) + ": " + platform::errorText(errno));
}
} // namespace

// ---- Opening ----

SourceFile::SourceFile(const ArchiveEntry &entry)
    : m_path(entry.source)
    , m_file(openSource(entry))
{
}

SourceFile::SourceFile(const std::filesystem::path &path)
    : SourceFile([&] {
        ArchiveEntry entry;
        entry.source = path;
        return entry;
    }())
{
}

// ---- Reading ----

size_t SourceFile::read(void *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ptrdiff_t n = m_file.read(static_cast<char *>(data) + done, size - done);
        if (n < 0)
            fail("読み込めません", m_path);
        if (n == 0)
            break;
        done += size_t(n);
    }
    return done;
}

void SourceFile::rewind()
{
    if (!m_file.seek(0))
        fail("読み込めません", m_path);
}

} // namespace sheaf::archiver
