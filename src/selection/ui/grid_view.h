#pragma once
// grdList: a table view over the candidate model with the header row as its
// horizontal header and column 0 ("№") frozen in an overlay view that does
// not scroll sideways. Rows are selected whole, in one contiguous range.

#include <QElapsedTimer>
#include <QSet>
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
    // its widest text (header included), and narrowed back to its width when
    // that fits again; a width of 0 makes it exactly as wide as its widest
    // text. The columns listed in `sharing` (folder and file names) share
    // the rest of the grid's width between them, each taking no more than
    // its widest text needs while the other needs more, so the grid is
    // filled and not wider than its view. A width the user drags stays
    // until the grid is gone, through every new list.
    void setColumnWidths(const QVector<int> &widths, const QVector<int> &whole = {},
        const QVector<int> &sharing = {});
    // How a column's text too wide for its cell is shortened.
    Qt::TextElideMode elideMode(int column) const;
    // The text a cell shows: shortened as painted when it does not fit.
    QString shownText(const QModelIndex &index) const;

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
    void fitColumns(); // after a new list
    void shareRoom(); // after a change of the grid's or a column's width
    void notePress(const QModelIndex &index);
    void doubleClickAt(const QModelIndex &index);

    QTableView *m_frozen = nullptr;
    QVector<int> m_widths, m_whole, m_sharing;
    QVector<int> m_needed; // what each sharing column's widest text needs
    QSet<int> m_dragged; // columns whose width the user set
    bool m_fitting = false; // our own width changes, not the user's
    // The selection as it stood before the last press, so that a double
    // click inside a selected range flips the whole range.
    int m_rangeLow = 0, m_rangeHigh = 0, m_rangeCurrent = 0;
    bool m_pressInRange = false;
    QElapsedTimer m_lastPress;
    int m_lastPressRow = -1;
};

} // namespace sheaf::ui
