// Code lookups of the company screen: the four queries over the shared database (country, state,
// municipality, cost centre), the four lists the server fills (accountant, CNAE, FPAS, legal
// nature), their search buttons, and the change handlers of the code boxes.
//
// A search copies the chosen code before its name: writing the code changes the code box, whose
// change handler empties the name, so a name written first would be lost.
#include <initializer_list>
#include <string_view>

#include "Ger00200/ger00200.h"
#include "contract/tables.h"
#include "data/packet.h"

namespace ger {

using record::CentCust;
using record::Cnae;
using record::Contador;
using record::Empresa;
using record::Estado;
using record::Fpas;
using record::Municipio;
using record::Natureza;
using record::Pais;

namespace {

// The statement is kept as its lines, one line break between each.
std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string sql;
  for (std::string_view line : lines) {
    if (!sql.empty()) sql += '\n';
    sql += line;
  }
  return sql;
}

// The same statement for every kind of database; `closingLine` adds the empty last line that
// some of the dialect variants carry.
void DefineQuery(TADOIBQuery& query, const std::string& sql, bool closingLine,
                 const record::Dataset& fields) {
  query.SQL = sql;
  query.SQL_ORACLE = query.SQL_MSSQL = query.SQL_IB = closingLine ? sql + "\n" : sql;
  record::DefineFields(query.Query, fields);
}

// After a search: a browsed company goes into edit, so that the chosen code can be written.
void EditaSeNavegando(TDataSource& source) {
  if (source.State() == DataSetState::Browse) source.DataSet()->Edit();
}

void Limpa(TDataSet& dataset, std::initializer_list<std::string_view> fields) {
  for (std::string_view name : fields) dataset.FieldByName(name).Clear();
}

}  // namespace

