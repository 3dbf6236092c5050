#pragma once
// The help window: the user's guide (one HTML file built with the program) in a text browser,
// opened at a topic the model chose (ui/help.h). Back and forward through the topics visited,
// the start of the guide, and a search in the page; links lead from topic to topic. Nothing
// leaves the machine: the guide and its pictures are local files.
#include <functional>
#include <memory>
#include <string>

#include <QDialog>
#include <QPointer>
#include <QString>

class QLabel;
class QLineEdit;
class QMenuBar;
class QTextBrowser;
class QToolButton;

namespace ger {
class TForm;
}

namespace ger::qt {

class QtDialogs;

class HelpWindow : public QDialog {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget* parent = nullptr);
  // Shows the guide file at the topic (an anchor of it; empty for the start).
  void Open(const QString& guide, const QString& topic);
  // The topic shown (the anchor of the last link followed) and its heading, which is also in the
  // window's title.
  QString Topic() const;
  QString Heading() const { return heading_; }
  // Looks for the text from the caret on, round to the top; false when the page lacks it.
  bool Find(const QString& text);
  QTextBrowser* Browser() const { return browser_; }
  QLineEdit* FindBox() const { return find_; }
  QToolButton* BackButton() const { return back_; }
  QToolButton* ForwardButton() const { return forward_; }
  // The window the user came from, active again once the help is closed.
  void ReturnTo(QWidget* window) { returnTo_ = window; }

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void Shown(const QString& topic);
  QTextBrowser* browser_;
  QToolButton* back_;
  QToolButton* forward_;
  QLineEdit* find_;
  QLabel* status_;
  QString heading_;
  QPointer<QWidget> returnTo_;
};

// The guide as built beside the host's library ("help/index.html").
QString GuideFile();

// The main window's help menu: the active screen's topic and the start of the guide.
void AddHelpMenu(QMenuBar& bar, std::function<TForm*()> current, QtDialogs& dialogs);

}  // namespace ger::qt
