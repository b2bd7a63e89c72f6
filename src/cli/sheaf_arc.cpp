// sheaf-arc [-j N] ARCHIVER ARGS...: runs the archiver engine once. The
// arguments become one command line, each quoted again, as the window
// composes it; ARCHIVER is lzh, zip or cab. Prints the reason of a failure on
// stderr, and each file the archive leaves out with its reason; exits with 0
// when the archive was made, 130 when Ctrl-C stopped it (nothing new is left
// behind), 1 otherwise. -j N: threads for one large LZH member (default: one
// per core; the archive's bytes do not depend on it). `sheaf-arc lzh t|l
// ARCHIVE` tests or lists an LZH archive with our own decoder.

#include "archiver/archive_error.h"
#include "archiver/archiver_facts.h"
#include "archiver/engine.h"
#include "base/name_bytes.h"
#include "cli/help_language.h"
#include "cli/lzh_inspect.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using sheaf::archiver::ArchiverKind;

namespace {

std::atomic<bool> g_cancel {false};

extern "C" void onInterrupt(int)
{
    g_cancel.store(true);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("sheaf-arc " SHEAF_VERSION);
        return 0;
    }
    sheaf::archiver::RunOptions options;
    options.threads = 0;
    if (argc >= 3 && std::strcmp(argv[1], "-j") == 0) {
        char *end = nullptr;
        const long n = std::strtol(argv[2], &end, 10);
        if (*argv[2] == '\0' || *end != '\0' || n < 1 || n > 1024) {
            std::fprintf(stderr, "sheaf-arc: -j にはスレッド数 (1〜1024) を指定してください\n");
            return 1;
        }
        options.threads = int(n);
        argv += 2;
        argc -= 2;
    }
    // -h and --help print the usage on stdout and end with status 0.
    const bool help
        = argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0);
    if (argc < 3 || help) {
        const bool ja = sheaf::cli::helpInJapanese();
        std::fputs(ja ? "使い方: sheaf-arc [-j N] lzh|zip|cab 引数...\n"
                        "        sheaf-arc lzh t|l 書庫   （LZH 書庫を検査・一覧）\n"
                        "例: sheaf-arc lzh a -a1 -r0 out/IMG01.lzh data/photos/ IMG01.TXT\n"
                      : "usage: sheaf-arc [-j N] lzh|zip|cab ARGS...\n"
                        "       sheaf-arc lzh t|l ARCHIVE   (test or list an LZH archive)\n"
                        "example: sheaf-arc lzh a -a1 -r0 out/IMG01.lzh data/photos/ "
                        "IMG01.TXT\n",
            help ? stdout : stderr);
        if (help)
            std::puts(ja
                    ? "  -j N         大きな LZH メンバー一つに使うスレッド数（既定はコア数）\n"
                      "  -h, --help   この説明を表示します\n"
                      "  --version    版数を表示します"
                    : "       sheaf-arc -h | --version");
        return help ? 0 : 1;
    }
    const sheaf::archiver::ArchiverFacts *archiver = sheaf::archiver::archiverNamed(argv[1]);
    if (!archiver) {
        std::fprintf(stderr,
            "sheaf-arc: 不明な書庫の形式です: %s (lzh, zip, cab のどれかを指定してください)\n",
            argv[1]);
        return 1;
    }
    const ArchiverKind kind = archiver->kind;
    if (kind == ArchiverKind::Lzh && argc == 4 && std::strcmp(argv[2], "t") == 0)
        return sheaf::cli::testLzhArchive(argv[3], stdout, stderr);
    if (kind == ArchiverKind::Lzh && argc == 4 && std::strcmp(argv[2], "l") == 0)
        return sheaf::cli::listLzhArchive(argv[3], stdout, stderr);
    std::string line;
    for (int i = 2; i < argc; ++i) {
        if (std::strchr(argv[i], '"')) {
            std::fprintf(stderr, "sheaf-arc: 引数に二重引用符は使えません: %s\n", argv[i]);
            return 1;
        }
        if (!line.empty())
            line += ' ';
        line += std::string("\"") + argv[i] + "\"";
    }
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART; // a second Ctrl-C ends the program at once
    sigaction(SIGINT, &action, nullptr);
    options.cancel = &g_cancel;

    sheaf::archiver::RunResult result = sheaf::archiver::runCommandLine(kind, line, options);
    for (const auto &item : result.leftOut)
        std::fprintf(stderr, "sheaf-arc: 除外しました: %s: %s\n", item.reason.c_str(),
            sheaf::escapedName(item.path).c_str());
    if (result.code == sheaf::archiver::ErrorCode::Cancelled) {
        std::fprintf(stderr, "sheaf-arc: 中断しました\n");
        return 130;
    }
    if (!result.ok()) {
        std::fprintf(stderr, "sheaf-arc: %s\n", result.reason.c_str());
        return 1;
    }
    return 0;
}
