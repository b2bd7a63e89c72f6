#include "archiver/archive_input.h"

#include "archiver/archive_error.h"
#include "base/name_bytes.h"

#include <cerrno>

namespace sheaf::archiver {

namespace {

[[noreturn]] void readFailed(const std::string &name, int err)
{
    throw ArchiveError(
        ErrorCode::ReadFailed, "書庫を読み込めません: " + name + ": " + platform::errorText(err));
}

} // namespace

ArchiveInput::ArchiveInput(const std::filesystem::path &path)
    : m_name(path.string())
{
    File file = File::openForReading(path, File::Links::Follow);
    if (!file)
        readFailed(m_name, file.error());
    const platform::FileFacts facts = file.facts();
    if (facts.error != 0)
        readFailed(m_name, facts.error);
    if (!facts.isRegular)
        throw ArchiveError(ErrorCode::ReadFailed,
            "書庫が通常のファイルではありません: " + escapedName(path.native()));
    auto reader = std::make_unique<FileReader>(std::move(file));
    if (reader->error() != 0)
        readFailed(m_name, reader->error());
    m_reader = reader.get();
    m_owned = std::move(reader);
}

ArchiveInput::ArchiveInput(const RandomReader &reader, std::string name)
    : m_reader(&reader)
    , m_name(std::move(name))
{
}

void ArchiveInput::read(uint64_t at, void *data, size_t size) const
{
    if (!m_reader->readAt(at, data, size))
        readFailed(m_name, errno);
}

std::vector<uint8_t> ArchiveInput::bytes(uint64_t at, size_t size) const
{
    std::vector<uint8_t> v(size);
    read(at, v.data(), size);
    return v;
}

} // namespace sheaf::archiver
