#include "selection/ui/grid_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QtMath>
#include <algorithm>
#include <functional>

namespace sheaf::ui {

namespace {
constexpr int RowHeight = 18;

// A classic grid leaves 2 pixels between a cell's edge and its text; the
// item views leave PM_FocusFrameHMargin + 1.
class CellMarginStyle : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
        const QWidget *widget = nullptr) const override
    {
        if (metric == PM_FocusFrameHMargin)
            return GridView::CellMargin - 1;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// A cell's text and whether it is wider than the room the cell gives it.
bool textCut(const QTableView *view, const QModelIndex &index, QString *text)
{
    *text = index.data().toString();
    // The grid line takes the last pixel of the cell.
    const int room
        = view->visualRect(index).width() - (view->showGrid() ? 1 : 0) - 2 * GridView::CellMargin;
    return view->fontMetrics().horizontalAdvance(*text) > room;
}

// Cells shortened as their column wants: a folder loses its start, so that
// the end that tells folders apart stays in view.
class CellDelegate : public QStyledItemDelegate
{
public:
    explicit CellDelegate(GridView *view)
        : QStyledItemDelegate(view)
        , m_view(view)
    {
    }
    // The options a cell is painted with.
    QStyleOptionViewItem paintOptions(const QModelIndex &index) const
    {
        QStyleOptionViewItem option;
        option.initFrom(m_view);
        option.font = m_view->font();
        option.fontMetrics = m_view->fontMetrics();
        option.rect = m_view->visualRect(index);
        initStyleOption(&option, index);
        return option;
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = m_view->elideMode(index.column());
    }

private:
    GridView *m_view;
};

// The frozen column takes clicks for the rows it shows and hands them to
// the grid after its own handling, as the grid's own cells do.
class FrozenColumnView : public QTableView
{
public:
    FrozenColumnView(QWidget *parent, std::function<void(const QModelIndex &)> pressed,
        std::function<void(const QModelIndex &)> doubleClicked)
        : QTableView(parent)
        , m_pressed(std::move(pressed))
        , m_doubleClicked(std::move(doubleClicked))
    {
    }

protected:
    void mousePressEvent(QMouseEvent *event) override
    {
        m_pressed(indexAt(event->position().toPoint()));
        QTableView::mousePressEvent(event);
    }
    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        const QModelIndex index = indexAt(event->position().toPoint());
        QTableView::mouseDoubleClickEvent(event);
        if (event->button() == Qt::LeftButton)
            m_doubleClicked(index);
    }

private:
    std::function<void(const QModelIndex &)> m_pressed, m_doubleClicked;
};

void setUpRows(QTableView *view, QStyle *style)
{
    view->setStyle(style);
    // A text wider than its column loses its middle, so that the end of a
    // long folder or file name stays in view; the full text is a tool tip.
    view->setTextElideMode(Qt::ElideMiddle);
    // Fixed row heights keep 30000 rows cheap: no row is measured.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(RowHeight);
    view->verticalHeader()->setMinimumSectionSize(1);
    view->horizontalHeader()->setHighlightSections(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ContiguousSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setWordWrap(false);
}
} // namespace

GridView::GridView(QWidget *parent)
    : QTableView(parent)
    , m_frozen(new FrozenColumnView(
          this, [this](const QModelIndex &index) { notePress(index); },
          [this](const QModelIndex &index) { doubleClickAt(index); }))
{
    auto *cellStyle = new CellMarginStyle;
    cellStyle->setParent(this);
    setUpRows(this, cellStyle);
    setItemDelegate(new CellDelegate(this));
    verticalHeader()->hide(); // column 0 gives the running number
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    setUpRows(m_frozen, cellStyle);
    m_frozen->setObjectName(QStringLiteral("grdListFrozen"));
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->verticalHeader()->hide();
    m_frozen->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozen->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setFrameShape(QFrame::NoFrame);
    // The fixed column is shaded like the header row.
    QPalette shaded = m_frozen->palette();
    shaded.setColor(QPalette::Base, shaded.color(QPalette::Button));
    m_frozen->setPalette(shaded);
    viewport()->stackUnder(m_frozen);

    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
        &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozen->verticalScrollBar(),
        &QAbstractSlider::setValue);
    connect(
        horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
            if (section == 0) {
                m_frozen->setColumnWidth(0, size);
                updateFrozenGeometry();
            }
            if (!m_fitting) { // dragged: kept, and the others share what is left
                m_dragged.insert(section);
                shareRoom();
            }
        });
}

