// The registry of bindings: one maker per control class, from the widget sets' files.
#include "renderer.h"

#include <QTabWidget>

#include "bindings.h"
#include "report_preview.h"
#include "ui/dbctrls.h"
#include "ui/reportview.h"

namespace ger::qt {

namespace {
// A maker for a control class: the binding `make` makes of the control as a T.
template <class T>
BindingMaker Maker(std::unique_ptr<Binding> (*make)(FormView&, T&, QWidget*)) {
  return [make](FormView& view, TControl& c, QWidget* container) -> std::unique_ptr<Binding> {
    if (auto* t = dynamic_cast<T*>(&c)) return make(view, *t, container);
    return std::make_unique<ContainerBinding>(view, c, container);
  };
}
}  // namespace

const ViewRegistry<BindingMaker>& Bindings() {
  static const ViewRegistry<BindingMaker> registry = [] {
    ViewRegistry<BindingMaker> r;
    r.Register(TControl::ClassInfo,
               [](FormView& view, TControl& c, QWidget* container) -> std::unique_ptr<Binding> {
                 return std::make_unique<ContainerBinding>(view, c, container);
               });
    r.Register(TLabel::ClassInfo, Maker<TLabel>(MakeLabelBinding));
    r.Register(TCustomEdit::ClassInfo, Maker<TCustomEdit>(MakeEditBinding));
    r.Register(TDBDateEdit::ClassInfo, Maker<TCustomEdit>(MakeDateBinding));
    r.Register(TMemo::ClassInfo, Maker<TCustomEdit>(MakeMemoBinding));
    r.Register(TComboBox::ClassInfo, Maker<TComboBox>(MakeComboBinding));
    r.Register(TCheckBox::ClassInfo, Maker<TCheckBox>(MakeCheckBinding));
    r.Register(TRadioGroup::ClassInfo, Maker<TRadioGroup>(MakeRadioBinding));
    r.Register(TGroupBox::ClassInfo, Maker<TControl>(MakeGroupBinding));
    r.Register(TPanel::ClassInfo, Maker<TPanel>(MakePanelBinding));
    r.Register(TPageControl::ClassInfo, Maker<TPageControl>(MakePageBinding));
    r.Register(TTabSheet::ClassInfo,
               [](FormView& view, TControl& c, QWidget* container) -> std::unique_ptr<Binding> {
                 auto* tabs = qobject_cast<QTabWidget*>(container);
                 auto* sheet = dynamic_cast<TTabSheet*>(&c);
                 if (tabs && sheet) return MakeSheetBinding(view, *sheet, tabs);
                 return std::make_unique<ContainerBinding>(view, c, container);
               });
    r.Register(TButton::ClassInfo, Maker<TButton>(MakeButtonBinding));
    r.Register(TSpeedButton::ClassInfo, Maker<TSpeedButton>(MakeToolBinding));
    r.Register(TImage::ClassInfo, Maker<TImage>(MakeImageBinding));
    r.Register(TDBGrid::ClassInfo, Maker<TDBGrid>(MakeGridBinding));
    r.Register(TDBNavigator::ClassInfo, Maker<TDBNavigator>(MakeNavigatorBinding));
    r.Register(TReportView::ClassInfo,
               [](FormView& view, TControl& c, QWidget* container) -> std::unique_ptr<Binding> {
                 return MakeReportViewBinding(view, static_cast<TReportView&>(c), container);
               });
    return r;
  }();
  return registry;
}

const ViewRegistry<ComponentBindingMaker>& ComponentBindings() {
  static const ViewRegistry<ComponentBindingMaker> registry = [] {
    ViewRegistry<ComponentBindingMaker> r;
    r.Register(TPopupMenu::ClassInfo,
               [](FormView& view, TComponent& c) -> std::unique_ptr<ComponentBinding> {
                 return MakePopupMenuBinding(view, static_cast<TPopupMenu&>(c));
               });
    return r;
  }();
  return registry;
}

}  // namespace ger::qt
