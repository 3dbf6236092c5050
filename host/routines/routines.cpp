#include "routines/routines.h"

#include <boost/json/array.hpp>

#include "core/utf8.h"
#include "data/datasource.h"
#include "ui/forms.h"
#include "ui/grids.h"

namespace ger {

const ComponentClass TMessageComponent::ClassInfo{"TMessageComponent", &TComponent::ClassInfo};
const ComponentClass& TMessageComponent::Class() const {
  return ClassInfo;
}

TModalResult TMessageComponent::ShowMsg(std::string_view key, TMsgDlgType type,
                                        TMsgDlgButtons buttons, int helpContext) const {
  return Application().Dialogs().MessageDlg(Msg(key), type, buttons, helpContext);
}

const char* StandardMessages() {
  return "Excl|Confirma exclusão ?\n"
         "cancelar|Cancelar operação?\n"
         "Reg_Vazio|Não há registro selecionado.\n"
         "Nao_Encontrado|Registro não encontrado.\n"
         "Fim_Lista|A procura chegou ao fim da lista e recomeçou do início.\n"
         "Lista_Contagem|%1 de %2 registros\n"
         "Lista_Total|%1 registros\n"
         "Salvar_Alt|Deseja salvar as alterações?\n";
}

namespace Consiste {

void MensErro(const std::string& text, bool abort) {
  Application().Dialogs().MessageDlg(text, TMsgDlgType::mtError, mbOK, 0);
  if (abort) Abort();
}

ServerPayload CheckResultServ(const ServerAnswer& answer, bool showError, int index) {
  auto fail = [&](const std::string& message) {
    if (showError) MensErro(message, true);
    throw EServerError(message);
  };
  if (!answer.ok())
    fail(answer.error.empty() ? "Falha na comunicação com o servidor." : answer.error);
  if (index == 0) return *answer.payload;  // as it came: a packet is decoded from its text
  const boost::json::value* payload = nullptr;
  try {
    payload = &answer.payload->Value();
  } catch (const EServerError& e) {
    fail(e.what());
  }
  if (!payload->is_array()) return *answer.payload;
  const boost::json::array& items = payload->as_array();
  if (index < 0 || static_cast<std::size_t>(index) >= items.size())
    fail("Resposta do servidor sem o item " + std::to_string(index) + ".");
  return ServerPayload(items[static_cast<std::size_t>(index)]);
}

int IndiceCol(TDBGrid& grid, std::string_view fieldName) {
  auto columns = grid.Columns();
  for (int i = 0; i < static_cast<int>(columns.size()); ++i)
    if (utf8::SameText(columns[i]->FieldName, fieldName)) return i;
  return -1;
}

}  // namespace Consiste

namespace Pesquisa {

bool Pesquisar(TDataSource& source, const std::string& titleAndEmpty, bool, bool showEmpty) {
  std::string title = titleAndEmpty, empty;
  if (auto bar = titleAndEmpty.find('|'); bar != std::string::npos) {
    title = titleAndEmpty.substr(0, bar);
    empty = titleAndEmpty.substr(bar + 1);
  }
  TDataSet* ds = source.DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty()) {
    if (showEmpty && !empty.empty())
      Application().Dialogs().MessageDlg(empty, TMsgDlgType::mtInformation, mbOK, 0);
    return false;
  }
  auto row = Application().Dialogs().PickList(source, title);
  if (!row) return false;
  ds->SetRecNo(*row + 1);
  return true;
}

}  // namespace Pesquisa

namespace Procurar {

bool Procura(TDataSet& dataset) {
  if (!dataset.Active() || dataset.IsEmpty()) return false;
  auto text = Application().Dialogs().FindText(dataset);
  if (!text || utf8::Trim(*text).empty()) return false;
  std::string wanted = utf8::FoldKey(utf8::Trim(*text));
  DataPacket data = dataset.Data();
  for (std::size_t r = 0; r < data.rows.size(); ++r) {
    for (int i = 0; i < dataset.FieldCount(); ++i) {
      const TField& f = dataset.Field(i);
      if (!f.Visible()) continue;
      int index = data.IndexOf(f.FieldName());
      if (index < 0) continue;
      const Value& v = data.rows[r][index];
      std::string shown;
      if (auto* s = std::get_if<std::string>(&v))
        shown = *s;
      else if (auto* n = std::get_if<std::int64_t>(&v))
        shown = std::to_string(*n);
      if (!shown.empty() && utf8::FoldKey(shown).find(wanted) != std::string::npos) {
        dataset.SetRecNo(static_cast<int>(r) + 1);
        return true;
      }
    }
  }
  Application().Dialogs().MessageDlg("Registro não encontrado.", TMsgDlgType::mtInformation, mbOK,
                                     0);
  return false;
}

namespace {

std::string Padrao(std::string_view key) {
  return TMessages(StandardMessages()).Msg(key);
}

bool Acha(TDBGrid& grid, const std::string& text, bool next) {
  TDataSet* ds = grid.DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty()) return false;
  bool wrapped = false;
  const std::optional<int> row = grid.FindRow(text, next, wrapped);
  if (!row) {
    Application().Dialogs().MessageDlg(Padrao("Nao_Encontrado"), TMsgDlgType::mtInformation, mbOK,
                                       0);
    return false;
  }
  ds->SetRecNo(*row + 1);
  if (wrapped)
    Application().Dialogs().MessageDlg(Padrao("Fim_Lista"), TMsgDlgType::mtInformation, mbOK, 0);
  return true;
}

}  // namespace

bool Procura(TDBGrid& grid, std::string& last) {
  TDataSet* ds = grid.DataSet();
  if (!ds || !ds->Active() || ds->IsEmpty()) return false;
  auto text = Application().Dialogs().FindText(*ds);
  if (!text || utf8::Trim(*text).empty()) return false;
  last = *text;
  return Acha(grid, last, false);
}

bool ProcuraProxima(TDBGrid& grid, std::string& last) {
  if (utf8::Trim(last).empty()) return Procura(grid, last);
  return Acha(grid, last, true);
}

}  // namespace Procurar

namespace Showavi {
void ActiveShowAvi(TForm* over, int kind) {
  Application().Dialogs().ShowAvi(over, kind);
}
void DeactiveShowAvi() {
  Application().Dialogs().HideAvi();
}
}  // namespace Showavi

namespace Zembrat {
std::string WebURL() {
  return Application().Settings.webUrl;
}
int WebPort() {
  return Application().Settings.webPort;
}
std::string ReportDir() {
  return Application().Settings.reportDir;
}

void AtualizaLocalCache(const std::vector<std::string>& tables) {
  TApplication& app = Application();
  for (const std::string& table : tables) {
    std::string name = utf8::ToUpper(table);
    ++app.CacheRefreshes[name];
    if (app.OnRefreshLocalCache) app.OnRefreshLocalCache(name);
  }
}
}  // namespace Zembrat

namespace Geral {
std::string ModuloAtiv() {
  return Application().Settings.moduloAtiv;
}
}  // namespace Geral

}  // namespace ger
