#include "ui/gestures.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/utf8.h"
#include "ui/dbctrls.h"
#include "ui/help.h"

namespace ger::ui {

namespace {
TForm& FormOf(const TComponent& c) {
  TForm* form = c.OwnerForm();
  if (!form) throw EGestureError("'" + c.Name() + "' is not on a form.");
  return *form;
}

void RequireUsable(const TControl& c) {
  if (!c.Showing()) throw EGestureError("'" + c.Name() + "' is not visible.");
  for (const TControl* p = &c; p; p = p->Parent())
    if (!p->Enabled()) throw EGestureError("'" + c.Name() + "' is disabled.");
}

void RequireFocusable(const TControl& c) {
  RequireUsable(c);
  if (!c.TakesFocus()) throw EGestureError("'" + c.Name() + "' cannot take the focus.");
}

// Moves the focus to the control as the user does; false when a failing exit refused it.
bool FocusFor(TControl& c) {
  TForm& form = FormOf(c);
  form.Activate();
  if (form.ActiveControl() == &c) return true;
  if (!form.FocusControl(&c)) return false;
  return form.ActiveControl() == &c;
}

// Runs a change of the user's to a text box as one step that undo takes back.
// Typed characters in a row make one step, as the platform's boxes keep them.
template <class F>
void WithUndo(TControl& c, F&& change, bool typing = false) {
  if (auto* edit = dynamic_cast<TCustomEdit*>(&c)) {
    TCustomEdit::UserEdit step(*edit, typing);
    change();
  } else {
    change();
  }
}

// The key goes through the form first when it previews keys.
bool FormKeyDown(TForm& form, int& key, unsigned shift) {
  if (form.KeyPreview && form.OnKeyDown) form.OnKeyDown(form, key, shift);
  return key != 0;
}

bool FormKeyPress(TForm& form, char32_t& key) {
  if (form.KeyPreview && form.OnKeyPress) form.OnKeyPress(form, key);
  return key != 0;
}

void PressChar(TControl& c, char32_t ch) {
  TForm& form = FormOf(c);
  // Every typed character is a key event of its own: a key handler ending it with the silent
  // abort drops that character, and the characters typed after it still arrive.
  try {
    if (!FormKeyPress(form, ch)) return;
    c.KeyPress(ch);
  } catch (const EAbort&) {
  }
}

bool Inside(const TControl& c, const TControl& container) {
  for (const TControl* p = &c; p; p = p->Parent())
    if (p == &container) return true;
  return false;
}

// The page control whose pages Ctrl+Tab moves through: the nearest around the control.
TPageControl* PageControlAround(TControl& c) {
  for (TControl* p = &c; p; p = p->Parent())
    if (auto* pc = dynamic_cast<TPageControl*>(p)) return pc;
  return nullptr;
}

// Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp: the next or previous tab that can be
// clicked, round from the last to the first, clicked as the mouse would (the page-leaving checks
// may refuse), then the focus in the page's first box.
bool ChangePageByKey(TForm& form, TControl& c, int key, unsigned shift) {
  if ((shift & (Keys::ssCtrl | Keys::ssAlt)) != Keys::ssCtrl) return false;
  if (key != Keys::VK_TAB && key != Keys::VK_NEXT && key != Keys::VK_PRIOR) return false;
  TPageControl* pc = PageControlAround(c);
  if (!pc || !pc->CanFocus() || pc->PageCount() == 0) return true;
  const bool forward = key == Keys::VK_TAB ? !(shift & Keys::ssShift) : key == Keys::VK_NEXT;
  const int count = pc->PageCount();
  const int from = std::max(pc->ActivePageIndex(), 0);
  for (int step = 1; step < count; ++step) {
    TTabSheet& page = *pc->Pages()[((forward ? from + step : from - step) % count + count) % count];
    if (!page.TabVisible() || !page.Enabled()) continue;
    if (!pc->ClickTab(page)) return true;
    TControl* first = form.FindNextControl(nullptr, true);
    for (TControl* next = first; next;) {
      if (Inside(*next, page)) {
        form.FocusControl(next);
        break;
      }
      next = form.FindNextControl(next, true);
      if (next == first) break;
    }
    return true;
  }
  return true;
}

// F2 or Alt+Down in a box with a search button beside it opens the search.
bool SearchByKey(TForm& form, TControl& c, int key, unsigned shift) {
  const bool f2 = key == Keys::VK_F2 && shift == 0;
  const bool altDown = key == Keys::VK_DOWN && shift == Keys::ssAlt;
  if (!f2 && !altDown) return false;
  std::vector<TControl*> pending{&form};
  while (!pending.empty()) {
    TControl* p = pending.back();
    pending.pop_back();
    for (TControl* child : p->Controls()) {
      auto* button = dynamic_cast<TSpeedButton*>(child);
      if (button && button->Associate == &c && button->Showing() && button->Enabled()) {
        button->Click();
        return true;
      }
      pending.push_back(child);
    }
  }
  return false;
}

void PressKey(TControl& c, int key, unsigned shift, char32_t ch) {
  TForm& form = FormOf(c);
  if (!FormKeyDown(form, key, shift)) return;
  c.KeyDown(key, shift);
  if (key == 0) return;
  if (key == help::kHelpKey && shift == 0) {
    help::Show(form.HelpFile, help::FocusTopic(form, &c));
    return;
  }
  if (ChangePageByKey(form, c, key, shift) || SearchByKey(form, c, key, shift)) return;
  if (key == Keys::VK_TAB && !(shift & (Keys::ssCtrl | Keys::ssAlt))) {
    if (TControl* next = form.FindNextControl(&c, !(shift & Keys::ssShift)))
      form.FocusControl(next);
    return;
  }
  // Enter and Escape that the control leaves alone belong to the form (its default and cancel
  // buttons, or its own use of Enter), before they become characters.
  if ((key == Keys::VK_RETURN && !c.WantsReturn()) || key == Keys::VK_ESCAPE)
    if (form.DialogKey(c, key, shift)) return;
  // Ctrl and Alt combinations produce no character.
  if (ch != 0 && !(shift & (Keys::ssCtrl | Keys::ssAlt))) PressChar(c, ch);
}

// Keys that move rather than type; the boxes leave them to their toolkit's caret, lists and
// radio groups move their choice with them.
std::optional<int> NavigationKey(std::string_view name) {
  static constexpr std::pair<std::string_view, int> kKeys[] = {
      {"up", Keys::VK_UP},       {"down", Keys::VK_DOWN}, {"left", Keys::VK_LEFT},
      {"right", Keys::VK_RIGHT}, {"home", Keys::VK_HOME}, {"end", Keys::VK_END},
      {"f4", Keys::VK_F4},       {"f2", Keys::VK_F2},     {"f1", help::kHelpKey},
      {"pgup", Keys::VK_PRIOR},  {"pgdn", Keys::VK_NEXT}};
  for (auto [key, vk] : kKeys)
    if (name == key) return vk;
  return std::nullopt;
}

int IndexOf(const std::vector<std::string>& items, std::string_view text) {
  auto it = std::find(items.begin(), items.end(), text);
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}
}  // namespace

namespace Gestures {

bool Click(TComponent& target) {
  return target.ClickByUser();
}

bool CloseMenu(TPopupMenu& menu) {
  return Application().Guard([&] { menu.CloseUp(); });
}

bool DblClick(TControl& target) {
  RequireUsable(target);
  return Application().Guard([&] {
    if (target.TakesFocus() && !FocusFor(target)) return;
    if (target.OnDblClick) target.OnDblClick(target);
  });
}

bool Focus(TControl& target) {
  RequireFocusable(target);
  return Application().Guard([&] { FocusFor(target); });
}

bool Type(TControl& target, std::string_view text) {
  RequireFocusable(target);
  return Application().Guard([&] {
    if (!FocusFor(target)) return;
    for (char32_t ch : utf8::Decode(text)) {
      WithUndo(
          target,
          [&] {
            if (ch == U'\n')
              PressKey(target, Keys::VK_RETURN, 0, U'\r');
            else
              PressChar(target, ch);
          },
          true);
    }
  });
}

bool Key(TControl& target, std::string_view key) {
  RequireFocusable(target);
  unsigned shift = 0;
  std::string_view name = key;
  if (name.size() != 1 && utf8::Length(name) != 1) {
    for (;;) {
      if (name.rfind("ctrl+", 0) == 0) {
        shift |= Keys::ssCtrl;
        name.remove_prefix(5);
      } else if (name.rfind("shift+", 0) == 0) {
        shift |= Keys::ssShift;
        name.remove_prefix(6);
      } else if (name.rfind("alt+", 0) == 0) {
        shift |= Keys::ssAlt;
        name.remove_prefix(4);
      } else {
        break;
      }
    }
  }
  int vk = 0;
  char32_t ch = 0;
  if (name == "enter") {
    vk = Keys::VK_RETURN;
    ch = U'\r';
  } else if (name == "backspace") {
    vk = Keys::VK_BACK;
    ch = U'\b';
  } else if (name == "tab") {
    vk = Keys::VK_TAB;
  } else if (name == "delete") {
    vk = Keys::VK_DELETE;
  } else if (name == "escape") {
    vk = Keys::VK_ESCAPE;
    ch = 27;
  } else if (auto nav = NavigationKey(name)) {
    vk = *nav;
  } else if (utf8::Length(name) == 1) {
    ch = utf8::Decode(name).front();
    vk = static_cast<int>(utf8::ToUpper(ch));
  } else {
    throw EGestureError("Unknown key '" + std::string(key) + "'.");
  }
  return Application().Guard([&] {
    if (!FocusFor(target)) return;
    WithUndo(
        target, [&] { PressKey(target, vk, shift, ch); }, ch >= 32);
  });
}

bool Clear(TControl& target) {
  RequireFocusable(target);
  if (!target.HoldsText()) throw EGestureError("'" + target.Name() + "' holds no text to clear.");
  return Application().Guard([&] {
    if (FocusFor(target)) WithUndo(target, [&] { target.ClearByUser(); });
  });
}

bool Paste(TControl& target, const std::string& text) {
  RequireFocusable(target);
  if (!target.HoldsText()) throw EGestureError("'" + target.Name() + "' takes no text.");
  return Application().Guard([&] {
    if (FocusFor(target)) WithUndo(target, [&] { target.PasteByUser(text); });
  });
}

bool EditText(TControl& target, TextEdit action, const std::string& text) {
  RequireFocusable(target);
  auto* edit = dynamic_cast<TCustomEdit*>(&target);
  if (!edit) throw EGestureError("'" + target.Name() + "' takes no text.");
  return Application().Guard([&] {
    if (!FocusFor(target)) return;
    switch (action) {
      case TextEdit::Insert:
        WithUndo(target, [&] { edit->InsertTextByUser(text); });
        break;
      case TextEdit::DeleteSelection:
        WithUndo(target, [&] { edit->DeleteSelectionByUser(); });
        break;
      case TextEdit::Undo:
        edit->UndoByUser();
        break;
    }
  });
}

bool Select(TControl& target, int index) {
  RequireFocusable(target);
  auto count = static_cast<int>(target.Entries().size());
  if (index < 0 || index >= count)
    throw EGestureError("'" + target.Name() + "' has no entry " + std::to_string(index) + ".");
  return Application().Guard([&] {
    if (FocusFor(target)) target.SelectByUser(index);
  });
}

bool Select(TControl& target, std::string_view text) {
  int index = IndexOf(target.Entries(), text);
  if (index < 0)
    throw EGestureError("'" + target.Name() + "' has no entry \"" + std::string(text) + "\".");
  return Select(target, index);
}

bool Check(TControl& target, bool on) {
  RequireFocusable(target);
  auto* box = dynamic_cast<TCheckBox*>(&target);
  if (!box) throw EGestureError("'" + target.Name() + "' is not a check box.");
  return Application().Guard([&] {
    if (!FocusFor(target)) return;
    if (box->Checked() != on || box->State() == TCheckBoxState::cbGrayed) box->ToggleByUser(on);
  });
}

bool Page(TTabSheet& page) {
  TPageControl* pc = page.PageControl();
  if (!pc) throw EGestureError("Page '" + page.Name() + "' has no page control.");
  RequireUsable(*pc);
  if (!page.TabVisible()) throw EGestureError("The tab of '" + page.Name() + "' is hidden.");
  if (!page.Enabled()) throw EGestureError("The tab of '" + page.Name() + "' is disabled.");
  return Application().Guard([&] {
    FormOf(page).Activate();
    pc->ClickTab(page);
  });
}

bool GridCol(TDBGrid& grid, std::string_view fieldName) {
  RequireFocusable(grid);
  int index = -1;
  for (int i = 0; i < grid.ColumnCount(); ++i)
    if (utf8::SameText(grid.Columns()[i]->FieldName, fieldName)) index = i;
  if (index < 0)
    throw EGestureError("Grid '" + grid.Name() + "' has no column " + std::string(fieldName) + ".");
  return Application().Guard([&] {
    if (FocusFor(grid)) grid.SelectColumn(index);
  });
}

bool GridTitle(TDBGrid& grid, std::string_view fieldName) {
  RequireUsable(grid);
  if (!grid.Options.Titles) throw EGestureError("Grid '" + grid.Name() + "' shows no titles.");
  int index = -1;
  for (int i = 0; i < grid.ColumnCount(); ++i)
    if (utf8::SameText(grid.Columns()[i]->FieldName, fieldName)) index = i;
  if (index < 0)
    throw EGestureError("Grid '" + grid.Name() + "' has no column " + std::string(fieldName) + ".");
  // A title is no cell: the click orders the rows and leaves the focus where it is.
  return Application().Guard([&] { grid.TitleClick(index); });
}

bool GridRow(TDBGrid& grid, int row) {
  RequireFocusable(grid);
  if (row < 0 || row >= grid.RowCount())
    throw EGestureError("Grid '" + grid.Name() + "' has no row " + std::to_string(row) + ".");
  return Application().Guard([&] {
    if (FocusFor(grid)) grid.SelectRow(row);
  });
}

bool GridType(TDBGrid& grid, std::string_view text) {
  RequireFocusable(grid);
  return Application().Guard([&] {
    if (!FocusFor(grid)) return;
    for (char32_t ch : utf8::Decode(text)) PressChar(grid, ch);
  });
}

bool GridChoose(TDBGrid& grid, const std::string& text) {
  RequireFocusable(grid);
  TColumn* col = grid.Column(grid.SelectedIndex());
  if (!col || IndexOf(col->PickList, text) < 0)
    throw EGestureError("The current column of '" + grid.Name() + "' offers no \"" + text + "\".");
  return Application().Guard([&] {
    if (FocusFor(grid)) grid.ChooseCell(text);
  });
}

bool GridButton(TDBGrid& grid) {
  RequireFocusable(grid);
  TColumn* col = grid.Column(grid.SelectedIndex());
  if (!col || col->ButtonStyle != TColumnButtonStyle::cbsEllipsis)
    throw EGestureError("The current cell of '" + grid.Name() + "' has no button.");
  return Application().Guard([&] {
    if (FocusFor(grid)) grid.PressCellButton();
  });
}

bool Close(TForm& form) {
  if (!Application().FormExists(&form)) throw EGestureError("Form '" + form.Name() + "' is gone.");
  return Application().Guard([&] { form.Close(); });
}

bool Minimize(TForm& form) {
  if (!Application().FormExists(&form)) throw EGestureError("Form '" + form.Name() + "' is gone.");
  return Application().Guard([&] { form.SetWindowState(TWindowState::wsMinimized); });
}

namespace {
TMenuItem* FindShortCut(const std::vector<TMenuItem*>& items, std::string_view shortCut) {
  for (TMenuItem* i : items) {
    if (!i->Usable()) continue;
    if (utf8::SameText(i->ShortCut(), shortCut)) return i;
    if (TMenuItem* found = FindShortCut(i->Items(), shortCut)) return found;
  }
  return nullptr;
}
}  // namespace

bool ShortCut(TForm& form, std::string_view shortCut) {
  for (TComponent* c : form.Components())
    if (auto* menu = dynamic_cast<TMenu*>(c))
      if (TMenuItem* item = FindShortCut(menu->Items(), shortCut))
        return Application().Guard([&] { item->Click(); });
  return false;
}

}  // namespace Gestures

namespace Observe {

std::string Text(const TComponent& c) {
  return c.ObservedText();
}

std::vector<std::string> Items(const TComponent& c) {
  return c.Entries();
}

bool Enabled(const TComponent& c) {
  return c.ObservedEnabled();
}

bool Visible(const TComponent& c) {
  return c.ObservedVisible();
}

bool Checked(const TComponent& c) {
  return c.ObservedChecked();
}

bool Grayed(const TComponent& c) {
  return c.ObservedGrayed();
}

}  // namespace Observe
}  // namespace ger::ui

namespace ger {

// The clicks of the base classes, here where the checks and the focus moves of every gesture are.
bool TComponent::ClickByUser() {
  throw ui::EGestureError("'" + Name() + "' cannot be clicked.");
}

bool TControl::ClickByUser() {
  ui::RequireUsable(*this);
  return Application().Guard([&] {
    if (TakesFocus() && !ui::FocusFor(*this)) return;
    Click();
    if (TControl* next = FocusAfterClick()) ui::FocusFor(*next);
  });
}

}  // namespace ger
