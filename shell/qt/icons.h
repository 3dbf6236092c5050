#pragma once
// Pictures of buttons and windows, by their names in the desktop's icon naming, from the freely
// licensed icon theme the project installs; a name the theme lacks falls back to the next one.
#include <string_view>

#include <QIcon>

namespace ger::qt {

// Points Qt at the project's icon theme; call once before the first icon is drawn.
void UseIconTheme();
// The icon of that name, else of the fallback name; a null icon when the theme has neither.
QIcon Icon(std::string_view name, std::string_view fallback = {});

}  // namespace ger::qt
