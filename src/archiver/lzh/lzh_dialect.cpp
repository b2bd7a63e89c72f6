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
        refuseLine(std::string("switch -") + letter + " needs a number in \"" + token + "\"");
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
                refuseLine("unknown switch -r" + std::to_string(n) + " (use -r0 or -r2)");
            request.recurse = n == 2;
            break;
        }
        case 'x': {
            int n = switchNumber(token, pos, letter);
            if (n != 0 && n != 1)
                refuseLine("unknown switch -x" + std::to_string(n) + " (use -x0 or -x1)");
            request.relativePaths = n == 1;
            break;
        }
        case 'a': {
            int n = switchNumber(token, pos, letter);
            if (n > 2)
                refuseLine("unknown switch -a" + std::to_string(n) + " (use -a0, -a1 or -a2)");
            request.includeHidden = n != 0;
            break;
        }
        case 'l': {
            if (pos < token.size() && token[pos] >= '0' && token[pos] <= '9') {
                int n = switchNumber(token, pos, letter);
                if (n < 1 || n > 9)
                    refuseLine("unknown switch -l" + std::to_string(n) + " (use -l1 to -l9)");
                request.lzhLevel = n;
                break;
            }
            if (pos + 1 >= token.size() || token[pos] != 'h')
                refuseLine("unknown switch in \"" + token + "\"");
            char method = token[pos + 1];
            pos += 2;
            if (method == '5')
                request.lzhMethod = LzhMethod::Lh5;
            else if (method == '6')
                request.lzhMethod = LzhMethod::Lh6;
            else if (method == '7')
                request.lzhMethod = LzhMethod::Lh7;
            else
                refuseLine("unknown method in \"" + token + "\" (use -lh5, -lh6 or -lh7)");
            if (pos < token.size() && token[pos] == '-')
                ++pos;
            break;
        }
        default:
            refuseLine(std::string("unknown switch -") + letter + " in \"" + token + "\"");
        }
    }
}

} // namespace

ArchiveRequest parseLzhCommandLine(const std::vector<std::string> &tokens)
{
    ArchiveRequest request;
    request.relativePaths = false;
    if (tokens.empty())
        refuseLine("empty command line");
    if (tokens[0] != "a")
        refuseLine("unknown command \"" + tokens[0] + "\" (only \"a\" is supported)");
    size_t i = 1;
    for (; i < tokens.size() && isSwitchToken(tokens[i]); ++i)
        applySwitches(tokens[i], request);
    parsePositionalPieces(tokens, i, request);
    return request;
}

} // namespace sheaf::archiver
