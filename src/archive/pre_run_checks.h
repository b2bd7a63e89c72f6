#pragma once
// The checks made before a compress run starts.

#include "selection/candidate_list.h"

#include <QString>
#include <optional>

namespace sheaf {

// The message of the first check that refuses the run: its two lines joined
// by one carriage return, to be shown in a box titled "kwSheaf" with only
// OK and no icon. nullopt when no check refuses.
std::optional<QString> preRunRefusal(
    const CandidateList &list, const QString &extension, bool name, bool together, bool output);

} // namespace sheaf
