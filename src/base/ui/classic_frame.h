#pragma once
// A frame as classic dialogs draw it: an etched border whose top line runs
// through the middle of the caption, the caption on a gap in that line. The
// members keep their places inside the border.

#include <QGroupBox>

namespace sheaf::ui {

class ClassicFrame : public QGroupBox
{
    Q_OBJECT
public:
    explicit ClassicFrame(QWidget *parent = nullptr);

    // Where the caption is drawn, in the frame's coordinates.
    QRect captionRect() const;
    // The area inside the border.
    QRect innerRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace sheaf::ui
