#pragma once
// While a command runs inside its handler, the window keeps painting and
// answering the desktop (a close request included, which the window then
// holds until the command ends) but its controls take no clicks or keys:
// they are dropped, not kept for later. Widgets named as still working
// (終了, a grid that only scrolls) take their input as usual; Esc calls
// `escape`. Controls that do nothing meanwhile can be greyed for the time.

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace sheaf::ui {

class CommandInputBlock : public QObject
{
public:
    CommandInputBlock(QWidget *window, QList<QWidget *> working, std::function<void()> escape = {},
        const QList<QWidget *> &greyed = {});
    ~CommandInputBlock() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool isWorking(const QWidget *widget) const;

    QWidget *m_window;
    QList<QWidget *> m_working;
    std::function<void()> m_escape;
    QList<QPointer<QWidget>> m_greyed; // enabled before, disabled for the time
};

} // namespace sheaf::ui
