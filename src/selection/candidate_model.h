#pragma once
// The grid's model over the candidate list: six columns, one row per entry,
// the header row as the horizontal header. Times and sizes are read from the
// disk when the model is filled (FileShow), not stored in the list.

#include "selection/candidate_list.h"

#include <QAbstractTableModel>
#include <QVector>

namespace sheaf {

class CandidateModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CandidateModel(CandidateList &list, QObject *parent = nullptr);

    // Refills every row from the list in one reset (the grid is redrawn once).
    void FileShow();
    // Back to the header row only.
    void clearRows();
    // Flips the marks of rows low..high (1-based, in any order; rows < 1 are
    // ignored) in the list and in the grid. Returns false when no data row
    // was in the range. As the grid's double click does, a range whose lower
    // end is below row 1 (no current row, or the header row) flips nothing;
    // rows past the last one are left out.
    bool flipMarks(int rowA, int rowB);

    int rowCount(const QModelIndex &parent = {}) const override; // FileCount after FileShow
    int columnCount(const QModelIndex &parent = {}) const override; // 6
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The texts of one cell as the grid shows it (row 1-based, column 0..5).
    QString cellText(int row, int column) const;

private:
    CandidateList &m_list;
    int m_rows = 0;
    QVector<QString> m_times; // per row, index row - 1
    QVector<QString> m_sizes;
    // The names as filled: a rename by the compress run changes the list, not
    // what the grid shows until the next fill.
    QVector<QString> m_names;
};

} // namespace sheaf
