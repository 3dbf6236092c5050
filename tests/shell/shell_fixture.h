#pragma once
// The shell off-screen, what the shell tests share: a new main window for each test, the forms
// drawn in it, their widgets by name, and everything closed after.
#include <memory>

#include <QObject>
#include <QTest>

#include "shell.h"
#include "shelltest.h"
#include "ui/forms.h"

namespace ger::test {

class ShellFixture : public QObject {
 protected:
  std::unique_ptr<qt::Shell> shell;

  // For init: a new shell.
  void NewShell() { shell = std::make_unique<qt::Shell>(); }
  // The main window shown and active, with the forms shown so far drawn.
  void ShowWindow() {
    shell->Window().show();
    QVERIFY(QTest::qWaitForWindowActive(&shell->Window()));
    shell->SyncAll();
    Settle();
  }
  // The widget drawn for the form's control `name`; null when there is none of that class.
  template <class W>
  W* WidgetOf(TForm& form, const char* name) {
    qt::FormView* view = shell->ViewOf(form);
    return view ? qobject_cast<W*>(view->WidgetOf(name)) : nullptr;
  }
  // For cleanup: the forms, then the shell.
  void CloseShell() {
    Application().Reset();
    shell.reset();
  }
};

}  // namespace ger::test
