#include "archiver/archive_error.h"
#include "archiver/dialects.h"

namespace sheaf::archiver {

void refuseLine(const std::string &reason)
{
    throw ArchiveError(ErrorCode::BadCommandLine, reason);
}

bool isSwitchToken(const std::string &token)
{
    return token.size() > 1 && token[0] == '-';
}

namespace {

bool endsInSeparator(const std::string &text)
{
    return !text.empty() && text.back() == '/';
}

// A name is relative to the base folder and stays below it.
void checkName(const std::string &name)
{
    if (name.empty())
        refuseLine("empty file name");
    if (name[0] == '/')
        refuseLine("file name must be relative to the base folder: " + name);
    std::filesystem::path p(name);
    for (const auto &part : p) {
        if (part == "..")
            refuseLine("file name must stay inside the base folder: " + name);
    }
}

} // namespace

void parsePositionalPieces(
    const std::vector<std::string> &tokens, size_t first, ArchiveRequest &request)
{
    if (first >= tokens.size())
        refuseLine("missing archive name");
    const std::string &archive = tokens[first];
    if (archive.empty() || endsInSeparator(archive))
        refuseLine("archive name is not a file name: \"" + archive + "\"");
    request.archive = archive;
    if (first + 1 >= tokens.size() || !endsInSeparator(tokens[first + 1]))
        refuseLine("missing base folder (a folder ending in '/') after the archive name");
    request.baseFolder = tokens[first + 1];
    for (size_t i = first + 2; i < tokens.size(); ++i) {
        checkName(tokens[i]);
        request.names.push_back(tokens[i]);
    }
    if (request.names.empty())
        refuseLine("no file name or pattern after the base folder");
}

} // namespace sheaf::archiver
