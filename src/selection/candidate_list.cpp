#include "selection/candidate_list.h"

namespace sheaf {

CandidateList::CandidateList()
    : FileMark(Capacity + 1)
    , FileDir(Capacity + 1)
    , FileName(Capacity + 1)
{
}

bool CandidateList::append(const QString &dir, const QString &name)
{
    if (FileCount >= Capacity)
        return false;
    ++FileCount;
    FileMark[FileCount] = markOn();
    FileDir[FileCount] = dir;
    FileName[FileCount] = name;
    return true;
}

void CandidateList::clear()
{
    for (int i = 1; i <= FileCount; ++i) {
        FileMark[i].clear();
        FileDir[i].clear();
        FileName[i].clear();
    }
    FileCount = 0;
    ScanFolder.clear();
    ListedFolders.clear();
}

} // namespace sheaf
