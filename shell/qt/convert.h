#pragma once
// Translations between the UI model's notations and Qt's: file filters, captions with their
// accelerators, named colours, keys and cell values. Kept apart from the widgets so that each
// rule is tested on its own.
#include <optional>
#include <string>

#include <QColor>
#include <QKeyEvent>
#include <QString>

#include "core/value.h"
#include "ui/component.h"

namespace ger::qt {

QString ToQ(const std::string& text);
std::string FromQ(const QString& text);

// "Imagens|*.bmp;*.jpg|Todos|*.*" → "Imagens (*.bmp *.jpg);;Todos (*)". A pair without a pattern
// is dropped; an empty filter gives the empty Qt filter (every file).
QString FileFilter(const std::string& filter);

// A caption for a widget that draws no accelerator: "&Incluir" → "Incluir", "A && B" → "A & B".
QString PlainCaption(const std::string& caption);

// The palette colour of a named colour; nothing for the widget's own default.
std::optional<QColor> ColorOf(TColor color);

// The key of a key event in the names the gestures take ("enter", "shift+tab", "ctrl+delete",
// "escape", "backspace"); nothing for a key the model does not handle (arrows, function keys,
// printable characters, which travel as text).
std::optional<std::string> KeyName(const QKeyEvent& event);
// The keys that move a list's or a radio group's choice: "up", "down", "left", "right", "home",
// "end"; nothing for other keys or when a modifier is held (Alt+Down opens a list).
std::optional<std::string> NavigationKeyName(const QKeyEvent& event);
// The keys the model acts on for the form when the control leaves them: Ctrl+Tab,
// Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp change the page, F2 and Alt+Down open a box's search,
// F1 opens the guide at the box.
std::optional<std::string> FormKeyName(const QKeyEvent& event);
// The characters a key event types into a box: its text without control characters, and nothing
// when Ctrl or Alt is held (those are commands, not characters).
std::optional<QString> TypedText(const QKeyEvent& event);

// A cell value as text: numbers in pt-BR, dates dd/mm/yyyy, blobs as "(BLOB)".
std::string ValueText(const Value& value);

// Positions in characters (code points) of a UTF-8 text and their offsets in Qt's UTF-16 string.
int Utf16Offset(const QString& text, int characters);
int CharacterIndex(const QString& text, int utf16Offset);

}  // namespace ger::qt
