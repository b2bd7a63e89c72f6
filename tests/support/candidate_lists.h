#pragma once
// Candidate lists as the tables of the tests spell them.

#include "selection/candidate_list.h"
#include "selection/name_text.h"
#include "support/temp_tree.h"

#include <QStringList>

namespace sheaf::test {

// One entry per "dir|name"; a leading '-' leaves the entry unmarked, and
// \xHH in a folder or name stands for that byte.
inline CandidateList candidateList(const QStringList &entries)
{
    CandidateList list;
    for (QString e : entries) {
        const bool unmarked = e.startsWith(u'-');
        if (unmarked)
            e.remove(0, 1);
        list.append(nameFromBytes(bytesFromEscapes(e.section(u'|', 0, 0))),
            nameFromBytes(bytesFromEscapes(e.section(u'|', 1))));
        if (unmarked)
            list.FileMark[list.FileCount].clear();
    }
    return list;
}

} // namespace sheaf::test
