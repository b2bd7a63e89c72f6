#pragma once
// The four option switches write a caption that says what they will do.

#include <QString>

namespace sheaf {

enum class OptionSwitch { Select, Output, Name, Together };

// The caption for a switch value: the checked sentence for 1, the unchecked
// one for every other value (0, the greyed 2).
QString switchCaption(OptionSwitch which, int value);

} // namespace sheaf
