#pragma once
// Keyboard and wheel habits of Windows that Qt does not follow by itself,
// for every window of the tool except dialogs (which have their own rules
// for Enter):
//   - the wheel goes to the focused control: a combo box without focus
//     ignores it (it would otherwise change its choice under the pointer);
//   - Enter presses the focused push button, as Space does.

namespace sheaf::ui {

// Installs the rules on the application; again is harmless.
void installWindowsInputRules();

} // namespace sheaf::ui
