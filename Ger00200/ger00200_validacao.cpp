// Field checks of the company screen, the exit handlers that run them, the checks run when a page
// is left, and the confirm's check sequence.
//
// A check reads its box (not the field), writes the normalised value into the record and looks
// the code up. It fails through Consiste::MensErro, which shows the catalogue's text and raises
// the silent abort; the failure path then brings the box's page forward (with the page-change
// handling) and puts the focus back in the box, and the abort ends whatever was running: the
// exit, the page change or the confirm. What a check wrote before failing stays written.
#include <initializer_list>
#include <string>

#include "Ger00200/ger00200.h"
#include "Ger00200/ger00200_guarda.h"
#include "contract/tables.h"
#include "core/utf8.h"
#include "data/packet.h"

namespace ger {

using record::CentCust;
using record::Empresa;

using empresa::Closing;
using empresa::Guarded;

void TfrmEmpresa::VoltaAoCampo(TTabSheet& page, TControl& box) {
  pgcPadrao.SetActivePage(page);
  pgcPadraoChange(pgcPadrao);
  // A box that cannot take the focus (its page hidden in this module) must not replace the
  // check's own message with a focus error.
  if (box.CanFocus()) box.SetFocus();
}

void TfrmEmpresa::PreparaValidacoes() {
  auto exit = [this](void (TfrmEmpresa::*handler)(TComponent&)) {
    return [this, handler](TComponent& s) { (this->*handler)(s); };
  };
  dbeCdEmpresa.OnExit = exit(&TfrmEmpresa::dbeCdEmpresaExit);
  dbeNmEmpresa.OnExit = exit(&TfrmEmpresa::dbeNmEmpresaExit);
  dbeRazaoSoc.OnExit = exit(&TfrmEmpresa::dbeRazaoSocExit);
  // The complement of the legal name has no check of its own: leaving it checks the legal name.
  dbeCompRazSoc.OnExit = exit(&TfrmEmpresa::dbeRazaoSocExit);
  dbeCdPais.OnExit = exit(&TfrmEmpresa::dbeCdPaisFPGExit);
  dbeSgEstado.OnExit = exit(&TfrmEmpresa::dbeSgEstadoFPGExit);
  dbeCdMunicipio.OnExit = exit(&TfrmEmpresa::dbeCdMunicipioFPGExit);
  dbeCodCentrCust.OnExit = exit(&TfrmEmpresa::dbeCodCentrCustExit);
  dbeCDCONTADOR2.OnExit = exit(&TfrmEmpresa::dbeCDCONTADOR2Exit);
  dbeCDCNAE.OnExit = exit(&TfrmEmpresa::dbeCDCNAEExit);
  dbeCDFPAS.OnExit = exit(&TfrmEmpresa::dbeCDFPASExit);
  dbeCdNatureza.OnExit = exit(&TfrmEmpresa::dbeCdNaturezaExit);
  dbdDataReg.OnExit = exit(&TfrmEmpresa::dbdDataRegExit);
  DBEPerMulta.OnExit = exit(&TfrmEmpresa::DBEPerMultaExit);
  DBEPerMora.OnExit = exit(&TfrmEmpresa::DBEPerMoraExit);
  dbeVrTxInfra.OnExit = exit(&TfrmEmpresa::dbeVrTxInfraExit);
  dbeNRPROPRIEMPR.OnExit = exit(&TfrmEmpresa::dbeNRPROPRIEMPRExit);
  dbeNRCAGED.OnExit = exit(&TfrmEmpresa::dbeNRCAGEDExit);
  dcbMeDataBase.OnExit = exit(&TfrmEmpresa::dcbMeDataBaseExit);
  dbcIdCtbBaixa.OnExit = exit(&TfrmEmpresa::dcbMeDataBaseExit);
}

// ---------------------------------------------------------------------------------------------
// Identification

bool TfrmEmpresa::Vazio(const std::string& text, bool mandatory, const char* key) {
  if (!Consiste::EmptyString(text)) return false;
  if (mandatory) Consiste::MensErro(msgPadrao.Msg(key), true);
  return true;
}

void TfrmEmpresa::Vd_Empresa(bool mandatory) {
  Guarded(
      [&] {
        const std::string text = dbeCdEmpresa.UnmaskedText();
        // A filled code is only tested for being free in the lenient pass: the callers run it
        // while inserting, so an existing company's code is never tested again.
        if (Vazio(text, mandatory, "Empresa_emp") || mandatory) return;
        cdsEmpresa.FieldByName(Empresa::CDEMPRESA).SetAsString(Consiste::Ajusta(text, 2));
        const ServerPayload payload =
            Consiste::CheckResultServ(rdm.GetVerifEmpresa(dbeCdEmpresa.UnmaskedText()), true, 0);
        cdsVerifEmpresa.SetData(codec::DecodePacket(payload.Text()));
        if (!cdsVerifEmpresa.IsEmpty()) Consiste::MensErro(msgPadrao.Msg("Empresa_cad"), true);
      },
      [&] { VoltaAoCampo(tshFormulario, dbeCdEmpresa); });
}

// The name and the legal name are trimmed of the blanks around them.
void TfrmEmpresa::Vd_NMEmpresa(bool mandatory) {
  if (!Editing()) return;
  Guarded(
      [&] {
        const std::string text = dbeNmEmpresa.Text();
        if (!Vazio(text, mandatory, "NmEmp_Inf"))
          cdsEmpresa.FieldByName(Empresa::NMEMPRESA).SetAsString(utf8::Trim(text));
      },
      [&] { VoltaAoCampo(tshFormulario, dbeNmEmpresa); });
}

void TfrmEmpresa::Vd_RazaoSoc(bool mandatory) {
  if (!Editing()) return;
  Guarded(
      [&] {
        const std::string text = dbeRazaoSoc.Text();
        if (!Vazio(text, mandatory, "Raz_Inf"))
          cdsEmpresa.FieldByName(Empresa::NMRAZSOCEMPR).SetAsString(utf8::Trim(text));
      },
      [&] { VoltaAoCampo(tshFormulario, dbeRazaoSoc); });
}

// ---------------------------------------------------------------------------------------------
// Address: read from the shared database. A state is looked for within the record's country,
// a municipality within its country and state.

void TfrmEmpresa::ProcuraNaBase(TADOIBQuery& query, std::initializer_list<Parametro> params,
                                const char* notFoundKey, std::string_view nameField) {
  Closing closing(query);
  query.Close();
  for (const Parametro& p : params) query.ParamByName(p.first).SetAsString(p.second);
  query.Open();
  if (query.IsEmpty()) Consiste::MensErro(msgPadrao.Msg(notFoundKey), true);
  cdsEmpresa.FieldByName(nameField).SetAsString(query.FieldByName(nameField).AsString());
}

void TfrmEmpresa::Vd_Pais(bool mandatory) {
  Guarded(
      [&] {
        const std::string text = dbeCdPais.UnmaskedText();
        if (Vazio(text, mandatory, "Pais_emp")) return;
        TField& code = cdsEmpresa.FieldByName(Empresa::CDPAIS);
        code.SetAsString(Consiste::Ajusta(text, 4));
        ProcuraNaBase(qryPais, {{"P_CDPAIS", code.AsString()}, {"P_TCDPAIS", ""}}, "Pais_cad",
                      Empresa::NMPAIS);
      },
      [&] { VoltaAoCampo(tshEndereco, dbeCdPais); });
}

void TfrmEmpresa::Vd_Estado(bool mandatory) {
  Guarded(
      [&] {
        const std::string text = dbeSgEstado.UnmaskedText();
        if (Vazio(text, mandatory, "Estado_emp")) return;
        ProcuraNaBase(qryEstado,
                      {{"P_CDPAIS", cdsEmpresa.FieldByName(Empresa::CDPAIS).AsString()},
                       {"P_SGESTADO", text},
                       {"P_TODOS", "N"}},
                      "Estado_cad", Empresa::NMESTADO);
      },
      [&] { VoltaAoCampo(tshEndereco, dbeSgEstado); });
}

void TfrmEmpresa::Vd_Municipio(bool mandatory) {
  Guarded(
      [&] {
        const std::string text = dbeCdMunicipio.UnmaskedText();
        if (Vazio(text, mandatory, "Municipio_emp")) return;
        TField& code = cdsEmpresa.FieldByName(Empresa::CDMUNICIPIO);
        code.SetAsString(Consiste::Ajusta(text, 4));
        ProcuraNaBase(qryMunicipio,
                      {{"P_CDPAIS", cdsEmpresa.FieldByName(Empresa::CDPAIS).AsString()},
                       {"P_SGESTADO", cdsEmpresa.FieldByName(Empresa::SGESTADO).AsString()},
                       {"P_CDMUNICIPIO", code.AsString()},
                       {"P_TCDMUNICIPIO", ""}},
                      "Municipio_cad", Empresa::NMMUNICIPIO);
      },
      [&] { VoltaAoCampo(tshEndereco, dbeCdMunicipio); });
}

// ---------------------------------------------------------------------------------------------
// Cost centre: the exit handler is the check; an empty box is always accepted and the query
// keeps its row for the next search.

void TfrmEmpresa::dbeCodCentrCustExit(TComponent&) {
  if (!Editing() || Consiste::EmptyString(dbeCodCentrCust.Text())) return;
  cdsEmpresa.FieldByName(Empresa::CDCENTCUST)
      .SetAsString(Consiste::Ajusta(dbeCodCentrCust.Text(), 4));
  qryCentCusto.Close();
  qryCentCusto.ParamByName("P_CDCENTCUST").SetAsString(dbeCodCentrCust.Text());
  qryCentCusto.ParamByName("P_TCDCENTCUST").SetAsString("");
  qryCentCusto.Open();
  if (qryCentCusto.IsEmpty()) {
    pgcPadrao.SetActivePage(tshDadAdic);
    if (dbeCodCentrCust.CanFocus()) dbeCodCentrCust.SetFocus();
    Consiste::MensErro(msgPadrao.Msg("CCus_N_Cad"), true);
  }
  cdsEmpresa.FieldByName(Empresa::CDCENTCUST)
      .SetAsString(qryCentCusto.FieldByName(CentCust::CDCENTCUST).AsString());
  dbeNMCentCust.SetText(qryCentCusto.FieldByName(CentCust::NMCENTCUST).AsString());
}

// ---------------------------------------------------------------------------------------------
// Lists kept by the server: the code is brought to the width of the list's code field, the
// description is written into the name box (it reaches the record when the record is stored).

void TfrmEmpresa::Vd_Servidor(Lookup lookup, TClientDataSet& list, TDBEdit& box, TDBEdit& nameBox,
                              const char* notFoundKey, TTabSheet& page) {
  if (!Editing()) return;
  Guarded(
      [&] {
        // The empty box is accepted whatever the flag: these codes are never demanded.
        const std::string text = box.UnmaskedText();
        if (Consiste::EmptyString(text)) return;
        TField& listCode = list.Field(0);
        cdsEmpresa.FieldByName(listCode.FieldName())
            .SetAsString(Consiste::Ajusta(text, static_cast<std::size_t>(listCode.Size())));
        Closing closing(list);
        CarregaLista(list, (rdm.*lookup)(box.UnmaskedText(), ""));
        if (list.IsEmpty()) Consiste::MensErro(msgPadrao.Msg(notFoundKey), true);
        nameBox.SetText(list.Field(1).AsString());
      },
      [&] { VoltaAoCampo(page, box); });
}

void TfrmEmpresa::Vd_Contador(bool) {
  Vd_Servidor(&TRdmEmpresa::GetContador, cdsContador, dbeCDCONTADOR2, dbeNMCONTADOR, "Contador_cad",
              tshDadAdic);
}
void TfrmEmpresa::Vd_CNAE(bool) {
  Vd_Servidor(&TRdmEmpresa::GetCNAE, cdsCNAE, dbeCDCNAE, dbeDsCnae, "CNAE_cad",
              tshInformacoesOficiais);
}
void TfrmEmpresa::Vd_FPAS(bool) {
  Vd_Servidor(&TRdmEmpresa::GetFPAS, cdsFPAS, dbeCDFPAS, dbeDsFPAS, "FPAS_cad",
              tshInformacoesOficiais);
}
void TfrmEmpresa::Vd_Natureza(bool) {
  Vd_Servidor(&TRdmEmpresa::GetNatureza, cdsNatureza, dbeCdNatureza, dbeDsNatureza, "Natureza_cad",
              tshInformacoesOficiais);
}

// ---------------------------------------------------------------------------------------------
// Registration date, percentages, Infraero fee

void TfrmEmpresa::Vd_Data(bool) {
  Guarded(
      [&] {
        // The box keeps an impossible date in its text (it commits only valid or empty ones).
        if (dbdDataReg.IsEmpty() || dbdDataReg.IsDateValid()) return;
        Consiste::MensErro("'" + dbdDataReg.Text() + "' " + msgPadrao.Msg("Data_Inv"), true);
      },
      [&] { VoltaAoCampo(tshDadAdic, dbdDataReg); });
}

void TfrmEmpresa::Vd_MulMor(const std::string& which) {
  if (!Editing()) return;
  TDBEdit* box = nullptr;
  std::string_view field;
  const char* negative = nullptr;
  if (which == "MU") {
    box = &DBEPerMulta;
    field = Empresa::VRPEMULEMPR;
    negative = "P_MU_NEGA";
  } else if (which == "MO") {
    box = &DBEPerMora;
    field = Empresa::VRPEMOREMPR;
    negative = "P_MO_NEGA";
  } else {
    return;
  }
  TField& value = cdsEmpresa.FieldByName(field);
  const std::string text = box->Text();
  if (Consiste::EmptyString(text)) {
    value.Clear();
    return;
  }
  value.SetAsString(utf8::Trim(text));  // a text that is no number raises the conversion error
  if (value.AsFloat() >= 0) return;
  // Zero is a valid percentage; no upper bound. The box lies on the financial page, which the
  // confirm may not be showing: a box on a page in the back cannot take the focus.
  if (!box->Showing()) {
    pgcPadrao.SetActivePage(tshFinanceiro);
    pgcPadraoChange(pgcPadrao);
  }
  if (box->CanFocus()) box->SetFocus();
  Consiste::MensErro(msgPadrao.Msg(negative), true);
}

void TfrmEmpresa::Vd_VrTaxaInfra() {
  if (!Editing() || Consiste::EmptyString(dbeVrTxInfra.Text())) return;
  if (cdsEmpresa.FieldByName(Empresa::VRPETXADMPOR).AsFloat() > 0) return;
  if (pgcPadrao.ActivePage() != &tshDadAdic) {
    pgcPadrao.SetActivePage(tshDadAdic);
    pgcPadraoChange(pgcPadrao);
  }
  if (dbeVrTxInfra.CanFocus()) dbeVrTxInfra.SetFocus();
  Consiste::MensErro(msgPadrao.Msg("VrTxInf_inv"), true);
}

// ---------------------------------------------------------------------------------------------
// Optional fields: no caller demands them, so with the flag clear they accept anything.

void TfrmEmpresa::Vd_NrProprietarios(bool mandatory) {
  if (!Editing() || !mandatory || !Consiste::EmptyString(dbeNRPROPRIEMPR.Text())) return;
  Guarded([&] { Consiste::MensErro(msgPadrao.Msg("NrProprietarios_ni"), true); },
          [&] { VoltaAoCampo(tshDadAdic, dbeNRPROPRIEMPR); });
}

// The catalogue has no message for an empty CAGED number: it is never demanded.
void TfrmEmpresa::Vd_NrCaged(bool) {}

void TfrmEmpresa::Vd_EmprCaixa(bool mandatory) {
  if (!Editing() || !mandatory || !Consiste::EmptyString(dbeCdEmprCaixa.Text())) return;
  Guarded([&] { Consiste::MensErro(msgPadrao.Msg("CdEmprCaixa_ni"), true); },
          [&] { VoltaAoCampo(tshInformacoesOficiais, dbeCdEmprCaixa); });
}

void TfrmEmpresa::Vd_MesDataBase(bool mandatory) {
  if (!Editing() || !mandatory || !Consiste::EmptyString(dcbMeDataBase.Text())) return;
  Guarded([&] { Consiste::MensErro(msgPadrao.Msg("DataBase_ni"), true); },
          [&] { VoltaAoCampo(tshDadAdic, dcbMeDataBase); });
}

// ---------------------------------------------------------------------------------------------
// Exit handlers: every one passes the mandatory flag clear.

void TfrmEmpresa::dbeCdEmpresaExit(TComponent&) {
  if (cdsEmpresa.State() == DataSetState::Insert) Vd_Empresa(false);
}
void TfrmEmpresa::dbeNmEmpresaExit(TComponent&) {
  if (Editing()) Vd_NMEmpresa(false);
}
void TfrmEmpresa::dbeRazaoSocExit(TComponent&) {
  if (Editing()) Vd_RazaoSoc(false);
}
void TfrmEmpresa::dbeCdPaisFPGExit(TComponent&) {
  if (Editing()) Vd_Pais(false);
}
void TfrmEmpresa::dbeSgEstadoFPGExit(TComponent&) {
  if (Editing()) Vd_Estado(false);
}
void TfrmEmpresa::dbeCdMunicipioFPGExit(TComponent&) {
  if (Editing()) Vd_Municipio(false);
}
void TfrmEmpresa::dbeCDCONTADOR2Exit(TComponent&) {
  if (Editing()) Vd_Contador(false);
}
void TfrmEmpresa::dbeCDCNAEExit(TComponent&) {
  if (Editing()) Vd_CNAE(false);
}
void TfrmEmpresa::dbeCDFPASExit(TComponent&) {
  if (Editing()) Vd_FPAS(false);
}
void TfrmEmpresa::dbeCdNaturezaExit(TComponent&) {
  if (Editing()) Vd_Natureza(false);
}
void TfrmEmpresa::dbdDataRegExit(TComponent&) {
  Vd_Data(false);
}
void TfrmEmpresa::DBEPerMultaExit(TComponent&) {
  Vd_MulMor("MU");
}
void TfrmEmpresa::DBEPerMoraExit(TComponent&) {
  Vd_MulMor("MO");
}
void TfrmEmpresa::dbeVrTxInfraExit(TComponent&) {
  Vd_VrTaxaInfra();
}
void TfrmEmpresa::dbeNRPROPRIEMPRExit(TComponent&) {
  Vd_NrProprietarios(false);
}
void TfrmEmpresa::dbeNRCAGEDExit(TComponent&) {
  Vd_NrCaged(false);
}
void TfrmEmpresa::dcbMeDataBaseExit(TComponent&) {
  Vd_MesDataBase(false);
}

// ---------------------------------------------------------------------------------------------
// Leaving a page runs the exit checks of its key boxes, as if the user had left each one.

void TfrmEmpresa::ExitChecksFormulario() {
  dbeCdEmpresaExit(dbeCdEmpresa);
  dbeNmEmpresaExit(dbeNmEmpresa);
  dbeRazaoSocExit(dbeRazaoSoc);
  dbeCGCEmpresaExit(dbeCGCEmpresa);
}

void TfrmEmpresa::ExitChecksEndereco() {
  dbeCdPaisFPGExit(dbeCdPais);
  dbeSgEstadoFPGExit(dbeSgEstado);
  dbeCdMunicipioFPGExit(dbeCdMunicipio);
}

void TfrmEmpresa::ExitChecksDadAdic() {
  dbeCodCentrCustExit(dbeCodCentrCust);
}

void TfrmEmpresa::ExitChecksInformacoesOficiais() {
  dbeCDCNAEExit(dbeCDCNAE);
  dbeCDFPASExit(dbeCDFPAS);
  dbeCdNaturezaExit(dbeCdNatureza);
}

// ---------------------------------------------------------------------------------------------
// Confirm: every check in a fixed order, lenient first, then the demanded fields, the logo file,
// the placeholders and the typed neighbourhood. The first failure ends the confirm with its
// field's page in front; what was normalised before it stays in the record.

void TfrmEmpresa::ConfirmChecks() {
  Vd_Data(false);
  if (cdsEmpresa.State() == DataSetState::Insert) Vd_Empresa(false);
  Vd_NMEmpresa(false);
  Vd_RazaoSoc(false);
  Vd_Inscricao(false);
  Vd_Pais(false);
  Vd_Estado(false);
  Vd_Municipio(false);
  Vd_Bairro(false);
  Vd_NrProprietarios(false);
  Vd_Contador(false);
  dbeCodCentrCustExit(dbeCodCentrCust);
  Vd_MesDataBase(false);
  Vd_MulMor("MU");
  Vd_MulMor("MO");
  Vd_CNAE(false);
  Vd_FPAS(false);
  Vd_Natureza(false);
  Vd_NrCaged(false);
  Vd_EmprCaixa(false);

  // A fine without interest, or interest without a fine, gets 0 for the other.
  TField& fine = cdsEmpresa.FieldByName(Empresa::VRPEMULEMPR);
  TField& interest = cdsEmpresa.FieldByName(Empresa::VRPEMOREMPR);
  if (fine.IsNull() && !interest.IsNull()) fine.SetAsFloat(0);
  if (!fine.IsNull() && interest.IsNull()) interest.SetAsFloat(0);
  cdsEmpresa.FieldByName(Empresa::IDFORMAPUREMPR).SetAsString(dckFormApurImp.Checked() ? "P" : "");

  Vd_Empresa(true);
  Vd_NMEmpresa(true);
  Vd_RazaoSoc(true);
  Vd_Inscricao(true);
  Vd_Pais(true);
  Vd_Estado(true);
  Vd_Municipio(true);
  Vd_Bairro(true);
  // The state registration by its state's rules, once the state is known to exist.
  Vd_InscEstadual();

  Vd_NrProprietarios(false);
  Vd_Contador(false);
  Vd_MesDataBase(false);
  Vd_CNAE(false);
  Vd_FPAS(false);
  Vd_Natureza(false);

  Carrega_Imagem();

  // An optional text left empty is stored as the placeholder, which the screen shows blank.
  const std::pair<std::string_view, TDBEdit*> placeholders[] = {
      {Empresa::NRINSCESTA, &dbeInscEstaEmpr}, {Empresa::NRCEPEMPR, &dbeCdCep},
      {Empresa::DSENDEEMPR, &dbeDSENDEEMPR},   {Empresa::NRREGJUNCOM, &dbeDsJuntCome},
      {Empresa::NMTITUEMPR, &dbeNmTitular},    {Empresa::DSARQRECIBO, &dbeModelo},
      {Empresa::DSARQRECIREC, &dbeReciRec},    {Empresa::NMBAIREMPR, &dbeNmBairEmpr}};
  for (const auto& [field, box] : placeholders)
    if (Consiste::EmptyString(box->Text())) cdsEmpresa.FieldByName(field).SetAsString("*");

  InsertBairro(dbeNMBairro, dbeCdPais, dbeSgEstado, dbeCdMunicipio);
  cdsEmpresa.FieldByName(Empresa::CDBAIRRO)
      .SetAsString(PreencheBairro(dbeNMBairro, dbeCdMunicipio));
  Vd_Bairro(false);
  if (Consiste::EmptyString(dbeNmBairEmpr.Text()))
    cdsEmpresa.FieldByName(Empresa::NMBAIREMPR).SetAsString("*");
}

}  // namespace ger
