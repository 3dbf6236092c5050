#pragma once
// The user's gestures on the model, one function each, with the platform's semantics. The Qt
// shell forwards its widgets' events here and the scenario runner its lines, so both behave the
// same. Each gesture runs under the application's top-level handler and answers whether it
// completed (false: a handler raised, the error, if any, is in an error dialog). A gesture the
// user could not make at all (a disabled or hidden control, an entry that is not in the list)
// raises ui::EGestureError instead.
#include <string>
#include <string_view>
#include <vector>

#include "ui/comctrls.h"
#include "ui/forms.h"
#include "ui/grids.h"

namespace ger::ui::Gestures {

// A menu item's click first closes its pop-up menu when that is shown, as choosing an entry
// does.
bool Click(TComponent& target);
// A shown pop-up menu ended without a choice (Escape, a click elsewhere); nothing when it is not
// shown.
bool CloseMenu(TPopupMenu& menu);
bool DblClick(TControl& target);
// As a mouse click into the control: the caret goes to the end, then the enter handler runs.
bool Focus(TControl& target);
// Focuses the control, then types the characters one by one (key handlers, filters, masks).
bool Type(TControl& target, std::string_view text);
// One key: "enter", "ctrl+enter", "ctrl+shift+enter", "alt+ctrl+enter", "backspace", "tab",
// "delete", "ctrl+delete", "escape", a single character, or a key that moves: "up", "down",
// "left", "right", "home", "end", "f4" (with "shift+", "ctrl+", "alt+" as needed).
bool Key(TControl& target, std::string_view key);
bool Clear(TControl& target);
bool Paste(TControl& target, const std::string& text);
// The edit commands of a text box (its context menu and the clipboard keys): a paste of the text
// at the caret, the deletion of the selection (what a cut leaves once the toolkit copied it),
// and undo.
enum class TextEdit { Insert, DeleteSelection, Undo };
bool EditText(TControl& target, TextEdit action, const std::string& text = {});
bool Select(TControl& target, int index);
bool Select(TControl& target, std::string_view text);
bool Check(TControl& target, bool on);
bool Page(TTabSheet& page);
bool GridCol(TDBGrid& grid, std::string_view fieldName);
// A click on the title of the field's column: the rows ordered by it (a second click: the other
// way round); the current row stays current.
bool GridTitle(TDBGrid& grid, std::string_view fieldName);
bool GridRow(TDBGrid& grid, int row);
bool GridType(TDBGrid& grid, std::string_view text);
bool GridChoose(TDBGrid& grid, const std::string& text);
bool GridButton(TDBGrid& grid);
bool Close(TForm& form);
bool Minimize(TForm& form);
// A menu short cut pressed on the form ("Ctrl+E"); false when no usable item has it.
bool ShortCut(TForm& form, std::string_view shortCut);

}  // namespace ger::ui::Gestures

namespace ger::ui::Observe {

// What the user sees as the control's text: a masked box without the mask's literals and without
// trailing blanks; a list or radio group its selected entry; a label, form, button or menu item
// its caption ("&" included).
std::string Text(const TComponent& component);
std::vector<std::string> Items(const TComponent& component);
bool Enabled(const TComponent& component);
bool Visible(const TComponent& component);
bool Checked(const TComponent& component);
// A check box in its third state (neither ticked nor unticked).
bool Grayed(const TComponent& component);

}  // namespace ger::ui::Observe
