#pragma once
// The widget sets' bindings, split as the platform splits its controls: the binding base
// (binding.cpp), the standard controls (std_bindings.cpp), the common controls
// (com_bindings.cpp), the grids (grid_bindings.cpp) and the menus (menu_bindings.cpp). Each set
// offers one maker per control class; renderer.cpp registers them by class and the form view
// (formview.cpp) builds them. Private to the shell: callers see renderer.h.
#include <memory>

#include "renderer.h"
#include "ui/stdctrls.h"

class QMenu;
class QTabWidget;

namespace ger::qt {

// Controls with nothing to draw of their own still hold their children.
class ContainerBinding : public Binding {
 public:
  ContainerBinding(FormView& view, TControl& control, QWidget* parent);
};

// Whether a Qt menu shows any entry that is not a separator.
bool AnyVisible(const QMenu& menu);

// Standard controls.
std::unique_ptr<Binding> MakeLabelBinding(FormView& view, TLabel& label, QWidget* parent);
std::unique_ptr<Binding> MakeEditBinding(FormView& view, TCustomEdit& edit, QWidget* parent);
std::unique_ptr<Binding> MakeDateBinding(FormView& view, TCustomEdit& edit, QWidget* parent);
std::unique_ptr<Binding> MakeMemoBinding(FormView& view, TCustomEdit& memo, QWidget* parent);
std::unique_ptr<Binding> MakeComboBinding(FormView& view, TComboBox& combo, QWidget* parent);
std::unique_ptr<Binding> MakeCheckBinding(FormView& view, TCheckBox& box, QWidget* parent);
std::unique_ptr<Binding> MakeRadioBinding(FormView& view, TRadioGroup& group, QWidget* parent);
std::unique_ptr<Binding> MakeGroupBinding(FormView& view, TControl& group, QWidget* parent);
std::unique_ptr<Binding> MakePanelBinding(FormView& view, TPanel& panel, QWidget* parent);
std::unique_ptr<Binding> MakeButtonBinding(FormView& view, TButton& button, QWidget* parent);

// Common controls.
std::unique_ptr<Binding> MakePageBinding(FormView& view, TPageControl& pages, QWidget* parent);
std::unique_ptr<Binding> MakeSheetBinding(FormView& view, TTabSheet& sheet, QTabWidget* tabs);
std::unique_ptr<Binding> MakeToolBinding(FormView& view, TSpeedButton& button, QWidget* parent);
std::unique_ptr<Binding> MakeImageBinding(FormView& view, TImage& image, QWidget* parent);
std::unique_ptr<Binding> MakeNavigatorBinding(FormView& view, TDBNavigator& nav, QWidget* parent);

// Grids.
std::unique_ptr<Binding> MakeGridBinding(FormView& view, TDBGrid& grid, QWidget* parent);

// Menus: the pop-up menu a screen opens from code.
std::unique_ptr<ComponentBinding> MakePopupMenuBinding(FormView& view, TPopupMenu& menu);

}  // namespace ger::qt
