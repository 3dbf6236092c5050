#pragma once
// The generic renderer: a FormView draws one model form with real widgets, one binding per control
// class (looked up along the model's class chain, see ui/view.h), and forwards every gesture on
// those widgets to the model through ui::Gestures.
//
// Rules of this layer, on top of the seam's:
// - A binding is the view of its control: the control tells it what changed; the binding reads the
//   control's typed accessors into its widget when the form view syncs. Widget signals caused by
//   such a read are not gestures (SyncGuard).
// - Every key, paste, cut, undo, click and choice the user makes on a widget becomes a gesture;
//   a widget never keeps a change the model did not make (the next read puts the model's back).
// - The widget focus follows the form's ActiveControl, so a refused focus move puts it back.
// - A control whose PopupMenu the screen emptied has no context menu; a text box without a menu
//   of its own gets the edit commands, each a gesture.
// - Components that are not controls but show themselves (a pop-up menu the screen opens from
//   code) have views of their own, one maker per class in ComponentBindings(); the model's
//   points are mapped to the widgets that draw them (MapFromModel).
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "ui/comctrls.h"
#include "ui/forms.h"
#include "ui/grids.h"
#include "ui/view.h"

class QAction;
class QContextMenuEvent;
class QKeyEvent;
class QMenu;

namespace ger::qt {

// Who runs the gestures: the shell, which re-reads every view afterwards.
class GestureSink {
 public:
  virtual ~GestureSink() = default;
  // Runs a gesture of the user on the form's model now, then re-reads the model.
  virtual void Perform(TForm& form, const std::function<void()>& gesture) = 0;
};

class FormView;

// The binding of one model control to its widget: the control's view.
class Binding : public IControlView {
 public:
  Binding(FormView& view, TControl& control, QWidget* widget);
  ~Binding() override;
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;

  TControl& Control() const { return control_; }
  QWidget* Widget() const { return widget_; }
  // Where the control's children go.
  virtual QWidget* Container() const { return widget_; }
  // The widget that holds the keyboard focus when the control has it.
  virtual QWidget* FocusWidget() const { return widget_; }
  // Reads the model into the widget.
  virtual void Sync();
  // A key on the focus widget; true when it was forwarded (the widget must not see it).
  virtual bool Key(QKeyEvent& event);
  // Text committed by an input method.
  virtual void Text(const QString& text);
  // A right click; true when handled (a menu shown, or none because the screen wants none).
  virtual bool ContextMenu(QContextMenuEvent& event);

  // IControlView.
  void Changed(ViewAspect aspect) override;
  void Gone() override { gone_ = true; }
  // Lets go of a control that is still alive: it no longer tells this binding anything.
  void Unbind();
  bool IsGone() const { return gone_; }

 protected:
  FormView& view_;
  TControl& control_;
  QPointer<QWidget> widget_;
  // Whether the contents changed since the last read (the first read always reads them).
  bool TakeContentChange();
  void SyncCommon();
  // The tool tip: the control's hint; a box may show its whole text instead when it is cut.
  virtual QString ToolTip() const;
  // The model's own menu of the control, shown at the event's place.
  bool ModelMenu(QContextMenuEvent& event);

 private:
  bool gone_ = false;
  bool contentChanged_ = true;
};

// Makes the binding of one control class; the registry holds one per class.
using BindingMaker =
    std::function<std::unique_ptr<Binding>(FormView& view, TControl& control, QWidget* container)>;
const ViewRegistry<BindingMaker>& Bindings();

// The view of a form's component that is not a control (a pop-up menu): it has no place among
// the form's widgets and shows itself when the model asks.
class ComponentBinding : public IControlView {
 public:
  ComponentBinding(FormView& view, TComponent& component);
  ~ComponentBinding() override;
  ComponentBinding(const ComponentBinding&) = delete;
  ComponentBinding& operator=(const ComponentBinding&) = delete;

  TComponent& Component() const { return component_; }
  // Reads the model into what the binding shows.
  virtual void Sync() = 0;

