#pragma once
// Helpers of the off-screen shell tests: answering the next Qt dialog from inside its own event
// loop, and waiting for deferred gestures.
#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace ger::test {

// Runs `act` on the next modal widget as soon as it is shown (polling from the event loop the
// dialog runs); `seen` receives the dialog's text when it is a message box.
inline void OnNextModal(std::function<void(QWidget*)> act, QString* seen = nullptr) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act, seen] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    if (auto* box = qobject_cast<QMessageBox*>(modal); box && seen) *seen = box->text();
    act(modal);
  });
  timer->start();
}

// Clicks the message box button whose caption, without its accelerator, is `caption`.
inline void AnswerNext(const QString& caption, QString* seen = nullptr) {
  OnNextModal(
      [caption](QWidget* modal) {
        for (QAbstractButton* b : modal->findChildren<QAbstractButton*>())
          if (b->text().remove('&') == caption) {
            b->click();
            return;
          }
        modal->close();
      },
      seen);
}

// Lets queued gestures and model reads run.
inline void Settle() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    QTest::qWait(5);
  }
}

}  // namespace ger::test
