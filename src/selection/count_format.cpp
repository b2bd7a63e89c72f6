#include "selection/count_format.h"

namespace sheaf {

QString formatCount(qint64 n)
{
    // Digits are produced from the unsigned magnitude so that the most
    // negative number keeps all of its digits.
    quint64 magnitude = n < 0 ? quint64(0) - quint64(n) : quint64(n);
    char16_t buffer[32];
    int pos = 32;
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0)
            buffer[--pos] = u',';
        buffer[--pos] = char16_t(u'0' + magnitude % 10);
        magnitude /= 10;
        ++digits;
    } while (magnitude != 0);
    if (n < 0)
        buffer[--pos] = u'-';
    return QString(reinterpret_cast<const QChar *>(buffer + pos), 32 - pos);
}

namespace {

QString timeText(const QDateTime &local)
{
    const QDate d = local.date();
    const QTime tm = local.time();
    const int parts[5] = {d.year() % 100, d.month(), d.day(), tm.hour(), tm.minute()};
    const char16_t separators[4] = {u'/', u'/', u' ', u':'};
    QString text(14, Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = 0; i < 5; ++i) {
        const int v = parts[i] < 0 ? -parts[i] : parts[i]; // years before 0 keep two digits
        *out++ = QChar(u'0' + v / 10);
        *out++ = QChar(u'0' + v % 10);
        if (i < 4)
            *out++ = QChar(separators[i]);
    }
    return text;
}

} // namespace

QString formatFileTime(const QDateTime &t)
{
    return t.isValid() ? timeText(t.toLocalTime()) : QString();
}

QString formatFileTime(const QDateTime &t, const QTimeZone &zone)
{
    if (!zone.isValid())
        return formatFileTime(t);
    return t.isValid() ? timeText(t.toTimeZone(zone)) : QString();
}

} // namespace sheaf
