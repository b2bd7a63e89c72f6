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
        refuseLine("ファイル名が空です");
    if (name[0] == '/')
        refuseLine("ファイル名は基準フォルダからの相対パスにしてください: " + name);
    std::filesystem::path p(name);
    for (const auto &part : p) {
        if (part == "..")
            refuseLine("ファイル名が基準フォルダの外を指しています: " + name);
    }
}

// "./a.txt" and "sub//./a.txt" name the files "a.txt" and "sub/a.txt": the
// "." parts and doubled separators are dropped, so that one file is never
// stored under two names, nor under a name with a "." part.
std::string withoutDotParts(const std::string &name)
{
    std::string out;
    size_t at = 0;
    while (at <= name.size()) {
        size_t end = name.find('/', at);
        if (end == std::string::npos)
            end = name.size();
        const std::string part = name.substr(at, end - at);
        if (!part.empty() && part != ".")
            out += (out.empty() ? "" : "/") + part;
        at = end + 1;
    }
    if (endsInSeparator(name) && !out.empty())
        out += '/';
    return out;
}

} // namespace

void parsePositionalPieces(
    const std::vector<std::string> &tokens, size_t first, ArchiveRequest &request)
{
    if (first >= tokens.size())
        refuseLine("書庫の名前がありません");
    const std::string &archive = tokens[first];
    if (archive.empty() || endsInSeparator(archive))
        refuseLine("書庫の名前がファイル名ではありません: \"" + archive + "\"");
    request.archive = archive;
    if (first + 1 >= tokens.size() || !endsInSeparator(tokens[first + 1]))
        refuseLine("書庫の名前の後に基準フォルダ ('/' で終わるフォルダ) がありません");
    request.baseFolder = tokens[first + 1];
    for (size_t i = first + 2; i < tokens.size(); ++i) {
        checkName(tokens[i]);
        const std::string name = withoutDotParts(tokens[i]);
        if (name.empty())
            refuseLine("ファイル名がフォルダそのものを指しています: " + tokens[i]);
        request.names.push_back(name);
    }
    if (request.names.empty())
        refuseLine("基準フォルダの後にファイル名もパターンもありません");
}

} // namespace sheaf::archiver
