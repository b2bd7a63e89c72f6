#pragma once
// The extension field (cmbExtent) as the window runs it: typing, Enter,
// Shift+Enter, leaving the field and a choice from the list, bound to the
// extension list logic. Any change of the field's text empties the batch
// (`clear`); a choice moves to the top of the list on the refresh timer's
// tick once no command runs.

#include "base/ui/command_state.h"
#include "choice/extension_list.h"

#include <QObject>
#include <functional>

class QComboBox;
class QTimer;
class QWidget;

namespace sheaf::ui {

class ExtensionBinding : public QObject
{
    Q_OBJECT
public:
    // `repaint` is the window to redraw after a removal.
    ExtensionBinding(QComboBox *cmbExtent, QTimer *timRefresh, QWidget *repaint,
        CommandState &state, std::function<void()> clear, QObject *parent = nullptr);

    // The field as plain data, and back. Writing back runs cmbExtent_Change
    // only when the field's text changed.
    ExtensionList extentFromCombo() const;
    void extentToCombo(const ExtensionList &extensions);

    void cmbExtent_Change();
    void cmbExtent_Click();
    void cmbExtent_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void cmbExtent_LostFocus();
    void timRefresh_Timer();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QComboBox *m_combo;
    QTimer *m_timer;
    QWidget *m_repaint;
    CommandState &m_state;
    std::function<void()> m_clear;
};

} // namespace sheaf::ui
