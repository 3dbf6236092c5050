// The common controls: pages, tool buttons, pictures and the navigator.
#include "bindings.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include "convert.h"
#include "icons.h"
#include "ui/gestures.h"
#include "ui/picture.h"

namespace ger::qt {

namespace G = ui::Gestures;

namespace {

// --- Pages ------------------------------------------------------------------------------------

class PageBinding : public Binding {
 public:
  PageBinding(FormView& view, TPageControl& pages, QWidget* parent)
      : Binding(view, pages, new QTabWidget(parent)), pages_(pages) {
    auto* w = static_cast<QTabWidget*>(widget_.data());
    w->setUsesScrollButtons(true);
    // Screens with many pages: tighter tabs keep every caption in view at 1024 pixels.
    w->tabBar()->setStyleSheet(
        "QTabBar::tab { padding: 4px 6px; border: 1px solid palette(mid); border-bottom: none;"
        " background: palette(button); margin-right: 1px; }"
        " QTabBar::tab:selected { background: palette(base); font-weight: bold; }"
        " QTabBar::tab:focus { text-decoration: underline; }");
    // Every change of the tab bar, by mouse or keyboard, is the user clicking that tab; the
    // model decides, and the next read puts the model's page back when it refused.
    QObject::connect(w, &QTabWidget::currentChanged, w, [this](int index) {
      if (view_.Syncing() || index < 0 || index >= pages_.PageCount()) return;
      TTabSheet* page = pages_.Pages()[index];
      if (page == pages_.ActivePage()) return;
      view_.PerformLater([page] { G::Page(*page); });
    });
  }
  void Sync() override {
    auto* w = static_cast<QTabWidget*>(widget_.data());
    SyncGuard guard(view_);
    int index = pages_.ActivePageIndex();
    if (index >= 0 && index < w->count() && w->currentIndex() != index) w->setCurrentIndex(index);
    SyncCommon();
  }

 private:
  TPageControl& pages_;
};

class SheetBinding : public Binding {
 public:
  SheetBinding(FormView& view, TTabSheet& sheet, QTabWidget* tabs)
      : Binding(view, sheet, new QWidget(tabs)), sheet_(sheet), tabs_(tabs) {
    SyncGuard guard(view);
    tabs->addTab(widget_, ToQ(sheet.Caption()));
  }
  void Sync() override {
    int index = tabs_->indexOf(widget_);
    if (index < 0) return;
    SyncGuard guard(view_);
    // The caption keeps its "&": Alt plus the letter brings the page forward.
    if (tabs_->tabText(index) != ToQ(sheet_.Caption()))
      tabs_->setTabText(index, ToQ(sheet_.Caption()));
    if (tabs_->isTabVisible(index) != sheet_.TabVisible())
      tabs_->setTabVisible(index, sheet_.TabVisible());
    if (tabs_->isTabEnabled(index) != sheet_.Enabled())
      tabs_->setTabEnabled(index, sheet_.Enabled());
    if (tabs_->tabToolTip(index) != ToQ(sheet_.Hint()))
      tabs_->setTabToolTip(index, ToQ(sheet_.Hint()));
  }

 private:
  TTabSheet& sheet_;
  QPointer<QTabWidget> tabs_;
};

// --- Tool buttons -----------------------------------------------------------------------------

class ToolBinding : public Binding {
 public:
  ToolBinding(FormView& view, TSpeedButton& button, QWidget* parent)
      : Binding(view, button, new QToolButton(parent)), button_(button) {
    auto* w = static_cast<QToolButton*>(widget_.data());
    w->setFocusPolicy(Qt::NoFocus);  // tool buttons never take the focus
    QObject::connect(w, &QToolButton::clicked, w, [this] {
      TControl& c = control_;
      view_.Perform([&c] { G::Click(c); });
    });
  }
  void Sync() override {
    auto* w = static_cast<QToolButton*>(widget_.data());
    // The caption keeps its "&": Alt plus the letter clicks the button.
    QString text = ToQ(button_.Caption());
    QIcon icon = button_.Glyph.empty() ? QIcon() : Icon(button_.Glyph);
    if (w->icon().cacheKey() != icon.cacheKey() || glyph_ != button_.Glyph) {
      w->setIcon(icon);
      glyph_ = button_.Glyph;
    }
    if (text.isEmpty() && icon.isNull()) text = ToQ(button_.Hint());
    if (w->text() != text) w->setText(text);
    Qt::ToolButtonStyle style = icon.isNull()    ? Qt::ToolButtonTextOnly
                                : text.isEmpty() ? Qt::ToolButtonIconOnly
                                : button_.Width() < 2 * button_.Height()
                                    ? Qt::ToolButtonTextUnderIcon
                                    : Qt::ToolButtonTextBesideIcon;
    if (w->toolButtonStyle() != style) w->setToolButtonStyle(style);
    int side = std::max(16, std::min(button_.Height(), 32) - 8);
    if (w->iconSize() != QSize(side, side)) w->setIconSize(QSize(side, side));
    w->setAutoRaise(button_.Flat);
    w->setCheckable(button_.GroupIndex != 0);
    w->setChecked(button_.Down);
    SyncCommon();
  }

