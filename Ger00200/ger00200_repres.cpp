// The "Representante Jurídico" page of the company screen: the legal representatives linked to
// the current company. The representatives themselves are registered elsewhere; here a code is
// typed or chosen from the register's list, one of them may be marked in use, and every posted or
// deleted row goes to the server at once, after which the list is read back.
#include <exception>

#include "Ger00200/ger00200.h"
#include "Ger00200/ger00200_dados.h"
#include "contract/tables.h"
#include "core/utf8.h"
#include "data/packet.h"
#include "routines/routines.h"

namespace ger {

using record::Empresa;
using record::EmprRepres;
using record::QualifAssina;
using record::Representante;

namespace {

bool SameField(const TField* field, std::string_view name) {
  return field && utf8::SameText(field->FieldName(), name);
}

void LoadPacket(TDataSet& dataset, const ServerPayload& payload) {
  dataset.SetData(codec::DecodePacket(payload.Text()));
}

// A yes-or-no answer of the server; anything else is not taken for either.
bool Sim(const ServerPayload& payload) {
  const boost::json::value& v = payload.Value();
  if (!v.is_bool()) throw EServerError("Resposta inesperada do servidor de aplicação.");
  return v.as_bool();
}

// The check's message, after the user has been taken to the field it is about.
[[noreturn]] void FailOn(TField& field, const std::string& text) {
  field.FocusControl();
  Consiste::MensErro(text, true);
  throw EAbort();  // not reached: MensErro with abort raises
}

// What the register says of the representative found or chosen; a row just linked starts unused.
void CopiaDoCadastro(TDataSet& row, const TDataSet& found) {
  for (std::string_view name : {Representante::NMREPRES, Representante::NRCPFREPRES})
    row.FieldByName(name).SetAsString(found.FieldByName(name).AsString());
  row.FieldByName(EmprRepres::IDATIVO).SetAsString("N");
  row.FieldByName(QualifAssina::NMQUALIFASSINA)
      .SetAsString(found.FieldByName(QualifAssina::NMQUALIFASSINA).AsString());
}

}  // namespace

void TfrmEmpresa::LigaRepresentantes() {
  empresa::DefineRepresentante(cdsRepresentante);
  empresa::DefineRepresentante(cdsEspelho);
  empresa::DefinePesqRepres(cdsPesqRepres);
  dtsRepresentante.SetDataSet(&cdsRepresentante);
  dtsPesqRepres.SetDataSet(&cdsPesqRepres);
  // The grid edits its cells as the platform's data sources do by default: typing into a cell
  // of a browsed list starts the row's edit (and so takes the mirror first).
  dtsRepresentante.AutoEdit = true;
  RegisterDataSource(dtsRepresentante);
  RegisterDataSource(dtsPesqRepres);

  cdsRepresentante.BeforeInsert = [this](TDataSet& d) { cdsRepresentanteBeforeInsert(d); };
  cdsRepresentante.BeforeEdit = [this](TDataSet& d) { cdsRepresentanteBeforeEdit(d); };
  cdsRepresentante.BeforePost = [this](TDataSet& d) { cdsRepresentanteBeforePost(d); };
  // One handler sends both: a posted row and a deleted one (tool button or the grid's Ctrl+Delete).
  cdsRepresentante.AfterPost = [this](TDataSet& d) { cdsRepresentanteAfterPost(d); };
  cdsRepresentante.AfterDelete = [this](TDataSet& d) { cdsRepresentanteAfterPost(d); };
  dtsRepresentante.OnStateChange = [this](TDataSource& s) { dtsRepresentanteStateChange(s); };
  dbgRepresentante.OnEditButtonClick = [this](TComponent& s) {
    dbgRepresentanteEditButtonClick(s);
  };
  dbgRepresentante.OnColEnter = [this](TComponent& s) { dbgRepresentanteColEnter(s); };
  dbgRepresentante.OnKeyPress = [this](TComponent& s, char32_t& key) {
    dbgRepresentanteKeyPress(s, key);
  };
  auto getText = [this](TField& f, std::string& text, bool display) {
    cdsPesqRepresIDATIVOGetText(f, text, display);
  };
  cdsRepresentante.FieldByName(EmprRepres::IDATIVO).OnGetText = getText;
  cdsEspelho.FieldByName(EmprRepres::IDATIVO).OnGetText = getText;
  cdsRepresentante.FieldByName(EmprRepres::IDATIVO).OnSetText =
      [this](TField& f, const std::string& text) { cdsRepresentanteIDATIVOSetText(f, text); };
}

void TfrmEmpresa::DesligaRepresentantes() {
  cdsRepresentante.AfterPost = nullptr;
  cdsRepresentante.AfterDelete = nullptr;
  dtsRepresentante.OnStateChange = nullptr;
  dbgRepresentante.OnColEnter = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Loading

void TfrmEmpresa::CarregaRepresentantes() {
  {
    Showavi::WaitAnimation wait(this, 6);
    LoadPacket(cdsRepresentante,
               Consiste::CheckResultServ(rdm.getRepresentante(CodigoEmpresa(), "")));
  }
  Habilita(dtsRepresentante);
}

std::string TfrmEmpresa::CodigoEmpresa() const {
  return cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString();
}

void TfrmEmpresa::FinalizaRepresentante() {
  // A row left in edit would be thrown away by the next load of the page; leaving the page posts
  // it (with its checks) as leaving a row does, or drops it when nothing was changed.
  if (cdsRepresentante.Active() && IsEditing(cdsRepresentante.State()))
    cdsRepresentante.CheckBrowseMode();
}

// ---------------------------------------------------------------------------------------------
// Start of an edit or insert, state

void TfrmEmpresa::cdsRepresentanteBeforeInsert(TDataSet& dataset) {
  cdsRepresentanteBeforeEdit(dataset);
}

void TfrmEmpresa::cdsRepresentanteBeforeEdit(TDataSet& dataset) {
  cdsEspelho.CopyFrom(dataset);
  stCodAntigo = dataset.FieldByName(EmprRepres::CDREPRES).AsString();
}

void TfrmEmpresa::dtsRepresentanteStateChange(TDataSource& sender) {
  // The tool buttons follow this list only while its page is the active one; elsewhere they
  // follow the company record.
  if (cdsRepresentante.Active() && OnRepresentantes()) Habilita(sender);
  if (!IsEditing(cdsRepresentante.State())) FimDaEdicao();  // the live list's news held back
  if (IsEditing(cdsRepresentante.State())) {
    const int col = Consiste::IndiceCol(dbgRepresentante, EmprRepres::CDREPRES);
    if (TColumn* column = dbgRepresentante.Column(col))
      column->ButtonStyle = TColumnButtonStyle::cbsEllipsis;
  }
}

// ---------------------------------------------------------------------------------------------
// Choosing and typing a representative

void TfrmEmpresa::dbgRepresentanteEditButtonClick(TComponent&) {
  if (!IsEditing(cdsRepresentante.State()) ||
      !SameField(dbgRepresentante.SelectedField(), EmprRepres::CDREPRES))
    return;
  LoadPacket(cdsPesqRepres, Consiste::CheckResultServ(rdm.GetPesqRepresentante("", "T")));
  if (!Pesquisa::Pesquisar(dtsPesqRepres,
                           msgPadrao.Msg("REPRESENTANTE") + "|" + msgPadrao.Msg("REPRESENTANTE_N"),
                           false, true))
    return;
  cdsRepresentante.FieldByName(EmprRepres::CDREPRES)
      .SetAsString(cdsPesqRepres.FieldByName(Representante::CDREPRES).AsString());
  cdsRepresentante.FieldByName(EmprRepres::CDEMPRESA).SetAsString(CodigoEmpresa());
  CopiaDoCadastro(cdsRepresentante, cdsPesqRepres);
}

void TfrmEmpresa::dbgRepresentanteColEnter(TComponent&) {
  TField& code = cdsRepresentante.FieldByName(EmprRepres::CDREPRES);
  if (!IsEditing(cdsRepresentante.State()) || Consiste::EmptyString(code.AsString())) return;
  code.SetAsString(Consiste::Ajusta(code.AsString(), 2));
  LoadPacket(cdsPesqRepres,
             Consiste::CheckResultServ(rdm.GetPesqRepresentante(code.AsString(), "")));
  if (cdsPesqRepres.IsEmpty()) FailOn(code, msgPadrao.Msg("REPRES_N"));
  CopiaDoCadastro(cdsRepresentante, cdsPesqRepres);
}

void TfrmEmpresa::dbgRepresentanteKeyPress(TComponent&, char32_t& key) {
  // "Utilizado" is only chosen from the cell's list.
  if (SameField(dbgRepresentante.SelectedField(), EmprRepres::IDATIVO)) key = 0;
}

// ---------------------------------------------------------------------------------------------
// "Utilizado"

void TfrmEmpresa::cdsPesqRepresIDATIVOGetText(TField& sender, std::string& text, bool) {
  const std::string value = sender.AsString();
  if (value == "S")
    text = msgPadrao.Msg("S");
  else if (value == "N")
    text = msgPadrao.Msg("N");
  else
    text.clear();
}

void TfrmEmpresa::cdsRepresentanteIDATIVOSetText(TField& sender, const std::string& text) {
  if (text == msgPadrao.Msg("S"))
    sender.SetAsString("S");
  else if (text == msgPadrao.Msg("N"))
    sender.SetAsString("N");
}

// ---------------------------------------------------------------------------------------------
// Saving and sending

void TfrmEmpresa::cdsRepresentanteBeforePost(TDataSet& dataset) {
  TField& code = dataset.FieldByName(EmprRepres::CDREPRES);
  code.SetAsString(Consiste::Ajusta(code.AsString(), 2));
  if (Consiste::EmptyString(code.AsString())) FailOn(code, msgPadrao.Msg("REPRES_DEV"));
  const std::string company = CodigoEmpresa();
  dataset.FieldByName(EmprRepres::CDEMPRESA).SetAsString(company);
  const std::string repres = code.AsString();

  if (!Sim(Consiste::CheckResultServ(rdm.getVdRepresentante(repres))))
    FailOn(code, msgPadrao.Msg("REPRES_N"));

  // Against the rows as they were when this edit began: an edited row that keeps its code is not
  // its own duplicate.
  if (cdsEspelho.Active() &&
      cdsEspelho.Locate(EmprRepres::CDREPRES, {Value(repres)},
                        LocateOptions{.caseInsensitive = true}) &&
      (dataset.State() == DataSetState::Insert || repres != stCodAntigo))
    FailOn(code, msgPadrao.Msg("REPRES_J"));

  TField& active = dataset.FieldByName(EmprRepres::IDATIVO);
  if (active.AsString() == "S") {
    if (Sim(Consiste::CheckResultServ(rdm.getVdRepresAtivo(repres, company))))
      FailOn(active, msgPadrao.Msg("ATIVO_J"));
  }
}

void TfrmEmpresa::cdsRepresentanteAfterPost(TDataSet&) {
  if (cdsRepresentante.GetChangeCount() > 0) {
    try {
      Consiste::CheckResultServ(rdm.setRepresentante(cdsRepresentante.GetDelta()));
      LoadPacket(cdsRepresentante,
                 Consiste::CheckResultServ(rdm.getRepresentante(CodigoEmpresa(), "")));
      cdsRepresentante.MergeChangeLog();
      // A delete from the grid itself leaves the state as it was; the commands still follow the
      // rows read back (the last one gone disables Alter and Delete).
      if (OnRepresentantes()) Habilita(dtsRepresentante);
    } catch (...) {
      cdsRepresentante.CancelUpdates();
      // The rows kept are the ones last loaded; when the save went through and only the reload
      // failed, they are no longer what the server holds. Read them again, quietly: the first
      // error is the one the user is told.
      try {
        LoadPacket(cdsRepresentante,
                   Consiste::CheckResultServ(rdm.getRepresentante(CodigoEmpresa(), ""), false, 0));
      } catch (const std::exception&) {
      }
      throw;
    }
  }
  stCodAntigo.clear();
}

}  // namespace ger