void TfrmEmpresa::PreparaPesquisas() {
  DefineQuery(qryPais,
              Lines({"SELECT", "   CDPAIS,", "   NMPAIS", "FROM", "   PAIS", "WHERE",
                     "   (CDPAIS = :P_CDPAIS OR 'T' = :P_TCDPAIS)", "ORDER BY", "   CDPAIS"}),
              false, record::kQryPais);
  DefineQuery(qryEstado,
              Lines({"SELECT SGESTADO, NMESTADO", "FROM ESTADO", "WHERE (CDPAIS   = :P_CDPAIS) AND",
                     "      (SGESTADO = :P_SGESTADO OR :P_TODOS = 'T')", "ORDER BY SGESTADO"}),
              true, record::kQryEstado);
  DefineQuery(qryMunicipio,
              Lines({"SELECT", "   CDMUNICIPIO,", "   NMMUNICIPIO", "FROM", "   MUNICIPIO", "WHERE",
                     "   (CDPAIS      = :P_CDPAIS)   AND", "   (SGESTADO    = :P_SGESTADO) AND",
                     "   (CDMUNICIPIO = :P_CDMUNICIPIO OR 'T' = :P_TCDMUNICIPIO)", "ORDER BY",
                     "   CDMUNICIPIO"}),
              false, record::kQryMunicipio);
  DefineQuery(qryCentCusto,
              Lines({"SELECT", "   CDCENTCUST,", "   NMCENTCUST", "FROM", "   CENTCUST", "WHERE",
                     "   (CDCENTCUST = :P_CDCENTCUST OR :P_TCDCENTCUST = 'T')", "ORDER BY",
                     "   CDCENTCUST"}),
              true, record::kQryCentCusto);

  record::DefineFields(cdsContador, record::kCdsContador);
  record::DefineFields(cdsCNAE, record::kCdsCNAE);
  record::DefineFields(cdsFPAS, record::kCdsFPAS);
  record::DefineFields(cdsNatureza, record::kCdsNatureza);
  for (TADOIBQuery* q : {&qryPais, &qryEstado, &qryMunicipio, &qryCentCusto})
    RegisterDataSet(q->Query);

  auto before = [this](void (TfrmEmpresa::*handler)(TComponent&, bool&)) {
    return [this, handler](TComponent& s, bool& proceed) { (this->*handler)(s, proceed); };
  };
  auto notify = [this](void (TfrmEmpresa::*handler)(TComponent&)) {
    return [this, handler](TComponent& s) { (this->*handler)(s); };
  };
  struct Lookup {
    TBtnPesquisa& button;
    void (TfrmEmpresa::*before)(TComponent&, bool&);
    void (TfrmEmpresa::*after)(TComponent&);
    TDBEdit& code;
    void (TfrmEmpresa::*change)(TComponent&);
  };
  const Lookup lookups[] = {
      {btnPais, &TfrmEmpresa::btpPaisFPGBeforePesq, &TfrmEmpresa::btpPaisFPGAfterPesq, dbeCdPais,
       &TfrmEmpresa::dbeCdPaisFPGChange},
      {btnEstado, &TfrmEmpresa::btpEstadoFPGBeforePesq, &TfrmEmpresa::btpEstadoFPGAfterPesq,
       dbeSgEstado, &TfrmEmpresa::dbeSgEstadoFPGChange},
      {btnMunicipio, &TfrmEmpresa::sbtMunicipiFPGBeforePesq, &TfrmEmpresa::sbtMunicipiFPGAfterPesq,
       dbeCdMunicipio, &TfrmEmpresa::dbeCdMunicipioFPGChange},
      {btpContador, &TfrmEmpresa::btpContadorBeforePesq, &TfrmEmpresa::btpContadorAfterPesq,
       dbeCDCONTADOR2, &TfrmEmpresa::dbeCDCONTADOR2Change},
      {sbtProcuraCentCust, &TfrmEmpresa::sbtProcuraCentCustBeforePesq,
       &TfrmEmpresa::sbtProcuraCentCustAfterPesq, dbeCodCentrCust,
       &TfrmEmpresa::dbeCodCentrCustChange},
      {sbtCNAE, &TfrmEmpresa::sbtCNAEBeforePesq, &TfrmEmpresa::sbtCNAEAfterPesq, dbeCDCNAE,
       &TfrmEmpresa::dbeCDCNAEChange},
      {sbtFPAS, &TfrmEmpresa::sbtFPASBeforePesq, &TfrmEmpresa::sbtFPASAfterPesq, dbeCDFPAS,
       &TfrmEmpresa::dbeCDFPASChange},
      {btpNatureza, &TfrmEmpresa::btpNaturezaBeforePesq, &TfrmEmpresa::btpNaturezaAfterPesq,
       dbeCdNatureza, &TfrmEmpresa::dbeCdNaturezaChange},
  };
  for (const Lookup& l : lookups) {
    l.button.OnBeforePesq = before(l.before);
    l.button.OnAfterPesq = notify(l.after);
    l.code.OnChange = notify(l.change);
  }
  dbeCodCentrCust.OnDblClick = notify(&TfrmEmpresa::dbeCodCentrCustDblClick);
}

void TfrmEmpresa::CarregaLista(TClientDataSet& list, const ServerAnswer& answer) {
  list.SetData(codec::DecodePacket(Consiste::CheckResultServ(answer, true, 0).Text()));
}

// --- Country ----------------------------------------------------------------------------------

void TfrmEmpresa::btpPaisFPGBeforePesq(TComponent&, bool&) {
  qryPais.Close();
  qryPais.ParamByName("P_CDPAIS").SetAsString("");
  qryPais.ParamByName("P_TCDPAIS").SetAsString("T");
  qryPais.Open();
}

void TfrmEmpresa::btpPaisFPGAfterPesq(TComponent&) {
  EditaSeNavegando(dtsPadrao);
  // The name stays empty until the check fills it, when the box is left or on confirm.
  cdsEmpresa.FieldByName(Empresa::CDPAIS).SetAsString(qryPais.FieldByName(Pais::CDPAIS).AsString());
  qryPais.Close();
}