 private:
  TSpeedButton& button_;
  std::string glyph_;
};

// --- Pictures ---------------------------------------------------------------------------------

class ImageBinding : public Binding {
 public:
  ImageBinding(FormView& view, TImage& image, QWidget* parent)
      : Binding(view, image, new QLabel(parent)), image_(image) {
    static_cast<QLabel*>(widget_.data())->setAlignment(Qt::AlignCenter);
  }
  void Sync() override {
    auto* w = static_cast<QLabel*>(widget_.data());
    if (image_.PictureBytes() != shown_) {
      shown_ = image_.PictureBytes();
      // The model took only bytes that passed its checks; the toolkit's decoder gets the same
      // bound on the declared size all the same, read before any pixel is.
      QByteArray data =
          QByteArray::fromRawData(shown_.data(), static_cast<qsizetype>(shown_.size()));
      QBuffer buffer(&data);
      QImageReader reader(&buffer);
      const QSize size = reader.size();
      QImage picture;
      if (size.width() > 0 && size.height() > 0 && size.width() <= kMaxPictureSide &&
          size.height() <= kMaxPictureSide)
        picture = reader.read();
      w->setPixmap(picture.isNull() ? QPixmap() : QPixmap::fromImage(picture));
    }
    w->setScaledContents(image_.Stretch);
    SyncCommon();
  }

 private:
  TImage& image_;
  std::string shown_;
};

// --- Navigator --------------------------------------------------------------------------------

class NavigatorBinding : public Binding {
 public:
  NavigatorBinding(FormView& view, TDBNavigator& nav, QWidget* parent)
      : Binding(view, nav, new QWidget(parent)), nav_(nav) {
    auto* layout = new QHBoxLayout(widget_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    static constexpr const char* kGlyphs[] = {
        "go-first",    "go-previous",         "go-next",       "go-last",      "list-add",
        "list-remove", "document-properties", "document-save", "process-stop", "view-refresh"};
    static constexpr const char* kHints[] = {"Primeiro", "Anterior", "Próximo", "Último",
                                             "Incluir",  "Excluir",  "Alterar", "Confirmar",
                                             "Cancelar", "Atualizar"};
    for (TNavigateBtn b : nav.VisibleButtons) {
      auto* button = new QToolButton(widget_);
      auto i = static_cast<int>(b);
      button->setIcon(Icon(kGlyphs[i]));
      button->setToolTip(QString::fromUtf8(kHints[i]));
      button->setAutoRaise(true);
      button->setFocusPolicy(Qt::NoFocus);
      button->setObjectName(ToQ(nav.Name() + "_" + std::string(NavigateBtnName(b))));
      layout->addWidget(button);
      buttons_.emplace_back(b, button);
      QObject::connect(button, &QToolButton::clicked, button, [this, b] {
        TDBNavigator& n = nav_;
        view_.Perform([&n, b] { Application().Guard([&] { n.ClickButton(b); }); });
      });
    }
    layout->addStretch();
  }
  void Sync() override {
    for (auto& [b, button] : buttons_)
      if (button->isEnabled() != nav_.ButtonEnabled(b)) button->setEnabled(nav_.ButtonEnabled(b));
    SyncCommon();
  }

 private:
  TDBNavigator& nav_;
  std::vector<std::pair<TNavigateBtn, QToolButton*>> buttons_;
};

}  // namespace

std::unique_ptr<Binding> MakePageBinding(FormView& view, TPageControl& pages, QWidget* parent) {
  return std::make_unique<PageBinding>(view, pages, parent);
}
std::unique_ptr<Binding> MakeSheetBinding(FormView& view, TTabSheet& sheet, QTabWidget* tabs) {
  return std::make_unique<SheetBinding>(view, sheet, tabs);
}
std::unique_ptr<Binding> MakeToolBinding(FormView& view, TSpeedButton& button, QWidget* parent) {
  return std::make_unique<ToolBinding>(view, button, parent);
}
std::unique_ptr<Binding> MakeImageBinding(FormView& view, TImage& image, QWidget* parent) {
  return std::make_unique<ImageBinding>(view, image, parent);
}
std::unique_ptr<Binding> MakeNavigatorBinding(FormView& view, TDBNavigator& nav, QWidget* parent) {
  return std::make_unique<NavigatorBinding>(view, nav, parent);
}

}  // namespace ger::qt
