#pragma once
// Message boxes of the window. Tests install a hook that records a box
// instead of showing it modally, so that no test ever waits for a click.

#include <QMessageBox>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace sheaf::ui {

struct MessageBoxRecord
{
    QString title;
    QString text; // lines joined by "\r", as the logic gives them
    QString detail; // shown as the box's detailed text when not empty
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

using MessageBoxHook = std::function<void(const MessageBoxRecord &)>;

// Replaces the modal box by `hook` (an empty hook shows boxes again).
void setMessageBoxHook(MessageBoxHook hook);

// A modal box with an OK button only.
void showMessage(QWidget *parent, const MessageBoxRecord &box);

// The box that showMessage shows: OK is its default button, also while the
// details are open, so Enter closes it.
std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, const MessageBoxRecord &box);

} // namespace sheaf::ui
