#include "qtdialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "convert.h"
#include "core/utf8.h"
#include "data/datasource.h"
#include "helpwindow.h"
#include "net/messages.h"
#include "ui/forms.h"
#include "ui/help.h"

namespace ger::qt {

QString ButtonCaption(TMsgDlgBtn button) {
  switch (button) {
    case mbYes:
      return "&Sim";
    case mbNo:
      return "&Não";
    case mbOK:
      return "OK";
    case mbCancel:
      return "Cancelar";
    case mbAbort:
      return "&Abortar";
    case mbRetry:
      return "&Repetir";
    case mbIgnore:
      return "&Ignorar";
    case mbHelp:
      return "A&juda";
  }
  return {};
}

QString DialogTitle(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return "Aviso";
    case TMsgDlgType::mtError:
      return "Erro";
    case TMsgDlgType::mtInformation:
      return "Informação";
    case TMsgDlgType::mtConfirmation:
      return "Confirmação";
    case TMsgDlgType::mtCustom:
      break;
  }
  return QApplication::applicationDisplayName();
}

namespace {

TModalResult ResultOf(TMsgDlgBtn button) {
  switch (button) {
    case mbYes:
      return TModalResult::mrYes;
    case mbNo:
      return TModalResult::mrNo;
    case mbOK:
      return TModalResult::mrOk;
    case mbCancel:
      return TModalResult::mrCancel;
    case mbAbort:
      return TModalResult::mrAbort;
    case mbRetry:
      return TModalResult::mrRetry;
    case mbIgnore:
      return TModalResult::mrIgnore;
    case mbHelp:
      break;
  }
  return TModalResult::mrNone;
}

QMessageBox::Icon IconOf(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return QMessageBox::Warning;
    case TMsgDlgType::mtError:
      return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
      return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
      return QMessageBox::Question;
    case TMsgDlgType::mtCustom:
      break;
  }
  return QMessageBox::NoIcon;
}

// Ctrl+C copies the message, its title and its buttons as text, as message boxes do on other
// desktops: to paste what the program said into a call for support.
class MessageBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (!event->matches(QKeySequence::Copy)) return QMessageBox::keyPressEvent(event);
    const QString line = "---------------------------\n";
    QString captions;
    for (QAbstractButton* b : buttons()) captions += QString(b->text()).remove('&') + "   ";
    QApplication::clipboard()->setText(line + windowTitle() + "\n" + line + text() + "\n" + line +
                                       captions + "\n" + line);
  }
};

}  // namespace

// --- PickListDialog ---------------------------------------------------------------------------

PickListDialog::PickListDialog(TDataSource& source, const QString& title, QWidget* parent)
    : QDialog(parent) {
  setObjectName("dlgPesquisa");
  setWindowTitle(title.isEmpty() ? QString("Pesquisa") : title);
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel("&Filtrar:", this);
  filter_ = new QLineEdit(this);
  filter_->setObjectName("edtFiltro");
  label->setBuddy(filter_);
  table_ = new QTableWidget(this);
  table_->setObjectName("grdPesquisa");
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  buttons->addButton("Cancelar", QDialogButtonBox::RejectRole);
  layout->addWidget(label);
  layout->addWidget(filter_);
  layout->addWidget(table_);
  layout->addWidget(buttons);
  resize(560, 420);

  TDataSet* ds = source.DataSet();
  if (ds) model_ = ui::PickListModel(*ds);
  QStringList titles;
  for (const std::string& t : model_.Titles()) titles << ToQ(t);
  table_->setColumnCount(model_.ColumnCount());
  table_->setHorizontalHeaderLabels(titles);
  table_->setRowCount(model_.RowCount());
  for (int r = 0; r < model_.RowCount(); ++r)
    for (int c = 0; c < model_.ColumnCount(); ++c) {
      auto* item = new QTableWidgetItem(ToQ(model_.Cell(r, c)));
      item->setData(Qt::UserRole, r);
      table_->setItem(r, c, item);
    }
  table_->resizeColumnsToContents();
  if (table_->rowCount() > 0) table_->selectRow(ds ? std::max(0, ds->RecNo() - 1) : 0);

  connect(filter_, &QLineEdit::textChanged, this, &PickListDialog::ApplyFilter);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { accept(); });
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (ChosenRow()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  filter_->installEventFilter(this);
  filter_->setFocus();
}

void PickListDialog::ApplyFilter(const QString& text) {
  if (!model_.SetFilter(FromQ(text))) return;
  const std::vector<int>& shown = model_.Shown();
  std::size_t next = 0;
  for (int r = 0; r < table_->rowCount(); ++r) {
    const bool match = next < shown.size() && shown[next] == r;
    if (match) ++next;
    table_->setRowHidden(r, !match);
  }
  if (!shown.empty() && (table_->currentRow() < 0 || table_->isRowHidden(table_->currentRow())))
    table_->selectRow(shown.front());
  if (shown.empty()) table_->clearSelection();
}

