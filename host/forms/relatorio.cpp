#include "forms/relatorio.h"

#include <cctype>

#include "data/packet.h"
#include "forms/visualizarel.h"
#include "module/module.h"
#include "net/netconnection.h"
#include "report/cairo_pages.h"
#include "report/csv.h"
#include "report/layout.h"
#include "report/messages.h"
#include "routines/routines.h"
#include "ui/dialogs.h"
#include "ui/forms.h"

namespace ger {

namespace fs = std::filesystem;

std::vector<fs::path> ReportDirs() {
  std::vector<fs::path> dirs;
  if (!Zembrat::ReportDir().empty()) dirs.emplace_back(Zembrat::ReportDir());
  dirs.push_back(TLoadedModule::HostLibraryDir() / "reports");
  return dirs;
}

std::optional<report::Definition> FindReport(const std::string& code) {
  std::optional<fs::path> file = report::FindDefinition(code, ReportDirs());
  if (!file) return std::nullopt;
  return report::LoadDefinition(*file);
}

ReportJob::ReportJob(report::Definition definition) : definition_(std::move(definition)) {}

std::string ReportJob::ProgressText() const {
  return report::ReportMsg("Rel_Gerando", {definition_.title});
}

const report::Table& ReportJob::Table(ui::ProgressScope& progress) {
  if (table_) return *table_;
  progress.Step(0, 0);
  const report::SourceDef& source = definition_.source;
  TNetConnection net;
  net.Host = Zembrat::WebURL();
  net.Port = Zembrat::WebPort();
  net.CaFile = Application().Settings.caFile;
  net.Token = Application().Settings.token;
  net.ServerName = source.object;
  boost::json::array params;
  for (const std::string& p : source.params) params.emplace_back(p);
  emitted_ = DateTime::Now();
  const ServerPayload payload = Consiste::CheckResultServ(net.Call(source.method, params));
  table_ = report::BuildTable(definition_, codec::DecodePacket(payload.Text()));
  return *table_;
}

std::shared_ptr<const report::Document> ReportJob::Pages(ui::ProgressScope& progress) {
  if (pages_) return pages_;
  const report::Table& table = Table(progress);
  report::CairoFonts fonts;
  pages_ = std::make_shared<const report::Document>(
      report::Layout(definition_, table, emitted_, fonts,
                     [&progress](int done, int total) { progress.Step(done, total); }));
  return pages_;
}

std::optional<ReportJob::FileKind> ReportJob::KindOf(const fs::path& file) {
  std::string ext = file.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".pdf") return FileKind::Pdf;
  if (ext == ".csv") return FileKind::Csv;
  return std::nullopt;
}

bool ReportJob::SaveAs(TSaveDialog& dialog) {
  if (dialog.Filter.empty()) dialog.Filter = report::ReportMsg("Rel_Filtro");
  if (dialog.DefaultExt.empty()) dialog.DefaultExt = "pdf";
  if (dialog.FileName.empty()) dialog.FileName = definition_.title + ".pdf";
  if (!dialog.Execute()) return false;
  fs::path file = dialog.FileName;
  if (file.extension().empty()) file += ".pdf";
  std::optional<FileKind> kind = KindOf(file);
  if (!kind) Consiste::MensErro(report::ReportMsg("Rel_Tipo"));
  Write(file, *kind);
  dialog.FileName = file.string();
  return true;
}

void ReportJob::Write(const fs::path& file, FileKind kind) {
  {
    ui::ProgressScope progress(Application().Dialogs(), ProgressText());
    auto step = [&progress](int done, int total) { progress.Step(done, total); };
    if (kind == FileKind::Csv)
      report::WriteCsv(definition_, Table(progress), file);
    else
      report::WritePdf(*Pages(progress), file, step);
  }
  Application().Dialogs().MessageDlg(report::ReportMsg("Rel_Salvo", {file.string()}),
                                     TMsgDlgType::mtInformation, mbOK, 0);
}

bool ReportJob::Print() {
  std::shared_ptr<const report::Document> pages;
  {
    ui::ProgressScope progress(Application().Dialogs(), ProgressText());
    pages = Pages(progress);
  }
  return Application().Dialogs().PrintReport(*pages);
}

void ReportJob::Preview() {
  std::shared_ptr<const report::Document> pages;
  {
    ui::ProgressScope progress(Application().Dialogs(), ProgressText());
    pages = Pages(progress);
  }
  TfrmVisualizaRel& form =
      Application().CreateForm<TfrmVisualizaRel>(shared_from_this(), std::move(pages));
  form.ShowModal();
}

}  // namespace ger
