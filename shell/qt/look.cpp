#include "look.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTranslator>

#include "icons.h"

namespace ger::qt {

namespace {

// The platform shows the focus on every control, whatever moved it there; the toolkit's style
// shows it only after a Tab. The model moves the focus itself (a failed check puts it back), so
// the focus frame is drawn whenever a control has the focus.
class FocusStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    QProxyStyle::drawPrimitive(element, Shown(option).get(), painter, widget);
  }
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    QProxyStyle::drawControl(element, Shown(option).get(), painter, widget);
  }
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override {
    if (option && (option->state & State_HasFocus)) {
      std::unique_ptr<QStyleOption> copy(Copy(option));
      copy->state |= State_KeyboardFocusChange;
      QProxyStyle::drawComplexControl(control, static_cast<QStyleOptionComplex*>(copy.get()),
                                      painter, widget);
      return;
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
  }

 private:
  // The option with the keyboard-focus flag when the control has the focus.
  static std::shared_ptr<const QStyleOption> Shown(const QStyleOption* option) {
    if (!option || !(option->state & State_HasFocus))
      return std::shared_ptr<const QStyleOption>(option, [](const QStyleOption*) {});
    std::shared_ptr<QStyleOption> copy(Copy(option));
    copy->state |= State_KeyboardFocusChange;
    return copy;
  }
  // A copy of the option as its own type (the style reads the fields of the right kind).
  static QStyleOption* Copy(const QStyleOption* option) {
    switch (option->type) {
      case QStyleOption::SO_Button:
        return new QStyleOptionButton(*qstyleoption_cast<const QStyleOptionButton*>(option));
      case QStyleOption::SO_FocusRect:
        return new QStyleOptionFocusRect(*qstyleoption_cast<const QStyleOptionFocusRect*>(option));
      case QStyleOption::SO_ComboBox:
        return new QStyleOptionComboBox(*qstyleoption_cast<const QStyleOptionComboBox*>(option));
      case QStyleOption::SO_Tab:
        return new QStyleOptionTab(*qstyleoption_cast<const QStyleOptionTab*>(option));
      case QStyleOption::SO_ViewItem:
        return new QStyleOptionViewItem(*qstyleoption_cast<const QStyleOptionViewItem*>(option));
      case QStyleOption::SO_Frame:
        return new QStyleOptionFrame(*qstyleoption_cast<const QStyleOptionFrame*>(option));
      case QStyleOption::SO_ToolButton:
        return new QStyleOptionToolButton(
            *qstyleoption_cast<const QStyleOptionToolButton*>(option));
      case QStyleOption::SO_SpinBox:
        return new QStyleOptionSpinBox(*qstyleoption_cast<const QStyleOptionSpinBox*>(option));
      case QStyleOption::SO_GroupBox:
        return new QStyleOptionGroupBox(*qstyleoption_cast<const QStyleOptionGroupBox*>(option));
      case QStyleOption::SO_Slider:
        return new QStyleOptionSlider(*qstyleoption_cast<const QStyleOptionSlider*>(option));
      default:
        return new QStyleOption(*option);
    }
  }
};

bool LoadTranslations() {
  QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  bool loaded = false;
  for (const char* catalogue : {"qtbase_pt_BR", "qt_pt_BR"}) {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(catalogue, folder)) {
      QCoreApplication::installTranslator(translator);
      loaded = true;
    } else {
      delete translator;
    }
    if (loaded) break;
  }
  return loaded;
}

}  // namespace

bool UseDesktopLook() {
  static bool done = false;
  static bool translated = false;
  if (done) return translated;
  done = true;
  QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
  translated = LoadTranslations();
  UseIconTheme();
  QApplication::setStyle(new FocusStyle(QStyleFactory::create("Fusion")));
  QApplication::setWindowIcon(Icon("applications-office", "x-office-address-book"));
  return translated;
}

}  // namespace ger::qt