std::optional<int> PickListDialog::ChosenRow() const {
  int r = table_->currentRow();
  if (r < 0 || table_->isRowHidden(r) || table_->selectedItems().isEmpty()) return std::nullopt;
  return table_->item(r, 0) ? table_->item(r, 0)->data(Qt::UserRole).toInt() : r;
}

bool PickListDialog::eventFilter(QObject* watched, QEvent* event) {
  // The arrows in the filter box move through the table, so the keyboard never has to leave it.
  if (watched == filter_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up || key->key() == Qt::Key_PageDown ||
        key->key() == Qt::Key_PageUp) {
      QApplication::sendEvent(table_, event);
      return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      if (ChosenRow()) accept();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

// --- QtDialogs --------------------------------------------------------------------------------

QtDialogs::QtDialogs(std::function<QWidget*()> parent) : parent_(std::move(parent)) {
  OpenWithDesktop = [](const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  };
  help::AddCatalogue(net::NetMessages());
  help::SetViewer(
      [this](const std::string& file, const std::string& topic) { ShowHelpTopic(file, topic); });
}

QtDialogs::~QtDialogs() {
  help::SetViewer({});
  HideAvi();
  SetCursor(ui::Cursor::crDefault);
}

QWidget* QtDialogs::Parent() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return parent_ ? parent_() : nullptr;
}

TModalResult QtDialogs::MessageDlg(const std::string& text, TMsgDlgType type,
                                   TMsgDlgButtons buttons, int helpContext) {
  // A message must be seen: the hourglass and the busy indicator would hide that it waits.
  bool hourGlass = overridden_;
  if (hourGlass) QApplication::restoreOverrideCursor();
  MessageBox box(IconOf(type), DialogTitle(type), ToQ(text), QMessageBox::NoButton, Parent());
  box.setObjectName("dlgMensagem");
  std::vector<std::pair<QAbstractButton*, TMsgDlgBtn>> made;
  for (TMsgDlgBtn b : {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbHelp}) {
    if (!(buttons & b)) continue;
    QMessageBox::ButtonRole role = b == mbYes || b == mbOK || b == mbRetry ? QMessageBox::YesRole
                                   : b == mbHelp                           ? QMessageBox::HelpRole
                                                                           : QMessageBox::NoRole;
    QPushButton* button = box.addButton(ButtonCaption(b), role);
    button->setObjectName(QString("btn") + QString::number(static_cast<unsigned>(b)));
    made.emplace_back(button, b);
  }
  if (made.empty()) made.emplace_back(box.addButton("OK", QMessageBox::AcceptRole), mbOK);
  // A message of a catalogue has its page in the guide: a help button opens it.
  const bool guide = QFileInfo(GuideFile()).isReadable();
  const std::string key = guide ? help::MessageKey(text) : std::string();
  if (!key.empty() && !(buttons & mbHelp)) {
    QPushButton* button = box.addButton(ButtonCaption(mbHelp), QMessageBox::HelpRole);
    button->setObjectName(QString("btn") + QString::number(static_cast<unsigned>(mbHelp)));
    made.emplace_back(button, mbHelp);
  }
  box.setDefaultButton(static_cast<QPushButton*>(made.front().first));
  // Escape answers No, Cancel or the sole button, never Yes.
  for (TMsgDlgBtn b : {mbCancel, mbNo, mbOK, mbAbort, mbIgnore})
    for (auto& [button, kind] : made)
      if (kind == b && !box.escapeButton()) box.setEscapeButton(button);
  TModalResult result = TModalResult::mrCancel;
  for (;;) {
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    auto it = std::find_if(made.begin(), made.end(), [&](auto& m) { return m.first == clicked; });
    if (it == made.end()) break;
    if (it->second == mbHelp) {
      // Over the message, which comes back once the help is closed.
      const std::string topic =
          key.empty() ? help::ScreenTopic(helpContext) : help::MessageTopic(key);
      if (guide)
        HelpOver(Parent(), topic);
      else
        ShowHelpTopic({}, topic);
      continue;
    }
    result = ResultOf(it->second);
    break;
  }
  if (hourGlass) QApplication::setOverrideCursor(Qt::WaitCursor);
  return result;
}

std::optional<int> QtDialogs::PickList(TDataSource& source, const std::string& title) {
  std::string caption = title, empty;
  if (auto bar = title.find('|'); bar != std::string::npos) {
    caption = title.substr(0, bar);
    empty = title.substr(bar + 1);
  }
  TDataSet* ds = source.DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty()) {
    MessageDlg(empty.empty() ? "Não há registros para escolher." : empty,
               TMsgDlgType::mtInformation, mbOK, 0);
    return std::nullopt;
  }
  PickListDialog dialog(source, ToQ(caption), Parent());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.ChosenRow();
}

