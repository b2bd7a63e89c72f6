#pragma once
// The pseudo-random data of the tests: the same for a seed on every machine,
// so that a failing row fails again.

#include <QByteArray>

namespace sheaf::test {

// The next number of the xorshift generator whose state is `state` (never 0).
inline quint32 next(quint32 &state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// Bytes that hardly compress.
QByteArray randomBytes(qsizetype size, quint32 seed);
// Random letters a to p: an encoder has to work on them (they are never
// stored as they are) and they shrink to about half.
QByteArray randomLetters(qsizetype size, quint32 seed);

} // namespace sheaf::test
