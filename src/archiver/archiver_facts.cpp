#include "archiver/archiver_facts.h"

#include "archiver/archive_format.h"
#include "archiver/dialects.h"

#include <array>

namespace sheaf::archiver {

namespace {

const std::array<ArchiverFacts, 3> kArchivers {{
    {ArchiverKind::Lzh, "lzh", ".lzh", "LZH", "a -a1 -r0 ", "a -a2 -r2x1 ", parseLzhCommandLine,
        lzhFormat},
    {ArchiverKind::Zip, "zip", ".zip", "ZIP", "-S ", "-r -S ", parseZipCommandLine, zipFormat},
    {ArchiverKind::Cab, "cab", ".cab", "CAB", "-a ", "-a -r ", parseCabCommandLine, cabFormat},
}};

} // namespace

std::span<const ArchiverFacts> allArchivers()
{
    return kArchivers;
}

const ArchiverFacts &archiverFacts(ArchiverKind kind)
{
    for (const ArchiverFacts &facts : kArchivers)
        if (facts.kind == kind)
            return facts;
    return kArchivers[0];
}

const ArchiverFacts *archiverNamed(std::string_view name)
{
    for (const ArchiverFacts &facts : kArchivers)
        if (facts.name == name)
            return &facts;
    return nullptr;
}

const ArchiverFacts *archiverWithSettingsToken(std::string_view token)
{
    for (const ArchiverFacts &facts : kArchivers)
        if (facts.settingsToken == token)
            return &facts;
    return nullptr;
}

} // namespace sheaf::archiver
