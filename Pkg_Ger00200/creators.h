#pragma once
// The creator pattern every screen of the module follows: the screen is made once, kept in its
// unit's global, marked created, and reused until it closes (its close handler lowers the flag).
#include <memory>

#include "ui/forms.h"

namespace ger::pkg {

// The hourglass while a screen is made and shown; the default cursor again however that ends.
class HourGlass {
 public:
  HourGlass() { Application().Dialogs().SetCursor(ui::Cursor::crHourGlass); }
  ~HourGlass() { Application().Dialogs().SetCursor(ui::Cursor::crDefault); }
  HourGlass(const HourGlass&) = delete;
  HourGlass& operator=(const HourGlass&) = delete;
};

// The screen in `global` when `created` is up; otherwise a new one. The screen's creation step
// runs before the application takes the form: an error there reaches the caller, the half-made
// form is destroyed and the flag stays down, so nothing half-loaded is ever shown.
template <class F>
F& CreateOnce(F*& global, bool& created) {
  if (created && global) return *global;
  auto form = std::make_unique<F>(nullptr);
  if (form->OnCreate) form->OnCreate(*form);
  F& ref = *form;
  Application().Adopt(std::move(form));
  global = &ref;
  created = true;
  return ref;
}

}  // namespace ger::pkg
