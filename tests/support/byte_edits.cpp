#include "support/byte_edits.h"

#include "support/random_data.h"
#include "support/temp_tree.h"

namespace sheaf::test {

QByteArray damaged(QByteArray bytes, const Damage &damage)
{
    const qsizetype at = damage.at < 0 ? bytes.size() + damage.at : damage.at;
    Q_ASSERT(at >= 0 && at <= bytes.size());
    switch (damage.kind) {
    case Damage::Flip:
        bytes[at] = char(bytes[at] ^ (damage.bytes.isEmpty() ? char(0xFF) : damage.bytes[0]));
        break;
    case Damage::Overwrite:
        bytes.replace(at, damage.bytes.size(), damage.bytes);
        break;
    case Damage::Insert:
        bytes.insert(at, damage.bytes);
        break;
    case Damage::Cut:
        bytes.truncate(at);
        break;
    }
    return bytes;
}

void damageFile(const QString &path, const Damage &damage)
{
    writeFile(path, damaged(readFile(path), damage));
}

QByteArray randomlyDamaged(QByteArray bytes, quint32 &state, int edits, int cutOneIn)
{
    for (int k = 1 + int(next(state) % quint32(edits)); k > 0 && !bytes.isEmpty(); --k) {
        const qsizetype at = qsizetype(next(state) % quint32(bytes.size()));
        const char value = char(next(state));
        switch (next(state) % 4) {
        case 0:
            bytes[at] = char(bytes[at] ^ (value | 1));
            break;
        case 1:
            bytes[at] = value;
            break;
        case 2:
            bytes.insert(at, value);
            break;
        default:
            bytes.remove(at, 1);
            break;
        }
    }
    if (next(state) % quint32(cutOneIn) == 0 && !bytes.isEmpty())
        bytes.truncate(qsizetype(next(state) % quint32(bytes.size())));
    return bytes;
}

void putLe(QByteArray &out, quint64 value, int width)
{
    for (int i = 0; i < width; ++i)
        out += char(value >> (8 * i));
}

quint64 leAt(const QByteArray &bytes, qsizetype at, int width)
{
    quint64 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | quint8(bytes[at + i]);
    return value;
}

} // namespace sheaf::test