void TfrmEmpresa::dbeCdPaisFPGChange(TComponent&) {
  if (!Editing()) return;
  Limpa(cdsEmpresa, {Empresa::NMPAIS, Empresa::SGESTADO, Empresa::CDMUNICIPIO, Empresa::NMMUNICIPIO,
                     Empresa::CDBAIRRO, Empresa::NMBAIRRO});
}

// --- State ------------------------------------------------------------------------------------

void TfrmEmpresa::btpEstadoFPGBeforePesq(TComponent&, bool&) {
  qryEstado.Close();
  qryEstado.ParamByName("P_CDPAIS").SetAsString(cdsEmpresa.FieldByName(Empresa::CDPAIS).AsString());
  qryEstado.ParamByName("P_SGESTADO").SetAsString("");
  qryEstado.ParamByName("P_TODOS").SetAsString("T");
  qryEstado.Open();
}

void TfrmEmpresa::btpEstadoFPGAfterPesq(TComponent&) {
  EditaSeNavegando(dtsPadrao);
  cdsEmpresa.FieldByName(Empresa::SGESTADO)
      .SetAsString(qryEstado.FieldByName(Estado::SGESTADO).AsString());
  cdsEmpresa.FieldByName(Empresa::NMESTADO)
      .SetAsString(qryEstado.FieldByName(Estado::NMESTADO).AsString());
  qryEstado.Close();
}

void TfrmEmpresa::dbeSgEstadoFPGChange(TComponent&) {
  if (!Editing()) return;
  Limpa(cdsEmpresa, {Empresa::NMESTADO, Empresa::CDMUNICIPIO, Empresa::NMMUNICIPIO,
                     Empresa::CDBAIRRO, Empresa::NMBAIRRO});
}

// --- Municipality -----------------------------------------------------------------------------

void TfrmEmpresa::sbtMunicipiFPGBeforePesq(TComponent&, bool&) {
  qryMunicipio.Close();
  qryMunicipio.ParamByName("P_CDPAIS")
      .SetAsString(cdsEmpresa.FieldByName(Empresa::CDPAIS).AsString());
  qryMunicipio.ParamByName("P_SGESTADO")
      .SetAsString(cdsEmpresa.FieldByName(Empresa::SGESTADO).AsString());
  qryMunicipio.ParamByName("P_CDMUNICIPIO").SetAsString("");
  qryMunicipio.ParamByName("P_TCDMUNICIPIO").SetAsString("T");
  qryMunicipio.Open();
}

void TfrmEmpresa::sbtMunicipiFPGAfterPesq(TComponent&) {
  EditaSeNavegando(dtsPadrao);
  cdsEmpresa.FieldByName(Empresa::CDMUNICIPIO)
      .SetAsString(qryMunicipio.FieldByName(Municipio::CDMUNICIPIO).AsString());
  qryMunicipio.Close();
}

void TfrmEmpresa::dbeCdMunicipioFPGChange(TComponent&) {
  if (!Editing()) return;
  Limpa(cdsEmpresa, {Empresa::NMMUNICIPIO, Empresa::CDBAIRRO, Empresa::NMBAIRRO});
}

// --- Accountant -------------------------------------------------------------------------------

void TfrmEmpresa::btpContadorBeforePesq(TComponent&, bool&) {
  CarregaLista(cdsContador, rdm.GetContador("", "T"));
}

void TfrmEmpresa::btpContadorAfterPesq(TComponent&) {
  EditaSeNavegando(dtsPadrao);
  cdsEmpresa.FieldByName(Empresa::CDCONTADOR2)
      .SetAsString(cdsContador.FieldByName(Contador::CDCONTADOR2).AsString());
  cdsEmpresa.FieldByName(Empresa::NMCONTADOR)
      .SetAsString(cdsContador.FieldByName(Contador::NMCONTADOR).AsString());
}

