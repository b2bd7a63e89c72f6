#include "selection/candidate_model.h"

#include "base/platform.h"
#include "selection/count_format.h"
#include "selection/name_text.h"

#include <QFile>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <limits>

namespace sheaf {

namespace {

const std::array<const char16_t *, 6> headers
    = {u"№", u"圧縮", u"ディレクトリ", u"ファイル名", u"更新日時", u"サイズ"};

} // namespace

CandidateModel::CandidateModel(CandidateList &list, QObject *parent)
    : QAbstractTableModel(parent)
    , m_list(list)
{
}

// Times and sizes are read once here, one stat per file; a file that has gone
// since the scan keeps its row with an empty time and size.
void CandidateModel::FileShow()
{
    beginResetModel();
    const int count = m_list.FileCount;
    m_rows = count;
    m_times.resize(count);
    m_sizes.resize(count);
    m_names = m_list.FileName;
    // The zone is fetched once: converting through it costs no look at the
    // system's zone files per file, as Qt::LocalTime conversions do.
    const QTimeZone zone = QTimeZone::systemTimeZone();
    // Files of one batch often share a minute of last change, and every
    // second of a minute has the same local text.
    qint64 cachedMinute = std::numeric_limits<qint64>::min();
    QString cachedTime;
    for (int i = 1; i <= count; ++i) {
        // QFile gives the time in UTC. size() always stats afresh and caches
        // every fact, so it goes first and the time comes from the same stat;
        // a file that has gone gives an invalid time.
        const QString path = m_list.fullPath(i);
        qint64 size = 0;
        QDateTime modified;
        bool exists = true;
        if (hasUnicodeForm(path)) {
            const QFile file(path);
            size = file.size();
            modified = file.fileTime(QFileDevice::FileModificationTime);
            exists = modified.isValid() || file.exists();
        } else {
            // QFile would look at the look-alike with U+FFFD; ask for the bytes.
            const auto facts = platform::fileFacts(namePath(path), true);
            exists = facts.error == 0;
            size = qint64(facts.size);
            modified = QDateTime::fromSecsSinceEpoch(facts.mtime, QTimeZone::utc());
        }
        if (!modified.isValid() || !exists) {
            if (!exists) {
                m_times[i - 1].clear();
                m_sizes[i - 1].clear();
                continue;
            }
            // Qt takes a time of exactly 0 for "no time"; the file exists.
            modified = QDateTime::fromMSecsSinceEpoch(0, QTimeZone::utc());
        }
        const qint64 msecs = modified.toMSecsSinceEpoch();
        const qint64 minute = msecs >= 0 ? msecs / 60000 : (msecs - 59999) / 60000;
        if (minute != cachedMinute) {
            cachedMinute = minute;
            cachedTime = formatFileTime(modified, zone);
        }
        m_times[i - 1] = cachedTime;
        m_sizes[i - 1] = formatCount(size);
    }
    endResetModel();
}

void CandidateModel::clearRows()
{
    beginResetModel();
    m_rows = 0;
    m_times.clear();
    m_sizes.clear();
    m_names.clear();
    endResetModel();
}

bool CandidateModel::flipMarks(int rowA, int rowB)
{
    const int low = std::min(rowA, rowB);
    const int high = std::min(std::max(rowA, rowB), std::min(m_rows, int(m_list.FileCount)));
    if (low < 1 || low > high)
        return false;
    for (int i = low; i <= high; ++i) {
        QString &mark = m_list.FileMark[i];
        mark = mark.isEmpty() ? markOn() : QString();
    }
    emit dataChanged(index(low - 1, 1), index(high - 1, 1), {Qt::DisplayRole});
    return true;
}

int CandidateModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int CandidateModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(headers.size());
}

QVariant CandidateModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    if (role == Qt::DisplayRole)
        return cellText(index.row() + 1, index.column());
    if (role == Qt::TextAlignmentRole) {
        // Column 1 centred; otherwise numbers (№, size) at the right, texts at the left.
        switch (index.column()) {
        case 0:
        case 5:
            return int(Qt::AlignRight | Qt::AlignVCenter);
        case 1:
            return int(Qt::AlignCenter);
        default:
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
    return {};
}

QVariant CandidateModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0
        || section >= int(headers.size()))
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromUtf16(headers[section]);
}

QString CandidateModel::cellText(int row, int column) const
{
    if (row < 1 || row > m_rows || row > m_list.FileCount)
        return QString();
    switch (column) {
    case 0:
        return QString::number(row);
    case 1:
        return m_list.FileMark[row];
    case 2:
        return shownName(m_list.FileDir[row]);
    case 3:
        return shownName(m_names[row]);
    case 4:
        return m_times[row - 1];
    case 5:
        return m_sizes[row - 1];
    default:
        return QString();
    }
}

} // namespace sheaf