  // IControlView: everything is read again at every sync.
  void Changed(ViewAspect) override {}
  void Gone() override { gone_ = true; }
  void Unbind();
  bool IsGone() const { return gone_; }

 protected:
  FormView& view_;
  TComponent& component_;

 private:
  bool gone_ = false;
};

using ComponentBindingMaker =
    std::function<std::unique_ptr<ComponentBinding>(FormView& view, TComponent& component)>;
const ViewRegistry<ComponentBindingMaker>& ComponentBindings();

// Fills a Qt menu with a model menu's items: captions keep their Alt letters, disabled items are
// greyed, hidden ones are not shown, items with items become sub-menus. `choose` runs for the
// item the user picks. Answers the actions made, with their items.
std::vector<std::pair<QAction*, TMenuItem*>> FillMenu(
    QMenu& menu, const std::vector<TMenuItem*>& items,
    const std::function<void(TMenuItem&)>& choose);

class FormView : public QWidget {
  Q_OBJECT
 public:
  FormView(TForm& form, GestureSink& sink, QWidget* parent = nullptr);
  ~FormView() override;

  TForm& Form() const { return form_; }
  GestureSink& Sink() const { return sink_; }
  // Reads the whole model again; rebuilds the widgets when controls came or went.
  void Sync();
  // Gives the keyboard focus to the widget of the form's ActiveControl.
  void SyncFocus();
  // The widget drawing a control (tests find widgets by the model's names); null when none.
  QWidget* WidgetOf(const TControl& control) const;
  QWidget* WidgetOf(std::string_view name) const;
  Binding* BindingOf(const TControl& control) const;
  // Tool buttons of an MDI child that sit outside its pages: the main window shows them in its
  // tool bar, as the platform merges a child's tool bar into the frame's.
  const std::vector<TSpeedButton*>& ToolButtons() const { return toolButtons_; }
  TMainMenu* MainMenu() const;
  // A tool button the main window draws in its tool bar (see ToolButtons), so that points on it
  // are mapped to that widget.
  void DrawnElsewhere(const TControl& control, QWidget* widget);
  // The global position of a point of the model's screen (the form's position plus the offsets
  // of the controls down to the point): on the widget drawing the control under it, which may
  // be larger than the control or lie in the main window's tool bar.
  QPoint MapFromModel(int x, int y) const;

  // Runs a gesture through the sink (now) or after the current Qt event (later: used from focus
  // events, where a dialog must not open inside the focus change).
  void Perform(const std::function<void()>& gesture);
  void PerformLater(std::function<void()> gesture);
  bool Syncing() const { return syncing_ > 0; }
  // The form is gone: the view forgets its controls and forwards nothing more.
  void Detach();
  bool Detached() const { return detached_; }
  void Watch(QWidget* widget, Binding& binding);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Build();
  void BuildChildren(TControl& parent, QWidget* container);
  void BuildComponents(const TComponent& owner);
  std::size_t CountControls(const TControl& control) const;
  bool AnyGone() const;

  TForm& form_;
  GestureSink& sink_;
  std::vector<std::unique_ptr<Binding>> bindings_;
  std::map<const TControl*, Binding*> byControl_;
  std::map<QObject*, Binding*> byWidget_;
  std::vector<TSpeedButton*> toolButtons_;
  std::map<const TControl*, QPointer<QWidget>> elsewhere_;
  std::vector<std::unique_ptr<ComponentBinding>> componentBindings_;
  std::size_t builtCount_ = 0;
  int syncing_ = 0;
  bool detached_ = false;
  friend class SyncGuard;
};

// Marks a read of the model into widgets, so the widgets' own signals are not taken for
// gestures of the user.
class SyncGuard {
 public:
  explicit SyncGuard(FormView& view) : view_(view) { ++view_.syncing_; }
  ~SyncGuard() { --view_.syncing_; }
  SyncGuard(const SyncGuard&) = delete;
  SyncGuard& operator=(const SyncGuard&) = delete;

 private:
  FormView& view_;
};

}  // namespace ger::qt
