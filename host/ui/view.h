#pragma once
// The seam between the UI model and a toolkit that draws it (the Qt shell; tests and the scenario
// runner draw nothing and need none). The rules of this layer:
//
// 1. A component knows its class (ComponentClass: a name and the base class) and, when drawn, one
//    view (IControlView); it never knows a toolkit. A toolkit registers one view maker per
//    component class in a ViewRegistry; a class without a maker of its own is drawn by the maker
//    of its nearest base class. A new kind of control is one class in the model and at most one
//    maker in each toolkit: no switch on kinds, no chain of casts.
// 2. The model is the truth. A view reads its control through the control class's public typed
//    accessors (Text(), Items(), State(), Cells...), which are the contract; it changes the model
//    only through the control's input entry points (KeyPress, KeyDown, PasteByUser, ...), called
//    as ui::Gestures so that the application's top-level handler and the focus rules apply.
// 3. A control tells its view when what it shows changed, and which aspect (Changed); the view
//    reads it again before the toolkit paints. Reading is cheap and idempotent, so a view may also
//    re-read on its own (after a resize, or when any gesture ended); it must never assume that it
//    was told everything, only that it was told about its expensive contents (a grid's rows).
// 4. A control goes away before its view: its destructor tells the view (Gone), which must then
//    not touch it again. A control without a view behaves exactly the same.
// 5. What only a toolkit can do (the clipboard, a calendar, a pop-up under the mouse) stays in the
//    toolkit; what it yields reaches the model as a gesture (a paste, a typed date, a click).
#include <functional>
#include <map>
#include <string_view>

namespace ger {

class TComponent;
class TControl;

// The class of a component as a toolkit looks it up: its name and its base class (null for
// TComponent). Each class defines one, next to its constructor.
struct ComponentClass {
  std::string_view name;
  const ComponentClass* base;
  bool InheritsFrom(const ComponentClass& other) const {
    for (const ComponentClass* c = this; c; c = c->base)
      if (c->name == other.name) return true;
    return false;
  }
};

// What changed in a control, so that a view can skip the expensive re-reads.
enum class ViewAspect {
  Look,     // geometry, enabled, visible, caption, hint, colour, font
  Content,  // text, entries, checked state, picture, a grid's rows
  Current,  // caret and selection, chosen entry, current cell, active page, focus
};

// The view of one control, implemented by a toolkit.
class IControlView {
 public:
  virtual ~IControlView() = default;
  virtual void Changed(ViewAspect aspect) = 0;
  // The control is being destroyed: forget it.
  virtual void Gone() = 0;
};

// The toolkit's makers of views, one per component class, looked up along the class chain.
template <class Maker>
class ViewRegistry {
 public:
  void Register(const ComponentClass& cls, Maker maker) { makers_[cls.name] = std::move(maker); }
  // The maker of the class or of its nearest base class that has one; null when none has.
  const Maker* Find(const ComponentClass& cls) const {
    for (const ComponentClass* c = &cls; c; c = c->base)
      if (auto it = makers_.find(c->name); it != makers_.end()) return &it->second;
    return nullptr;
  }

 private:
  std::map<std::string_view, Maker> makers_;
};

}  // namespace ger