Qt::TextElideMode GridView::elideMode(int column) const
{
    // The folder column is the third; a folder's end tells it apart.
    return column == 2 ? Qt::ElideLeft : Qt::ElideMiddle;
}

QString GridView::shownText(const QModelIndex &index) const
{
    QString text;
    if (!textCut(this, index, &text))
        return text;
    const auto *delegate = static_cast<const CellDelegate *>(itemDelegate());
    const QStyleOptionViewItem option = delegate->paintOptions(index);
    const int room = option.rect.width() - (showGrid() ? 1 : 0) - 2 * CellMargin;
    return option.fontMetrics.elidedText(option.text, option.textElideMode, room);
}

void GridView::setCandidateModel(QAbstractItemModel *model)
{
    setModel(model);
    m_frozen->setModel(model);
    m_frozen->setSelectionModel(selectionModel());
    connect(model, &QAbstractItemModel::modelReset, this, &GridView::fitColumns);
    for (int c = 1; c < model->columnCount(); ++c)
        m_frozen->setColumnHidden(c, true);
    m_frozen->setColumnWidth(0, columnWidth(0));
    m_frozen->setToolTip(toolTip());
    m_frozen->show();
    updateFrozenGeometry();
}

void GridView::setColumnWidths(
    const QVector<int> &widths, const QVector<int> &whole, const QVector<int> &sharing)
{
    m_widths = widths;
    m_whole = whole;
    m_sharing = sharing;
    {
        const QScopedValueRollback fitting(m_fitting, true);
        for (int c = 0; c < widths.size(); ++c)
            setColumnWidth(c, widths[c]);
        m_frozen->setColumnWidth(0, widths.value(0));
    }
    fitColumns();
    updateFrozenGeometry();
}

void GridView::fitColumns()
{
    if (!model())
        return;
    const QFontMetricsF metrics(font()); // fractions count: the view elides them
    const int rows = model()->rowCount();
    // As textCut counts the room: the margins and the grid line.
    const int around = 2 * CellMargin + (showGrid() ? 1 : 0);
    const auto needed = [&](int c, qreal widest) {
        return qMax(qCeil(widest) + around, horizontalHeader()->sectionSizeHint(c));
    };
    const QScopedValueRollback fitting(m_fitting, true);
    for (const int c : std::as_const(m_whole)) {
        // Texts of one kind (digits and commas, dates) are widest where they
        // are longest: only the longest are measured, so 30000 rows cost
        // little.
        qsizetype longest = 0;
        qreal widest = 0;
        for (int r = 0; r < rows; ++r) {
            const QString text = model()->index(r, c).data().toString();
            if (text.size() > longest) {
                longest = text.size();
                widest = metrics.horizontalAdvance(text);
            } else if (text.size() == longest) {
                widest = qMax(widest, metrics.horizontalAdvance(text));
            }
        }
        const int width = qMax(m_widths.value(c), needed(c, widest));
        if (!m_dragged.contains(c) && columnWidth(c) != width)
            setColumnWidth(c, width); // column 0 follows into the frozen view
    }
    // Names differ in their characters: every one is measured, once a list.
    m_needed.clear();
    for (const int c : std::as_const(m_sharing)) {
        qreal widest = 0;
        for (int r = 0; r < rows; ++r)
            widest
                = qMax(widest, metrics.horizontalAdvance(model()->index(r, c).data().toString()));
        m_needed << needed(c, widest);
    }
    shareRoom();
}

void GridView::shareRoom()
{
    if (!model() || m_needed.size() != m_sharing.size())
        return;
    int room = viewport()->width();
    QList<std::pair<int, int>> open; // need, column
    for (int c = 0; c < model()->columnCount(); ++c) {
        const qsizetype k = m_sharing.indexOf(c);
        if (k < 0 || m_dragged.contains(c))
            room -= columnWidth(c);
        else
            open << std::pair {m_needed[k], c};
    }
    if (open.isEmpty())
        return;
    // The smaller needs are met first; whatever no column needs is shared
    // out evenly. Each keeps at least this much, at the cost of scrolling.
    constexpr int kNarrowest = 40;
    std::sort(open.begin(), open.end());
    int needs = 0;
    for (const auto &[need, c] : std::as_const(open))
        needs += need;
    const int spare = qMax(0, room - needs);
    const QScopedValueRollback fitting(m_fitting, true);
    for (qsizetype i = 0; i < open.size(); ++i) {
        const auto &[need, c] = open[i];
        int width = room; // the last takes what is left
        if (i + 1 < open.size())
            width = spare > 0 ? need + spare / int(open.size())
                              : qMin(need, room / int(open.size() - i));
        width = qMax(kNarrowest, width);
        room -= width;
        if (columnWidth(c) != width)
            setColumnWidth(c, width);
    }
}

