#pragma once
// The toolkit's own texts (message box buttons, the context menu of every
// text field, the file dialogs) in Japanese, from Qt's translations
// (Debian: qt6-translations-l10n).

namespace sheaf::ui {

// Loads Qt's Japanese translations into the application once. False when
// they are not installed; the toolkit then speaks English.
bool installToolkitTranslations();

} // namespace sheaf::ui
