#pragma once
// Damage done to an archive's bytes, for the tests that check what a reader
// or an add makes of a damaged archive; and the little-endian fields that
// the tests read and write in archives made by hand.

#include <QByteArray>
#include <QMetaType>
#include <QString>

namespace sheaf::test {

// One change at an offset (a negative one counts from the end).
struct Damage
{
    enum Kind {
        Flip, // the byte at `at` xor `bytes[0]` (0xFF when `bytes` is empty)
        Overwrite, // `bytes` written over what stands at `at`
        Insert, // `bytes` put in before `at`
        Cut, // the bytes end at `at`
    };
    Kind kind = Flip;
    qsizetype at = 0;
    QByteArray bytes;
};

QByteArray damaged(QByteArray bytes, const Damage &damage);
// Reads `path`, damages its bytes and writes them back.
void damageFile(const QString &path, const Damage &damage);
// From 1 to `edits` random damages of one byte (flipped, overwritten,
// inserted or removed), then, one time in `cutOneIn`, a cut at a random
// place. `state` is the generator's (random_data.h).
QByteArray randomlyDamaged(QByteArray bytes, quint32 &state, int edits, int cutOneIn);

// Appends `value` in `width` bytes, least significant first.
void putLe(QByteArray &out, quint64 value, int width);
// The `width` bytes at `at`, least significant first.
quint64 leAt(const QByteArray &bytes, qsizetype at, int width);

} // namespace sheaf::test

Q_DECLARE_METATYPE(sheaf::test::Damage)
