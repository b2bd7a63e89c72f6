#pragma once
// Number and time texts as the window shows them.

#include <QDateTime>
#include <QString>
#include <QTimeZone>

namespace sheaf {

// "##,##0": 0, 999, 1,000, 30,000; negative numbers keep their sign.
QString formatCount(qint64 n);
// "YY/MM/DD HH:NN" in local time: 01/02/08 14:05.
QString formatFileTime(const QDateTime &t);
// The same in a given zone (FileShow fetches the system's zone once).
QString formatFileTime(const QDateTime &t, const QTimeZone &zone);

} // namespace sheaf
