#include "support/random_data.h"

namespace sheaf::test {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray out(size, Qt::Uninitialized);
    quint32 x = seed ? seed : 1;
    for (char &c : out)
        c = char(next(x) >> 24);
    return out;
}

QByteArray randomLetters(qsizetype size, quint32 seed)
{
    QByteArray out = randomBytes(size, seed);
    for (char &c : out)
        c = char('a' + (uchar(c) & 15));
    return out;
}

} // namespace sheaf::test
