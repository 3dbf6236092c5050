#pragma once
// Helpers of the off-screen shell tests: answering the next Qt dialog from inside its own event
// loop, and waiting for deferred gestures.
#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
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

// Starts a ger-server on a new database in `dataDir` with the reference lists (and whatever
// `extra` asks, such as "--demo"); answers the port it listens on, 0 when it did not start.
inline int StartServer(QProcess& server, const QString& program, const QString& dataDir,
                       const QString& dataSource, const QStringList& extra = {}) {
  server.setProgram(program);
  server.setArguments(QStringList{"--data-dir", dataDir, "--port", "0", "--data", dataSource} +
                      extra);
  server.start();
  if (!server.waitForStarted()) return 0;
  QByteArray out;
  while (!out.contains("listening on") && server.waitForReadyRead(20000))
    out += server.readAllStandardOutput();
  return out.mid(out.lastIndexOf(':') + 1).trimmed().toInt();
}

// Lets queued gestures and model reads run.
inline void Settle() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    QTest::qWait(5);
  }
}

}  // namespace ger::test
