// The report dialogs of the Qt shell: the progress of a long report with its cancel button, and
// printing through the system's print dialog.
#include <QApplication>
#include <QProgressDialog>

#include "convert.h"
#include "qtdialogs.h"
#include "report_preview.h"

namespace ger::qt {

void QtDialogs::BeginProgress(const std::string& text, int total) {
  EndProgress();
  auto* dialog = new QProgressDialog(ToQ(text), "Cancelar", 0, std::max(total, 0), Parent());
  dialog->setObjectName("dlgProgresso");
  dialog->setWindowTitle(QApplication::applicationDisplayName());
  dialog->setWindowModality(Qt::ApplicationModal);
  dialog->setAutoClose(false);
  dialog->setAutoReset(false);
  dialog->setMinimumDuration(400);  // quick reports finish before it would flash
  dialog->setValue(0);
  progress_ = dialog;
}

bool QtDialogs::StepProgress(int done, int total) {
  if (!progress_) return true;
  if (progress_->maximum() != std::max(total, 0)) progress_->setMaximum(std::max(total, 0));
  // Shown once the task outlasts the minimum duration; the events keep it painted and let the
  // cancel button be pressed while the task runs on this thread.
  progress_->setValue(std::min(done, progress_->maximum()));
  QApplication::processEvents(QEventLoop::AllEvents, 5);
  return !progress_->wasCanceled();
}

void QtDialogs::EndProgress() {
  if (progress_) {
    // The dialog's own timer shows it once the minimum duration has passed, hidden or not, and a
    // later deletion waits for this event loop: a preview or message opened next runs a nested
    // loop, where the timer would fire and put the finished box over it, modal. Reset stops the
    // timer, so the box stays hidden until it goes.
    progress_->reset();
    progress_->hide();
    progress_->deleteLater();
  }
  progress_ = nullptr;
}

bool QtDialogs::PrintReport(const report::Document& document) {
  return PrintPages(document, Parent());
}

}  // namespace ger::qt
