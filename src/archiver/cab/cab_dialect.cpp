// The CAB dialect: the switch -a (add; required), then -r when names also
// match in every subfolder, the archive, the base folder and the names. Paths
// are stored relative to the base folder. A cabinet has no switch for hidden
// files: wildcards always include hidden and system entries, as the ZIP and
// LZH lines that the window composes do.

#include "archiver/dialects.h"

namespace sheaf::archiver {

ArchiveRequest parseCabCommandLine(const std::vector<std::string> &tokens)
{
    ArchiveRequest request;
    request.includeHidden = true;
    bool add = false;
    size_t i = 0;
    for (; i < tokens.size() && isSwitchToken(tokens[i]); ++i) {
        const std::string &token = tokens[i];
        for (size_t k = 1; k < token.size(); ++k) {
            if (token[k] == 'a')
                add = true;
            else if (token[k] == 'r')
                request.recurse = true;
            else
                refuseLine(
                    std::string("不明なスイッチ -") + token[k] + " があります: \"" + token + "\"");
        }
    }
    if (!add)
        refuseLine("コマンドのスイッチ -a がありません");
    parsePositionalPieces(tokens, i, request);
    return request;
}

} // namespace sheaf::archiver
