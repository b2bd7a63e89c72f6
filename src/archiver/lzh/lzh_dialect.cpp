// The LZH dialect: the command "a", then switches (several may share one
// token, as in "-r2x1"), the archive, the base folder and the names.
//   -r0 names match in the base folder only; -r2 also in every subfolder
//   -x0 store bare file names; -x1 store paths relative to the base folder
//   -a0 wildcards skip hidden and system entries; -a1, -a2 include them
//   -lh5, -lh6, -lh7 (a trailing '-' allowed, as in "-lh6-"): the method
//   -l1 .. -l9: how hard the encoder works (-l6 is the default, -l9 the
//   smallest archives)

#include "archiver/dialects.h"

#include <string>

namespace sheaf::archiver {

namespace {

// Reads the digits after a switch letter at `pos`; refuses a letter without one.
int switchNumber(const std::string &token, size_t &pos, char letter)
{
    size_t start = pos;
    while (pos < token.size() && token[pos] >= '0' && token[pos] <= '9')
        ++pos;
    if (pos == start || pos - start > 2)
        refuseLine(std::string("スイッチ -") + letter + " には数字が要ります: \"" + token + "\"");
    return std::stoi(token.substr(start, pos - start));
}

void applySwitches(const std::string &token, ArchiveRequest &request)
{
    size_t pos = 1;
    while (pos < token.size()) {
        char letter = token[pos++];
        switch (letter) {
        case 'r': {
            int n = switchNumber(token, pos, letter);
            if (n != 0 && n != 2)
                refuseLine("不明なスイッチ -r" + std::to_string(n)
                    + " です (-r0 か -r2 を使ってください)");
            request.recurse = n == 2;
            break;
        }
        case 'x': {
            int n = switchNumber(token, pos, letter);
            if (n != 0 && n != 1)
                refuseLine("不明なスイッチ -x" + std::to_string(n)
                    + " です (-x0 か -x1 を使ってください)");
            request.relativePaths = n == 1;
            break;
        }
        case 'a': {
            int n = switchNumber(token, pos, letter);
            if (n > 2)
                refuseLine("不明なスイッチ -a" + std::to_string(n)
                    + " です (-a0, -a1, -a2 のどれかを使ってください)");
            request.includeHidden = n != 0;
            break;
        }
        case 'l': {
            if (pos < token.size() && token[pos] >= '0' && token[pos] <= '9') {
                int n = switchNumber(token, pos, letter);
                if (n < 1 || n > 9)
                    refuseLine("不明なスイッチ -l" + std::to_string(n)
                        + " です (-l1 から -l9 を使ってください)");
                request.lzhLevel = n;
                break;
            }
            if (pos + 1 >= token.size() || token[pos] != 'h')
                refuseLine("不明なスイッチがあります: \"" + token + "\"");
            char method = token[pos + 1];
            pos += 2;
            if (method == '5')
                request.lzhMethod = LzhMethod::Lh5;
            else if (method == '6')
                request.lzhMethod = LzhMethod::Lh6;
            else if (method == '7')
                request.lzhMethod = LzhMethod::Lh7;
            else
                refuseLine("不明な圧縮方法です: \"" + token
                    + "\" (-lh5, -lh6, -lh7 のどれかを使ってください)");
            if (pos < token.size() && token[pos] == '-')
                ++pos;
            break;
        }
        default:
            refuseLine(std::string("不明なスイッチ -") + letter + " があります: \"" + token + "\"");
        }
    }
}

} // namespace

ArchiveRequest parseLzhCommandLine(const std::vector<std::string> &tokens)
{
    ArchiveRequest request;
    request.relativePaths = false;
    if (tokens.empty())
        refuseLine("コマンドラインが空です");
    if (tokens[0] != "a")
        refuseLine("不明なコマンド \"" + tokens[0] + "\" です (使えるのは \"a\" だけです)");
    size_t i = 1;
    for (; i < tokens.size() && isSwitchToken(tokens[i]); ++i)
        applySwitches(tokens[i], request);
    parsePositionalPieces(tokens, i, request);
    return request;
}

} // namespace sheaf::archiver
