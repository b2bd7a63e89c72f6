// The ZIP dialect: switches, then the archive, the base folder and the names.
//   -r  names also match in every subfolder; folders are stored too
//   -S  wildcards also match hidden and system entries
// Paths are always stored relative to the base folder. Switch letters may
// share one token ("-rS").

#include "archiver/dialects.h"

namespace sheaf::archiver {

ArchiveRequest parseZipCommandLine(const std::vector<std::string> &tokens)
{
    ArchiveRequest request;
    size_t i = 0;
    for (; i < tokens.size() && isSwitchToken(tokens[i]); ++i) {
        const std::string &token = tokens[i];
        for (size_t k = 1; k < token.size(); ++k) {
            if (token[k] == 'r')
                request.recurse = true;
            else if (token[k] == 'S')
                request.includeHidden = true;
            else
                refuseLine(
                    std::string("不明なスイッチ -") + token[k] + " があります: \"" + token + "\"");
        }
    }
    parsePositionalPieces(tokens, i, request);
    return request;
}

} // namespace sheaf::archiver
