#include "base/random_reader.h"

#include <cerrno>
#include <cstring>

namespace sheaf {

FileReader::FileReader(const File &file)
    : m_file(&file)
{
    takeSize();
}

FileReader::FileReader(File &&file)
    : m_owned(std::move(file))
    , m_file(&m_owned)
{
    takeSize();
}

void FileReader::takeSize()
{
    const platform::FileFacts facts = m_file->facts();
    m_error = m_file->isOpen() ? facts.error : m_file->error();
    m_size = m_error == 0 ? facts.size : 0;
}

bool FileReader::readAt(uint64_t offset, void *data, size_t size) const
{
    const ptrdiff_t n = m_file->readAt(data, size, offset);
    if (n < 0)
        return false;
    if (size_t(n) != size) {
        errno = EIO;
        return false;
    }
    return true;
}

bool MemoryReader::readAt(uint64_t offset, void *data, size_t size) const
{
    if (offset > m_size || size > m_size - offset) {
        errno = EIO;
        return false;
    }
    if (size > 0)
        std::memcpy(data, m_data + offset, size);
    return true;
}

} // namespace sheaf
