#pragma once
// How many threads a piece of work runs on: the one rule for the batch's
// workers, the LZH encoder's chunks and the LZH decoder's helpers, so that
// "0" means the same everywhere.

namespace sheaf {

// `requested` when it is positive; otherwise one per core (at least one).
int threadCount(int requested);

} // namespace sheaf
