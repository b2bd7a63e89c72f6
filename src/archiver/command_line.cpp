#include "archiver/command_line.h"

#include "archiver/archive_error.h"

namespace sheaf::archiver {

std::vector<std::string> splitCommandLine(std::string_view line)
{
    std::vector<std::string> tokens;
    std::string current;
    bool inToken = false;
    bool inQuotes = false;
    for (char c : line) {
        if (c == '"') {
            inQuotes = !inQuotes;
            inToken = true;
        } else if (!inQuotes && (c == ' ' || c == '\t')) {
            if (inToken)
                tokens.push_back(std::move(current));
            current = {};
            inToken = false;
        } else {
            current += c;
            inToken = true;
        }
    }
    if (inQuotes)
        throw ArchiveError(ErrorCode::BadCommandLine, "コマンドラインの二重引用符が閉じていません");
    if (inToken)
        tokens.push_back(std::move(current));
    return tokens;
}

} // namespace sheaf::archiver
