#include "ui/component.h"

#include <algorithm>

#include "core/utf8.h"
#include "ui/comctrls.h"
#include "ui/forms.h"

namespace ger {

namespace {
template <class T>
void Erase(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}
}  // namespace

std::string_view KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Component:
      return "component";
    case ControlKind::Form:
      return "form";
    case ControlKind::Label:
      return "label";
    case ControlKind::Edit:
      return "edit";
    case ControlKind::DBEdit:
      return "dbedit";
    case ControlKind::DBDateEdit:
      return "dbdateedit";
    case ControlKind::Memo:
      return "memo";
    case ControlKind::DBMemo:
      return "dbmemo";
    case ControlKind::ComboBox:
      return "combobox";
    case ControlKind::DBComboBox:
      return "dbcombobox";
    case ControlKind::CheckBox:
      return "checkbox";
    case ControlKind::DBCheckBox:
      return "dbcheckbox";
    case ControlKind::RadioGroup:
      return "radiogroup";
    case ControlKind::DBRadioGroup:
      return "dbradiogroup";
    case ControlKind::GroupBox:
      return "groupbox";
    case ControlKind::Panel:
      return "panel";
    case ControlKind::PageControl:
      return "pagecontrol";
    case ControlKind::TabSheet:
      return "tabsheet";
    case ControlKind::MainMenu:
      return "mainmenu";
    case ControlKind::MenuItem:
      return "menuitem";
    case ControlKind::PopupMenu:
      return "popupmenu";
    case ControlKind::SpeedButton:
      return "speedbutton";
    case ControlKind::Button:
      return "button";
    case ControlKind::BtnPesquisa:
      return "btnpesquisa";
    case ControlKind::Image:
      return "image";
    case ControlKind::DBGrid:
      return "dbgrid";
    case ControlKind::DBNavigator:
      return "dbnavigator";
    case ControlKind::OpenDialog:
      return "opendialog";
    case ControlKind::SaveDialog:
      return "savedialog";
    case ControlKind::Messages:
      return "messages";
    case ControlKind::Query:
      return "query";
    case ControlKind::ReportView:
      return "reportview";
  }
  return "component";
}

std::string_view ColorName(TColor color) {
  switch (color) {
    case TColor::clWindow:
      return "clWindow";
    case TColor::clBtnFace:
      return "clBtnFace";
    case TColor::clInfoBk:
      return "clInfoBk";
    case TColor::clWhite:
      return "clWhite";
    case TColor::clYellow:
      return "clYellow";
    case TColor::clRed:
      return "clRed";
    case TColor::clNone:
      return "clNone";
  }
  return "clNone";
}

void ModelChanged() {
  Application().Changed();
}

// --- TComponent -------------------------------------------------------------------------------

TComponent::TComponent(TComponent* owner, std::string name)
    : name_(std::move(name)), owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  if (owner_) Erase(owner_->components_, this);
  for (TComponent* c : components_) c->owner_ = nullptr;
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  for (TComponent* c : components_)
    if (utf8::SameText(c->Name(), name)) return c;
  return nullptr;
}

TComponent* TComponent::FindDeep(std::string_view name) const {
  if (TComponent* c = FindComponent(name)) return c;
  for (TComponent* c : components_)
    if (TComponent* found = c->FindDeep(name)) return found;
  return nullptr;
}

TForm* TComponent::OwnerForm() const {
  for (TComponent* o = owner_; o; o = o->Owner())
    if (o->Kind() == ControlKind::Form) return static_cast<TForm*>(o);
  return nullptr;
}

void TComponent::Describe(PropList& out) const {
  out.emplace_back("name", name_);
  out.emplace_back("kind", std::string(KindName(Kind())));
}

PropList TComponent::Properties() const {
  PropList out;
  Describe(out);
  return out;
}

std::optional<PropValue> TComponent::Property(std::string_view name) const {
  for (auto& [key, value] : Properties())
    if (key == name) return value;
  return std::nullopt;
}

// --- TControl ---------------------------------------------------------------------------------

TControl::TControl(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

TControl::~TControl() {
  if (TForm* form = OwnerForm(); form && form != this) form->ForgetControl(this);
  if (parent_) Erase(parent_->controls_, this);
  for (TControl* c : controls_) c->parent_ = nullptr;
}

void TControl::SetParent(TControl* parent) {
  if (parent_ == parent) return;
  if (parent_) Erase(parent_->controls_, this);
  parent_ = parent;
  if (parent_) parent_->controls_.push_back(this);
  ModelChanged();
}

void TControl::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  ModelChanged();
}

void TControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  ModelChanged();
}

void TControl::SetHint(std::string hint) {
  hint_ = std::move(hint);
  ModelChanged();
}

void TControl::SetColor(TColor color) {
  color_ = color;
  ModelChanged();
}

void TControl::SetCaption(std::string caption) {
  if (caption_ == caption) return;
  caption_ = std::move(caption);
  ModelChanged();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  ModelChanged();
}

void TControl::SetTabOrder(int order) {
  tabOrder_ = order;
  ModelChanged();
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->Parent()) {
    if (!c->Visible()) return false;
    if (c->Kind() == ControlKind::TabSheet) {
      auto* sheet = static_cast<const TTabSheet*>(c);
      if (!sheet->IsActive()) return false;
    }
  }
  return true;
}

bool TControl::CanFocus() const {
  if (!TakesFocus() || !Showing()) return false;
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Enabled()) return false;
  return true;
}

bool TControl::Focused() const {
  TForm* form = OwnerForm();
  return form && form->ActiveControl() == this;
}

void TControl::SetFocus() {
  TForm* form = OwnerForm();
  if (!form) throw EInvalidOperation("O controle '" + Name() + "' não pertence a um formulário.");
  form->FocusControl(this);
}

TForm* TControl::OwnerForm() const {
  if (TForm* form = TComponent::OwnerForm()) return form;
  for (const TControl* c = parent_; c; c = c->Parent())
    if (c->Kind() == ControlKind::Form) return static_cast<TForm*>(const_cast<TControl*>(c));
  return nullptr;
}

void TControl::DoEnter() {
  if (OnEnter) OnEnter(*this);
}

void TControl::DoExit() {
  if (OnExit) OnExit(*this);
}

void TControl::Click() {
  if (OnClick) OnClick(*this);
}

void TControl::Describe(PropList& out) const {
  TComponent::Describe(out);
  out.emplace_back("parent", parent_ ? parent_->Name() : std::string());
  out.emplace_back("caption", caption_);
  out.emplace_back("enabled", enabled_);
  out.emplace_back("visible", visible_);
  out.emplace_back("showing", Showing());
  out.emplace_back("hint", hint_);
  out.emplace_back("color", std::string(ColorName(color_)));
  out.emplace_back("left", std::int64_t{left_});
  out.emplace_back("top", std::int64_t{top_});
  out.emplace_back("width", std::int64_t{width_});
  out.emplace_back("height", std::int64_t{height_});
  out.emplace_back("taborder", std::int64_t{tabOrder_});
  out.emplace_back("focused", Focused());
  out.emplace_back("popupmenu", PopupMenu ? PopupMenu->Name() : std::string());
}

}  // namespace ger