bool GridView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = indexAt(help->pos());
        QString text;
        if (index.isValid() && textCut(this, index, &text)) {
            QToolTip::showText(help->globalPos(), text, viewport(), visualRect(index));
            return true;
        }
    }
    return QTableView::viewportEvent(event);
}

QString GridView::cutTextAt(const QPoint &viewportPos) const
{
    const QModelIndex index = indexAt(viewportPos);
    QString text;
    return index.isValid() && textCut(this, index, &text) ? text : QString();
}

void GridView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    updateFrozenGeometry();
    shareRoom();
}

void GridView::updateFrozenGeometry()
{
    m_frozen->setGeometry(frameWidth(), frameWidth(), columnWidth(0),
        viewport()->height() + horizontalHeader()->height());
    m_frozen->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
}

QModelIndex GridView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = QTableView::moveCursor(cursorAction, modifiers);
    // Keep the cell the cursor moves to out from under the frozen column.
    if (cursorAction == MoveLeft && current.column() > 0
        && visualRect(current).topLeft().x() < m_frozen->columnWidth(0)) {
        const int newValue = horizontalScrollBar()->value() + visualRect(current).topLeft().x()
            - m_frozen->columnWidth(0);
        horizontalScrollBar()->setValue(newValue);
    }
    return current;
}

void GridView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (index.column() > 0)
        QTableView::scrollTo(index, hint);
    else if (index.isValid())
        QTableView::scrollTo(model()->index(index.row(), 1), hint);
}

int GridView::Row() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

int GridView::RowSel() const
{
    const int row = Row();
    if (row == 0 || !selectionModel())
        return row;
    for (const QItemSelectionRange &range : selectionModel()->selection()) {
        const int top = range.top() + 1, bottom = range.bottom() + 1;
        if (row >= top && row <= bottom)
            return row == top ? bottom : top;
    }
    return row;
}

void GridView::setCurrentCell(int row, int column)
{
    if (!model() || row < 1 || row > model()->rowCount())
        return;
    const QModelIndex index = model()->index(row - 1, column);
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void GridView::notePress(const QModelIndex &index)
{
    // The second press of a double click keeps what the first one saw.
    const bool second = m_lastPress.isValid()
        && m_lastPress.elapsed() < QApplication::doubleClickInterval()
        && index.row() == m_lastPressRow;
    m_lastPress.restart();
    m_lastPressRow = index.row();
    if (second)
        return;
    const int a = Row(), b = RowSel();
    m_rangeLow = qMin(a, b);
    m_rangeHigh = qMax(a, b);
    m_rangeCurrent = a;
    m_pressInRange = index.isValid() && m_rangeLow >= 1 && index.row() + 1 >= m_rangeLow
        && index.row() + 1 <= m_rangeHigh;
}

void GridView::doubleClickAt(const QModelIndex &index)
{
    // The first click of the double click has made its row the selection; a
    // double click inside the range selected before flips that whole range.
    if (m_pressInRange && index.isValid() && m_rangeHigh > m_rangeLow) {
        const QModelIndex current = model()->index(m_rangeCurrent - 1, 0);
        const int other = m_rangeCurrent == m_rangeLow ? m_rangeHigh : m_rangeLow;
        selectionModel()->setCurrentIndex(model()->index(other - 1, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        selectionModel()->select(
            QItemSelection(model()->index(m_rangeLow - 1, 0), model()->index(m_rangeHigh - 1, 0)),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    m_pressInRange = false;
    emit rowsDoubleClicked();
}

void GridView::mousePressEvent(QMouseEvent *event)
{
    notePress(indexAt(event->position().toPoint()));
    QTableView::mousePressEvent(event);
}

void GridView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        doubleClickAt(index);
}

} // namespace sheaf::ui