std::optional<std::string> QtDialogs::FindText(TDataSet&) {
  QDialog dialog(Parent());
  dialog.setObjectName("dlgProcurar");
  dialog.setWindowTitle("Procurar");
  auto* layout = new QVBoxLayout(&dialog);
  auto* label = new QLabel("&Texto a procurar:", &dialog);
  auto* edit = new QLineEdit(&dialog);
  edit->setObjectName("edtProcurar");
  label->setBuddy(edit);
  auto* buttons = new QDialogButtonBox(&dialog);
  buttons->addButton("OK", QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton("Cancelar", QDialogButtonBox::RejectRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(label);
  layout->addWidget(edit);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return FromQ(edit->text());
}

std::optional<std::string> QtDialogs::FileDialog(const ui::FileDialogOptions& options, bool save) {
  QString dir = ToQ(options.initialDir);
  if (dir.isEmpty()) dir = lastDir_;
  if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
    dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(dir).isDir()) dir = QDir::homePath();
  }
  if (!options.fileName.empty()) dir = QFileInfo(QDir(dir), ToQ(options.fileName)).filePath();
  const QString title =
      options.title.empty() ? QString(save ? "Salvar" : "Abrir") : ToQ(options.title);
  QFileDialog dialog(Parent(), title, dir, FileFilter(options.filter));
  dialog.setObjectName(save ? "dlgSalvarArquivo" : "dlgAbrirArquivo");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
  dialog.setViewMode(QFileDialog::Detail);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (save && !options.defaultExt.empty()) dialog.setDefaultSuffix(ToQ(options.defaultExt));
  // Name, size, kind and date whole: the name column takes what is left.
  if (auto* tree = dialog.findChild<QTreeView*>("treeView")) {
    QHeaderView* header = tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
  }
  dialog.resize(860, 500);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString path = dialog.selectedFiles().front();
  lastDir_ = QFileInfo(path).absolutePath();
  return FromQ(path);
}

std::optional<std::string> QtDialogs::OpenFile(const ui::FileDialogOptions& options) {
  return FileDialog(options, false);
}

std::optional<std::string> QtDialogs::SaveFile(const ui::FileDialogOptions& options) {
  return FileDialog(options, true);
}

void QtDialogs::EditReport(const std::string& file, DateTime) {
  QFileInfo info(ToQ(file));
  // A missing template is reported here: the desktop would open nothing and say nothing.
  if (!info.isFile()) {
    MessageDlg("O modelo '" + file + "' não foi encontrado.", TMsgDlgType::mtError, mbOK, 0);
    return;
  }
  if (!OpenWithDesktop(info.absoluteFilePath()))
    MessageDlg("Não foi possível abrir o modelo '" + file + "' no editor de relatórios.",
               TMsgDlgType::mtError, mbOK, 0);
}

void QtDialogs::ShowAvi(TForm*, int kind) {
  HideAvi();
  auto* busy = new QWidget(Parent(), Qt::Tool | Qt::FramelessWindowHint);
  busy->setObjectName("dlgAguarde");
  busy->setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(busy);
  auto* label = new QLabel(kind == 0 ? "Conectando ao servidor..." : "Carregando...", busy);
  auto* bar = new QProgressBar(busy);
  bar->setRange(0, 0);  // no end known: the bar runs back and forth
  layout->addWidget(label);
  layout->addWidget(bar);
  busy->resize(280, 70);
  if (QWidget* p = Parent()) busy->move(p->mapToGlobal(p->rect().center()) - busy->rect().center());
  busy->show();
  busy_ = busy;
  // The call that follows blocks the event loop: paint the indicator now.
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtDialogs::HideAvi() {
  if (busy_) busy_->close();
  busy_ = nullptr;
}

void QtDialogs::SetCursor(ui::Cursor cursor) {
  if (!QApplication::instance()) return;
  bool wait = cursor == ui::Cursor::crHourGlass;
  if (wait == overridden_) return;
  if (wait)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
  overridden_ = wait;
}

void QtDialogs::CopyToClipboard(const std::string& text) {
  QGuiApplication::clipboard()->setText(ToQ(text));
}

void QtDialogs::ShowHelp(const std::string& file, int context) {
  ShowHelpTopic(file, help::ScreenTopic(context));
}

void QtDialogs::HelpOver(QWidget* parent, const std::string& topic) {
  HelpWindow window(parent);
  window.Open(GuideFile(), ToQ(topic));
  window.exec();
}

void QtDialogs::ShowHelpTopic(const std::string& file, const std::string& topic) {
  const QString guide = GuideFile();
  if (!help::IsGuide(file) || !QFileInfo(guide).isReadable()) {
    MessageDlg(help::HelpMsg("Ajuda_Indisponivel", {file.empty() ? FromQ(guide) : file}),
               TMsgDlgType::mtInformation, mbOK, 0);
    return;
  }
  if (QWidget* modal = QApplication::activeModalWidget()) {
    HelpOver(modal, topic);
    return;
  }
  if (!help_) help_ = std::make_unique<HelpWindow>();
  if (QWidget* from = QApplication::activeWindow(); from && from != help_.get())
    help_->ReturnTo(from);
  help_->Open(guide, ToQ(topic));
  help_->show();
  help_->raise();
  help_->activateWindow();
}

}  // namespace ger::qt
