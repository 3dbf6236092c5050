#include "Ger00200/ger00200_historico.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <utility>

#include "contract/tables.h"
#include "core/messages.h"

namespace ger {

namespace {

std::string Text(const DataPacket& p, const Row& row, std::string_view column) {
  const int i = p.IndexOf(std::string(column));
  if (i < 0) return {};
  const auto* s = std::get_if<std::string>(&row[static_cast<std::size_t>(i)]);
  return s ? *s : std::string();
}

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  if (!item.empty() && std::find(list.begin(), list.end(), item) == list.end())
    list.push_back(item);
}

}  // namespace

std::string HistoricoModel::LocalTime(const std::string& utc) {
  std::tm t{};
  if (utc.size() != 19 || std::sscanf(utc.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &t.tm_year, &t.tm_mon,
                                      &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
    return {};
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  const std::time_t at = timegm(&t);
  std::tm local{};
  localtime_r(&at, &local);
  char text[24];
  std::strftime(text, sizeof text, "%d/%m/%Y %H:%M:%S", &local);
  return text;
}

std::string HistoricoModel::Label(const std::string& table, const std::string& column) {
  for (const record::Table* t : record::ServerTables())
    if (t->name == table)
      if (const record::Column* c = t->Find(column); c && !c->shown.label.empty())
        return std::string(c->shown.label);
  // A link's fields shown from the representative's register carry the link dataset's labels.
  for (const record::DatasetField& f : record::kCdsRepresentante.fields)
    if (f.column == column && !f.shown.label.empty()) return std::string(f.shown.label);
  return column;
}

HistoricoModel::HistoricoModel(const DataPacket& rows, const TMessages& catalogue) {
  rows_.reserve(rows.rows.size());
  // A company's history names few fields many times: each label is looked up once.
  std::map<std::pair<std::string, std::string>, std::string> labels;
  for (const Row& r : rows.rows) {
    HistoricoLinha l;
    l.dataHora = LocalTime(Text(rows, r, "DTHISTORICO"));
    l.pessoa = Text(rows, r, "NMUSUARIO");
    l.estacao = Text(rows, r, "NMESTACAOHISTORICO");
    const std::string column = Text(rows, r, "NMCOLUNAHISTORICO");
    const std::string table = Text(rows, r, "NMTABELAHISTORICO");
    auto [label, added] = labels.try_emplace({table, column});
    if (added) {
      label->second = column.empty() ? catalogue.Msg("Hist_Exclusao") : Label(table, column);
      if (table == "EMPRREPRES") label->second = catalogue.Msg("Hist_Repres", {label->second});
    }
    l.campo = label->second;
    l.antes = Text(rows, r, "DSANTESHISTORICO");
    l.depois = Text(rows, r, "DSDEPOISHISTORICO");
    AddOnce(campos_, l.campo);
    AddOnce(pessoas_, l.pessoa);
    rows_.push_back(std::move(l));
  }
  std::sort(campos_.begin(), campos_.end());
  std::sort(pessoas_.begin(), pessoas_.end());
}

std::vector<HistoricoLinha> HistoricoModel::Rows(const std::string& campo,
                                                 const std::string& pessoa) const {
  std::vector<HistoricoLinha> out;
  for (const HistoricoLinha& l : rows_)
    if ((campo.empty() || l.campo == campo) && (pessoa.empty() || l.pessoa == pessoa))
      out.push_back(l);
  return out;
}

TfrmHistorico::TfrmHistorico(const DataPacket& rows, const TMessages& catalogue,
                             const std::string& company)
    : TForm("frmHistorico"), model_(rows, catalogue), todos_(catalogue.Msg("Hist_Todos")) {
  SetCaption(catalogue.Msg("Hist_Titulo", {company}));
  SetBounds(0, 0, 760, 420);
  lblCampo.SetCaption(catalogue.Msg("Hist_Campo"));
  lblCampo.SetBounds(8, 12, 40, 16);
  cbxCampo.SetBounds(56, 8, 260, 21);
  cbxCampo.SetStyle(TComboBoxStyle::csDropDownList);
  lblPessoa.SetCaption(catalogue.Msg("Hist_Pessoa"));
  lblPessoa.SetBounds(332, 12, 50, 16);
  cbxPessoa.SetBounds(388, 8, 200, 21);
  cbxPessoa.SetStyle(TComboBoxStyle::csDropDownList);
  std::vector<std::string> campos{todos_}, pessoas{todos_};
  campos.insert(campos.end(), model_.Campos().begin(), model_.Campos().end());
  pessoas.insert(pessoas.end(), model_.Pessoas().begin(), model_.Pessoas().end());
  cbxCampo.SetItems(std::move(campos));
  cbxPessoa.SetItems(std::move(pessoas));
  cbxCampo.SetItemIndex(0);
  cbxPessoa.SetItemIndex(0);
  dtsHistorico.SetDataSet(&cdsHistorico);
  dbgHistorico.SetBounds(8, 40, 744, 372);
  dbgHistorico.SetDataSource(dtsHistorico);
  dbgHistorico.ReadOnly = true;
  dbgHistorico.Options.Editing = false;
  dbgHistorico.Options.RowSelect = true;
  dbgHistorico.AddColumn("DATAHORA", catalogue.Msg("Hist_DataHora"), 130);
  dbgHistorico.AddColumn("PESSOA", catalogue.Msg("Hist_Pessoa"), 110);
  dbgHistorico.AddColumn("ESTACAO", catalogue.Msg("Hist_Estacao"), 100);
  dbgHistorico.AddColumn("CAMPO", catalogue.Msg("Hist_Campo"), 150);
  dbgHistorico.AddColumn("ANTES", catalogue.Msg("Hist_Antes"), 120);
  dbgHistorico.AddColumn("DEPOIS", catalogue.Msg("Hist_Depois"), 120);
  cbxCampo.OnChange = [this](TComponent&) { Filtra(); };
  cbxPessoa.OnChange = [this](TComponent&) { Filtra(); };
  Filtra();
}

void TfrmHistorico::Filtra() {
  auto chosen = [this](const TComboBox& box) {
    return box.ItemIndex() <= 0 ? std::string()
                                : box.Items()[static_cast<std::size_t>(box.ItemIndex())];
  };
  DataPacket p;
  for (const char* name : {"DATAHORA", "PESSOA", "ESTACAO", "CAMPO", "ANTES", "DEPOIS"})
    p.fields.push_back({name, FieldKind::Memo, 0, ProviderFlags::Default()});
  p.fields[0] = {"DATAHORA", FieldKind::String, 19, ProviderFlags::Default()};
  for (HistoricoLinha& l : model_.Rows(chosen(cbxCampo), chosen(cbxPessoa)))
    p.rows.push_back({std::move(l.dataHora), std::move(l.pessoa), std::move(l.estacao),
                      std::move(l.campo), std::move(l.antes), std::move(l.depois)});
  cdsHistorico.SetData(std::move(p));
}

}  // namespace ger
