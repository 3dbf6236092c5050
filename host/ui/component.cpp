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

void ModelChanged() {
  Application().Changed();
}

// --- TComponent -------------------------------------------------------------------------------

TComponent::TComponent(TComponent* owner, std::string name)
    : name_(std::move(name)), owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  if (view_) view_->Gone();
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
    if (auto* form = dynamic_cast<TForm*>(o)) return form;
  return nullptr;
}

void TComponent::Changed(ViewAspect aspect) {
  if (view_) view_->Changed(aspect);
  ModelChanged();
}

const ComponentClass TComponent::ClassInfo{"TComponent", nullptr};
const ComponentClass& TComponent::Class() const {
  return ClassInfo;
}

// --- TControl ---------------------------------------------------------------------------------

const ComponentClass TControl::ClassInfo{"TControl", &TComponent::ClassInfo};
const ComponentClass& TControl::Class() const {
  return ClassInfo;
}

TControl::TControl(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

TControl::~TControl() {
  // The view first: what follows may tell the application that the model changed.
  if (IControlView* view = View()) {
    view->Gone();
    SetView(nullptr);
  }
  if (TForm* form = OwnerForm(); form && form != this) form->ForgetControl(this);
  if (parent_) Erase(parent_->controls_, this);
  for (TControl* c : controls_) c->parent_ = nullptr;
}

void TControl::SetParent(TControl* parent) {
  if (parent_ == parent) return;
  if (parent_) Erase(parent_->controls_, this);
  parent_ = parent;
  if (parent_) parent_->controls_.push_back(this);
  Changed(ViewAspect::Look);
}

void TControl::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed(ViewAspect::Look);
}

void TControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed(ViewAspect::Look);
}

void TControl::SetHint(std::string hint) {
  hint_ = std::move(hint);
  Changed(ViewAspect::Look);
}

void TControl::SetColor(TColor color) {
  color_ = color;
  Changed(ViewAspect::Look);
}

void TControl::SetCaption(std::string caption) {
  if (caption_ == caption) return;
  caption_ = std::move(caption);
  Changed(ViewAspect::Look);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Changed(ViewAspect::Look);
}

void TControl::SetTabOrder(int order) {
  tabOrder_ = order;
  Changed(ViewAspect::Look);
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->Parent()) {
    if (!c->Visible()) return false;
    if (auto* sheet = dynamic_cast<const TTabSheet*>(c); sheet && !sheet->IsActive()) return false;
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
    if (auto* form = dynamic_cast<const TForm*>(c)) return const_cast<TForm*>(form);
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

bool TControl::KeyPress(char32_t key) {
  if (OnKeyPress) OnKeyPress(*this, key);
  return false;
}

void TControl::KeyDown(int& key, unsigned shift) {
  if (OnKeyDown) OnKeyDown(*this, key, shift);
}

}  // namespace ger
