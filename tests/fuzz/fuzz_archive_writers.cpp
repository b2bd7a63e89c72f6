// libFuzzer target for the three format writers, run through the engine as
// a user would: the input becomes files with arbitrary names (any bytes a
// Linux name may hold: not UTF-8, wildcards, backslashes, quotes, control
// characters) and contents in a temporary folder, which is archived whole in
// LZH, ZIP and CAB, then changed and added to each archive again. Every run
// must end in an archive or a reason, never in a crash, an exception or a
// file left behind.
//
// Input: one byte of switches, then members, each a byte of flags (bit 0:
// in the subfolder "d"), a byte of name length, the name, a byte of content
// length and the content.

#include "fuzz_checks.h"

#include "archiver/engine.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

using namespace sheaf::archiver;
using sheaf::fuzz::check;
namespace fs = std::filesystem;

namespace {

const fs::path &workFolder()
{
    static const fs::path folder = [] {
        std::string pattern = (fs::temp_directory_path() / "sheaf-fuzz-writers-XXXXXX").string();
        check(mkdtemp(pattern.data()) != nullptr);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(workFolder(), ec);
        });
        return fs::path(pattern);
    }();
    return folder;
}

class Input
{
public:
    Input(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool atEnd() const { return m_at >= m_size; }
    uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::string bytes(size_t n)
    {
        n = std::min(n, m_size - std::min(m_at, m_size));
        std::string s(reinterpret_cast<const char *>(m_data + m_at), n);
        m_at += n;
        return s;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Names the file system takes: no '/', no NUL, not "." or "..", not empty.
bool usable(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
        && name.find('\0') == std::string::npos;
}

void writeFile(const fs::path &path, const std::string &content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// Runs one line; the archive is then there, or the run gave a reason and
// the output folder holds what it held before.
void run(ArchiverKind kind, const std::string &line, const fs::path &out, bool existed)
{
    const RunResult r = runCommandLine(kind, line);
    check(r.ok() || !r.reason.empty());
    size_t files = 0;
    for (const auto &e : fs::directory_iterator(out)) {
        (void)e;
        ++files;
    }
    check(files == (r.ok() || existed ? 1u : 0u));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in(data, size);
    const uint8_t switches = in.byte();
    const fs::path src = workFolder() / "src", out = workFolder() / "out";
    std::error_code ec;
    fs::remove_all(src, ec);
    fs::remove_all(out, ec);
    fs::create_directories(src / "d");
    fs::create_directories(out);

    std::vector<fs::path> made;
    for (int k = 0; k < 16 && !in.atEnd(); ++k) {
        const uint8_t flags = in.byte();
        const std::string name = in.bytes(in.byte());
        const std::string content = in.bytes(in.byte());
        if (!usable(name))
            continue;
        const fs::path path = (flags & 1 ? src / "d" : src) / name;
        if (fs::exists(path, ec))
            continue;
        writeFile(path, content);
        made.push_back(path);
    }

    struct Format
    {
        ArchiverKind kind;
        const char *switches;
        const char *archive;
    };
    const Format formats[] = {
        {ArchiverKind::Lzh, (switches & 1) ? "a -r2 -x1 -a1 -lh7" : "a -r2 -x1 -a1", "a.lzh"},
        {ArchiverKind::Zip, "-r -S", "a.zip"},
        {ArchiverKind::Cab, "-a -r", "a.cab"},
    };
    for (const Format &f : formats) {
        fs::remove_all(out, ec);
        fs::create_directories(out);
        const std::string line = std::string(f.switches) + " \"" + (out / f.archive).string()
            + "\" \"" + src.string() + "/\" \"*.*\"";
        run(f.kind, line, out, false);
        if (!fs::exists(out / f.archive, ec))
            continue;
        // Add: one member changed, one new, the rest kept.
        if (!made.empty())
            writeFile(made.front(), "changed");
        writeFile(src / "added.txt", "added");
        run(f.kind, line, out, true);
        fs::remove(src / "added.txt", ec);
    }
    return 0;
}
