#pragma once
// The compress run's plan: what each entry will do, worked out from the list
// and the settings before anything is touched. The disk is only looked at to
// find where a folder given through a symbolic link leads, so that two
// entries that meet there wait for each other. The loop in archive_run.cpp
// carries it out.

#include "archive/archive_run.h"

#include <QString>
#include <vector>

namespace sheaf {

struct EntryPlan
{
    enum class Action {
        Skip, // unmarked: only counted
        Refuse, // the run stops here before touching the entry; `refusal` says why
        Archive, // rename when newName differs from oldName, then run commandLine
    };
    Action action = Action::Skip;
    QString refusal; // a message for a box titled run_texts::messageTitle()
    QString dir; // the entry's folder, ending in the separator
    QString oldName; // the file's name now
    QString newName; // its name when archived (the folder's name with the name switch)
    QString commandLine;
    QString archivePath; // with the archiver's extension
    // Entries 1..waitFor must be done before this one starts: they write what
    // it reads or writes (the same archive, a file it archives, a folder it
    // archives whole). 0 when it depends on no earlier entry.
    int waitFor = 0;
};

// One plan per entry, index k for entry k (index 0 unused). Entries after the
// first refusal are planned too; the loop never reaches them.
std::vector<EntryPlan> planRun(const CandidateList &list, const ArchiveRunSettings &settings);

} // namespace sheaf