void TfrmEmpresa::dbeCDCONTADOR2Change(TComponent&) {
  if (Editing()) dbeNMCONTADOR.SetText("");
}

// --- Cost centre ------------------------------------------------------------------------------

void TfrmEmpresa::sbtProcuraCentCustBeforePesq(TComponent&, bool&) {
  qryCentCusto.Close();
  qryCentCusto.ParamByName("P_CDCENTCUST").SetAsString("");
  qryCentCusto.ParamByName("P_TCDCENTCUST").SetAsString("T");
  qryCentCusto.Open();
}

void TfrmEmpresa::sbtProcuraCentCustAfterPesq(TComponent&) {
  EditaSeNavegando(dtsPadrao);
  // Written into the boxes as typing would; they reach the record when the boxes are stored.
  dbeCodCentrCust.SetText(qryCentCusto.FieldByName(CentCust::CDCENTCUST).AsString());
  dbeNMCentCust.SetText(qryCentCusto.FieldByName(CentCust::NMCENTCUST).AsString());
}

void TfrmEmpresa::dbeCodCentrCustChange(TComponent&) {
  if (Editing()) cdsEmpresa.FieldByName(Empresa::NMCENTCUST).Clear();
}

void TfrmEmpresa::dbeCodCentrCustDblClick(TComponent&) {
  sbtProcuraCentCust.Click();
}

// --- CNAE -------------------------------------------------------------------------------------

void TfrmEmpresa::sbtCNAEBeforePesq(TComponent&, bool&) {
  CarregaLista(cdsCNAE, rdm.GetCNAE("", "T"));
}

void TfrmEmpresa::sbtCNAEAfterPesq(TComponent&) {
  EditaSeNavegando(dtsPadrao);
  cdsEmpresa.FieldByName(Empresa::CDCNAE).SetAsString(cdsCNAE.FieldByName(Cnae::CDCNAE).AsString());
  cdsEmpresa.FieldByName(Empresa::DSCNAE).SetAsString(cdsCNAE.FieldByName(Cnae::DSCNAE).AsString());
}

void TfrmEmpresa::dbeCDCNAEChange(TComponent&) {
  if (Editing()) dbeDsCnae.SetText("");
}

// --- FPAS -------------------------------------------------------------------------------------

void TfrmEmpresa::sbtFPASBeforePesq(TComponent&, bool&) {
  CarregaLista(cdsFPAS, rdm.GetFPAS("", "T"));
}

void TfrmEmpresa::sbtFPASAfterPesq(TComponent&) {
  EditaSeNavegando(dtsPadrao);
  dbeCDFPAS.SetText(cdsFPAS.FieldByName(Fpas::CDFPAS).AsString());
  dbeDsFPAS.SetText(cdsFPAS.FieldByName(Fpas::DSFPAS).AsString());
}

void TfrmEmpresa::dbeCDFPASChange(TComponent&) {
  if (Editing()) dbeDsFPAS.SetText("");
}

// --- Legal nature -----------------------------------------------------------------------------

void TfrmEmpresa::btpNaturezaBeforePesq(TComponent&, bool&) {
  CarregaLista(cdsNatureza, rdm.GetNatureza("", "T"));
}

void TfrmEmpresa::btpNaturezaAfterPesq(TComponent&) {
  EditaSeNavegando(dtsPadrao);
  cdsEmpresa.FieldByName(Empresa::CDNATUJURI)
      .SetAsString(cdsNatureza.FieldByName(Natureza::CDNATUJURI).AsString());
  cdsEmpresa.FieldByName(Empresa::DSNATUJURI)
      .SetAsString(cdsNatureza.FieldByName(Natureza::DSNATUJURI).AsString());
}

void TfrmEmpresa::dbeCdNaturezaChange(TComponent&) {
  if (Editing()) dbeDsNatureza.SetText("");
}

}  // namespace ger
