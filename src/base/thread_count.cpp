#include "base/thread_count.h"

#include <algorithm>
#include <thread>

namespace sheaf {

int threadCount(int requested)
{
    if (requested > 0)
        return requested;
    // hardware_concurrency() may answer 0 when it cannot tell.
    return std::max(1, int(std::thread::hardware_concurrency()));
}

} // namespace sheaf
