#pragma once
// Folders dropped from a file manager. A folder dropped on the output field
// becomes the output folder; dropped anywhere else on the window (the
// selection field included) it becomes the selection folder. A dropped file
// stands for its folder. Drags that carry no existing local file or folder
// are left to the widget under the mouse (a field still takes dropped text).

#include <QObject>
#include <functional>

class QLineEdit;
class QMimeData;
class QWidget;

namespace sheaf::ui {

class FolderDrop : public QObject
{
public:
    // Watches `window` and every widget in it that takes drops. While
    // `busy` answers true every drop is refused, text drops included.
    FolderDrop(QWidget *window, QLineEdit *selectField, QLineEdit *outputField,
        std::function<bool()> busy = {});

    // The folder of the first local file or folder that exists; empty if none.
    static QString folderOf(const QMimeData *data);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_select;
    QLineEdit *m_output;
    std::function<bool()> m_busy;
};

} // namespace sheaf::ui
