// The company list: what its filter and the find dialog read, the find on the representatives'
// page, and the list's context menu (copy a company, copy its registration, export the list).
#include <utility>

#include "Ger00200/ger00200.h"
#include "contract/tables.h"
#include "forms/relatorio.h"
#include "report/csv.h"
#include "report/table.h"

namespace ger {

using record::Empresa;
using record::EmprRepres;
using record::Representante;

namespace {

report::ColumnDef Coluna(std::string title, std::vector<std::string> fields,
                         std::string format = "text") {
  report::ColumnDef c;
  c.title = std::move(title);
  c.fields = std::move(fields);
  c.format = std::move(format);
  return c;
}

// What "Copiar" puts on the clipboard: code, name, legal name and the registration under the
// mask of its person type, formatted as the company report formats them.
report::Definition DefinicaoCopia() {
  report::Definition d;
  d.code = "Ger002";
  d.title = "Empresa";
  d.columns = {
      Coluna("Código", {std::string(Empresa::CDEMPRESA)}),
      Coluna("Nome", {std::string(Empresa::NMEMPRESA)}),
      Coluna("Razão Social", {std::string(Empresa::NMRAZSOCEMPR)}),
      Coluna("Inscrição", {std::string(Empresa::NRINSJUREMPR), std::string(Empresa::IDTPIJUREMPR)},
             "registration")};
  return d;
}

// The rows of the dataset (from 0) with the fields the definition reads, as a packet the
// report's table takes; read through peeks, so the cursor stays.
DataPacket Linhas(TDataSet& dataset, const report::Definition& d, const std::vector<int>& rows) {
  DataPacket packet;
  std::vector<TField*> fields;
  auto add = [&](const std::string& name) {
    if (packet.IndexOf(name) >= 0) return;
    TField* f = dataset.FindField(name);
    if (!f) return;  // the table names the field the data lacks
    packet.fields.push_back(f->Def());
    fields.push_back(f);
  };
  for (const report::ColumnDef& c : d.columns)
    for (const std::string& name : c.fields) add(name);
  for (const report::SortKey& k : d.order) add(k.field);
  if (d.group)
    for (const std::string& name : d.group->value.fields) add(name);
  packet.rows.reserve(rows.size());
  for (int r : rows) {
    TDataSet::RowPeek peek(dataset, r);
    Row row;
    row.reserve(fields.size());
    for (TField* f : fields) row.push_back(f->GetValue());
    packet.rows.push_back(std::move(row));
  }
  return packet;
}

}  // namespace

void TfrmEmpresa::PreparaLista() {
  // The filter and the find read the company's names and registrations, and where it is.
  dbgPadrao.SearchColumns = {
      {std::string(Empresa::CDEMPRESA)},        {std::string(Empresa::NMEMPRESA)},
      {std::string(Empresa::NMRAZSOCEMPR)},     {std::string(Empresa::NRINSJUREMPR), true},
      {std::string(Empresa::NRINSCESTA), true}, {std::string(Empresa::NMMUNICIPIO)}};
  dbgRepresentante.SearchColumns = {{std::string(EmprRepres::CDREPRES)},
                                    {std::string(Representante::NMREPRES)},
                                    {std::string(Representante::NRCPFREPRES), true}};
  // The list's context menu, one entry per item: a new command is a member and a line here.
  const std::pair<TMenuItem*, void (TfrmEmpresa::*)(TComponent&)> itens[] = {
      {&mnuCopiar, &TfrmEmpresa::mnuCopiarClick},
      {&mnuCopiarCNPJ, &TfrmEmpresa::mnuCopiarCNPJClick},
      {&mnuExportarLista, &TfrmEmpresa::mnuExportarListaClick},
      {&mnuHistoricoLista, &TfrmEmpresa::mnuHistoricoClick},
  };
  mnuHistoricoLista.SetCaption(msgPadrao.Msg("Hist_Menu"));
  for (const auto& [item, handler] : itens)
    item->OnClick = [this, handler = handler](TComponent& s) { (this->*handler)(s); };
  dbgPadrao.PopupMenu = &pmnLista;
}

void TfrmEmpresa::mnuProcurarProximoClick(TComponent& sender) {
  if (OnRepresentantes()) {
    Procurar::ProcuraProxima(dbgRepresentante, textoRepresentante_);
    return;
  }
  TfrmPadrao::mnuProcurarProximoClick(sender);
}

std::string TfrmEmpresa::TextoCopia(const report::Definition& d) {
  if (!cdsEmpresa.Active() || cdsEmpresa.IsEmpty())
    Consiste::MensErro(msgMensagensPadroes.Msg("Reg_Vazio"), true);
  const report::Table table =
      report::BuildTable(d, Linhas(cdsEmpresa, d, {cdsEmpresa.RecNo() - 1}));
  std::string text;
  for (const report::Cell& c : table.rows.front().cells) {
    if (!text.empty()) text += '\t';
    text += c.text;
  }
  return text;
}

void TfrmEmpresa::mnuCopiarClick(TComponent&) {
  Application().Dialogs().CopyToClipboard(TextoCopia(DefinicaoCopia()));
}

void TfrmEmpresa::mnuCopiarCNPJClick(TComponent&) {
  report::Definition d = DefinicaoCopia();
  d.columns.erase(d.columns.begin(), d.columns.end() - 1);
  Application().Dialogs().CopyToClipboard(TextoCopia(d));
}

void TfrmEmpresa::mnuExportarListaClick(TComponent&) {
  if (!cdsEmpresa.Active()) return;
  // The company report's columns, in the order and with the filter the list has now.
  std::optional<report::Definition> found = FindReport("Ger002");
  report::Definition d = found ? std::move(*found) : DefinicaoCopia();
  d.order.clear();
  d.group.reset();
  auto file = Application().Dialogs().SaveFile(
      {"Planilha (*.csv)|*.csv", "Exportar lista", {}, "csv", "empresas.csv"});
  if (!file || file->empty()) return;
  std::filesystem::path path(*file);
  if (path.extension().empty()) path += ".csv";
  report::WriteCsv(d, report::BuildTable(d, Linhas(cdsEmpresa, d, dbgPadrao.ShownRows())), path);
}

}  // namespace ger
