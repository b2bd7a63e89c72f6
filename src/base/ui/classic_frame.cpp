#include "base/ui/classic_frame.h"

#include <QPainter>

namespace sheaf::ui {

namespace {
constexpr int CaptionLeft = 6; // the gap in the border starts here
constexpr int CaptionPad = 2; // room either side of the text in the gap
} // namespace

ClassicFrame::ClassicFrame(QWidget *parent)
    : QGroupBox(parent)
{
}

QRect ClassicFrame::captionRect() const
{
    const QFontMetrics fm(font());
    return QRect(CaptionLeft + CaptionPad, 0, fm.horizontalAdvance(title()), fm.height());
}

QRect ClassicFrame::innerRect() const
{
    const int lineY = fontMetrics().height() / 2;
    return rect().adjusted(2, lineY + 2, -2, -2);
}

void ClassicFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const int lineY = fontMetrics().height() / 2;
    // The etched line: a shadow line and a light one beside it.
    const QRect outer = rect().adjusted(0, lineY, -2, -2);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(outer);
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(outer.translated(1, 1));
    if (title().isEmpty())
        return;
    const QRect caption = captionRect();
    p.fillRect(caption.adjusted(-CaptionPad, 0, CaptionPad, 0), palette().window());
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    p.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, title());
}

} // namespace sheaf::ui
