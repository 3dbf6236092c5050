#pragma once
// The component tree of the headless UI model. A component has a name and an owner (who finds it
// by name); a control also has a parent (where it sits) and the visual properties a renderer
// draws. Screens create their components as members, so the tree itself owns nothing: a component
// leaves its owner's and parent's lists when it is destroyed.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/exceptions.h"
#include "ui/view.h"

namespace ger {

class TForm;
class TDataSet;
class TDataSource;
class TPopupMenu;

// Colours as the platform's named colours; a renderer maps them to its palette.
enum class TColor { clWindow, clBtnFace, clInfoBk, clWhite, clYellow, clRed, clNone };

// Signals a change of the model at large (menus, forms, anything without a view of its own); see
// TApplication::OnModelChanged. Controls tell their own view as well (TControl::Changed).
void ModelChanged();

class TComponent {
 public:
  using Notify = std::function<void(TComponent& sender)>;

  explicit TComponent(TComponent* owner = nullptr, std::string name = {});
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  TComponent* Owner() const { return owner_; }
  const std::vector<TComponent*>& Components() const { return components_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }

  // Directly owned component with that name (names compare case-insensitively, as the platform's
  // do); null when there is none.
  TComponent* FindComponent(std::string_view name) const;
  // Searches the whole ownership tree below this component.
  TComponent* FindDeep(std::string_view name) const;

  // The form this component belongs to (following owners, then parents); null when loose.
  virtual TForm* OwnerForm() const;

  // The component's class, as toolkits look up its view maker (see ui/view.h).
  static const ComponentClass ClassInfo;
  virtual const ComponentClass& Class() const;
  std::string_view ClassName() const { return Class().name; }

  // The view drawing the component (see ui/view.h); null when nothing draws it. Controls have
  // one, and so do components that show themselves (a pop-up menu).
  IControlView* View() const { return view_; }
  void SetView(IControlView* view) { view_ = view; }
  // Tells the view (and the application) that what the component shows changed.
  void Changed(ViewAspect aspect = ViewAspect::Content);

  // What the user sees of the component, as ui::Observe reads it: each class answers for itself,
  // so a new control is one class (and one binding in each toolkit), not a case in a list.
  virtual std::string ObservedText() const { return {}; }
  virtual bool ObservedEnabled() const { return true; }
  virtual bool ObservedVisible() const { return false; }
  virtual bool ObservedChecked() const { return false; }
  // A check box in its third state.
  virtual bool ObservedGrayed() const { return false; }
  // The entries the user chooses among (lists, radio groups); none for other components.
  virtual std::vector<std::string> Entries() const { return {}; }
  // A click of the user's, run by Gestures::Click: each class says what a click does to it (a
  // menu item runs, a page comes forward, a box toggles). This one cannot be clicked: raises
  // ui::EGestureError. Defined with the gestures (ui/gestures.cpp), whose checks it shares.
  virtual bool ClickByUser();

 private:
  std::string name_;
  TComponent* owner_;
  std::vector<TComponent*> components_;
  IControlView* view_ = nullptr;
};

// A component with a place on the screen.
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner = nullptr, std::string name = {});
  ~TControl() override;
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;

  TControl* Parent() const { return parent_; }
  void SetParent(TControl* parent);
  const std::vector<TControl*>& Controls() const { return controls_; }

  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string hint);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  const std::string& Caption() const { return caption_; }
  virtual void SetCaption(std::string caption);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetBounds(int left, int top, int width, int height);
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int order);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool stop) { tabStop_ = stop; }

  // The menu of a right click. Null: the toolkit's standard menu for the kind (a text box's edit
  // commands); a menu without visible items: no menu at all.
  TPopupMenu* PopupMenu = nullptr;

  // Whether a click into the control moves the focus to it (tool buttons and labels do not).
  virtual bool TakesFocus() const { return false; }
  // Visible and enabled up the parent chain, and on the active page of every page control above.
  bool Showing() const;
  bool CanFocus() const;
  bool Focused() const;
  // Moves the focus here as a program does (the focused control's exit runs first); raises
  // EInvalidOperation when the control cannot take the focus.
  void SetFocus();

  TForm* OwnerForm() const override;

  Notify OnEnter, OnExit, OnClick, OnDblClick;
  // The key press handler may drop the character by setting it to 0.
  std::function<void(TComponent& sender, char32_t& key)> OnKeyPress;
  // Virtual keys (see Keys below); setting key to 0 consumes it.
  std::function<void(TComponent& sender, int& key, unsigned shift)> OnKeyDown;

  // Called by the form's focus machinery. DoExit may raise: the focus then stays.
  virtual void DoEnter();
  virtual void DoExit();
  // A click of the user or the program (the gestures handle focus before calling it).
  virtual void Click();

  // Input entry points: what the user does to the control, with the platform's rules (handlers,
  // filters, masks, data links). The gestures call them once the focus is where the platform
  // puts it. The defaults run the control's handlers and change nothing else.
  //
  // A typed character; true when the control's contents changed.
  virtual bool KeyPress(char32_t key);
  // A key going down; a handler consumes it by setting it to 0.
  virtual void KeyDown(int& key, unsigned shift);
  // Whether the control holds text that the user edits (clear, paste, cut, undo apply to it).
  virtual bool HoldsText() const { return false; }
  // Select-all and delete, as the user empties a box.
  virtual void ClearByUser() {}
  // Replaces the whole text as a paste over a selected text does: no key handler runs.
  virtual void PasteByUser(const std::string& text) { (void)text; }
  // Chooses one of the Entries().
  virtual void SelectByUser(int index) { (void)index; }
  // Whether Enter belongs to the control (a memo's new line, a grid's commit, a button's press)
  // rather than to the form (its default button, or the move to the next box).
  virtual bool WantsReturn() const { return false; }
  // Dialog buttons: Enter clicks the form's default button and Escape its cancel button.
  virtual bool IsDefaultButton() const { return false; }
  virtual bool IsCancelButton() const { return false; }

  // A control's caption, state and visibility as the user sees them.
  std::string ObservedText() const override { return Caption(); }
  bool ObservedEnabled() const override { return Enabled(); }
  bool ObservedVisible() const override { return Visible(); }
  // When usable: the focus first (when the control takes it), then Click, then the focus moves
  // on to FocusAfterClick (ui/gestures.cpp).
  bool ClickByUser() override;
  // The control a click moves the focus on to (a label's box); null for most.
  virtual TControl* FocusAfterClick() const { return nullptr; }
  // Whether the control grows downwards with a window taller than the screen was drawn for
  // (grids, pages, memos); boxes of one line keep their height.
  virtual bool GrowsDown() const { return false; }

 private:
  TControl* parent_ = nullptr;
  std::vector<TControl*> controls_;
  bool enabled_ = true;
  bool visible_ = true;
  std::string hint_;
  std::string caption_;
  TColor color_ = TColor::clBtnFace;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  int tabOrder_ = -1;
  bool tabStop_ = true;
};

// Virtual keys and shift flags of OnKeyDown.
namespace Keys {
inline constexpr int VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_ESCAPE = 27, VK_DELETE = 46;
inline constexpr int VK_END = 35, VK_HOME = 36, VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39,
                     VK_DOWN = 40;
inline constexpr int VK_PRIOR = 33, VK_NEXT = 34;
inline constexpr int VK_F2 = 113, VK_F4 = 115;
inline constexpr unsigned ssShift = 1, ssCtrl = 2, ssAlt = 4;
}  // namespace Keys

// Raised for a use that the platform refuses, such as focusing a hidden or disabled control.
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace ger
