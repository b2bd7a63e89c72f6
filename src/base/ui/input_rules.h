#pragma once
// Keyboard and wheel habits of Windows that Qt does not follow by itself,
// for every window of the tool except dialogs (which have their own rules
// for Enter):
//   - the wheel goes to the focused control: a combo box without focus
//     ignores it (it would otherwise change its choice under the pointer);
//   - Enter presses the focused push button, as Space does;
//   - Alt with a letter never types into a text field (an access key that
//     no enabled control takes does nothing).

namespace sheaf::ui {

// Installs the rules on the application; again is harmless.
void installWindowsInputRules();

} // namespace sheaf::ui
