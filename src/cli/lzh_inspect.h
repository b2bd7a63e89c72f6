#pragma once
// `sheaf-arc lzh t ARCHIVE` and `sheaf-arc lzh l ARCHIVE`: testing and
// listing an LZH archive with our own decoder.

#include <cstdio>

namespace sheaf::cli {

// Decodes every member and prints it with "OK" or its fault; 0 when every
// member is sound, 1 otherwise.
int testLzhArchive(const char *archive, std::FILE *out, std::FILE *err);

// Lists every member from its header: original and packed size, method,
// time (local), the stored CRC-16 and the stored name (Unicode when the
// archive holds it); 0, or 1 when the archive cannot be read.
int listLzhArchive(const char *archive, std::FILE *out, std::FILE *err);

} // namespace sheaf::cli
