#pragma once
// The language of --help: Japanese under a Japanese locale, English
// otherwise (every other message is Japanese). The locale is the first of
// LC_ALL, LC_MESSAGES and LANG that is set, as the C library takes it.

#include <cstdlib>
#include <cstring>

namespace sheaf::cli {

inline bool helpInJapanese()
{
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "ja", 2) == 0;
    }
    return false;
}

} // namespace sheaf::cli
