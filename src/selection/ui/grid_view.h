#pragma once
// grdList: a table view over the candidate model with the header row as its
// horizontal header and column 0 ("№") frozen in an overlay view that does
// not scroll sideways. Rows are selected whole, in one contiguous range.

#include <QElapsedTimer>
#include <QTableView>
#include <QVector>

class QAbstractItemModel;

namespace sheaf::ui {

class GridView : public QTableView
{
    Q_OBJECT
public:
    explicit GridView(QWidget *parent = nullptr);

    // Pixels between a cell's edge and its text, on either side.
    static constexpr int CellMargin = 2;

    void setCandidateModel(QAbstractItemModel *model);
    // The columns' widths. A column listed in `whole` (numbers, dates) is
    // never cut: after the model is reset it is widened, where needed, to
    // its widest text, and narrowed back to its width when that fits again.
    // The columns listed in `giving` (texts that lose their middle) give up
    // that room, so that the grid does not grow wider than it was and the
    // right-hand column is not cut at the grid's edge.
    void setColumnWidths(const QVector<int> &widths, const QVector<int> &whole = {},
        const QVector<int> &giving = {});

    // 1-based data rows as the handlers read them; 0 when there is none.
    int Row() const; // the current row
    int RowSel() const; // the other end of the selected range
    // Makes (row, column) current and the whole selection (1-based row).
    void setCurrentCell(int row, int column);

    QTableView *frozenColumn() const { return m_frozen; }
    // The full text of the cell at `viewportPos` when the cell cannot show
    // all of it (it is then the cell's tool tip); otherwise empty.
    QString cutTextAt(const QPoint &viewportPos) const;

signals:
    // A double click on a data row or on the empty area of the grid.
    void rowsDoubleClicked();

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void updateFrozenGeometry();
    void fitWholeColumns();
    void notePress(const QModelIndex &index);
    void doubleClickAt(const QModelIndex &index);

    QTableView *m_frozen = nullptr;
    QVector<int> m_widths, m_whole, m_giving;
    // The selection as it stood before the last press, so that a double
    // click inside a selected range flips the whole range.
    int m_rangeLow = 0, m_rangeHigh = 0, m_rangeCurrent = 0;
    bool m_pressInRange = false;
    QElapsedTimer m_lastPress;
    int m_lastPressRow = -1;
};

} // namespace sheaf::ui
