#pragma once
// How the desktop looks and speaks, set once per process before the first window: Qt's own texts
// in Brazilian Portuguese (context menus, file dialogs, calendars), pt-BR numbers and dates, the
// icon theme, and a style that always shows where the focus is.
class QApplication;

namespace ger::qt {

// Idempotent; the shell calls it when it starts. False when Qt's pt_BR translations are not
// installed (the program still runs, with Qt's own texts in English).
bool UseDesktopLook();

}  // namespace ger::qt
