#pragma once
// The component tree of the headless UI model. A component has a name and an owner (who finds it
// by name); a control also has a parent (where it sits) and the visual properties a renderer
// draws. Screens create their components as members, so the tree itself owns nothing: a component
// leaves its owner's and parent's lists when it is destroyed.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/exceptions.h"

namespace ger {

class TForm;
class TDataSet;
class TDataSource;
class TPopupMenu;

// What a renderer or the scenario runner needs to know to treat a component generically.
enum class ControlKind {
  Component,
  Form,
  Label,
  Edit,
  DBEdit,
  DBDateEdit,
  Memo,
  DBMemo,
  ComboBox,
  DBComboBox,
  CheckBox,
  DBCheckBox,
  RadioGroup,
  DBRadioGroup,
  GroupBox,
  Panel,
  PageControl,
  TabSheet,
  MainMenu,
  MenuItem,
  PopupMenu,
  SpeedButton,
  Button,
  BtnPesquisa,
  Image,
  DBGrid,
  DBNavigator,
  OpenDialog,
  SaveDialog,
  Messages,
  Query,
  ReportView,
};
std::string_view KindName(ControlKind kind);

// One property as a renderer reads it.
using PropValue = std::variant<bool, std::int64_t, std::string, std::vector<std::string>>;
using PropList = std::vector<std::pair<std::string, PropValue>>;

// Colours as the platform's named colours; a renderer maps them to its palette.
enum class TColor { clWindow, clBtnFace, clInfoBk, clWhite, clYellow, clRed, clNone };
std::string_view ColorName(TColor color);

// Signals a change of anything a renderer shows (see TApplication::ModelVersion).
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

  virtual ControlKind Kind() const { return ControlKind::Component; }
  // Every property a renderer reads, by name; subclasses add theirs after their base's.
  virtual void Describe(PropList& out) const;
  PropList Properties() const;
  std::optional<PropValue> Property(std::string_view name) const;

 private:
  std::string name_;
  TComponent* owner_;
  std::vector<TComponent*> components_;
};

// A component with a place on the screen.
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner = nullptr, std::string name = {});
  ~TControl() override;

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

  // The menu a right click on the control shows; one without items shows none, not even the
  // toolkit's own menu of the control.
  TPopupMenu* PopupMenu = nullptr;

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

  void Describe(PropList& out) const override;

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
inline constexpr unsigned ssShift = 1, ssCtrl = 2, ssAlt = 4;
}  // namespace Keys

// Raised for a use that the platform refuses, such as focusing a hidden or disabled control.
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace ger
