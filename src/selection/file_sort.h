#pragma once
// Puts the candidate list in ascending order of folder, then name, comparing
// UTF-16 code units (no locale, letter case significant).

#include <QString>
#include <QVector>

namespace sheaf {

void FileSort(QVector<QString> &mark, QVector<QString> &dir, QVector<QString> &name, qint32 count);

} // namespace sheaf
