// The company's neighbourhood: a code of the server's register of the municipality, picked by
// code or from the search, or typed by name, which the server then registers. The register is
// kept per municipality; municipality codes repeat from one state to another, so every request
// names the country and the state too.
#include "Ger00200/ger00200.h"
#include "Ger00200/ger00200_guarda.h"
#include "contract/tables.h"
#include "data/packet.h"

namespace ger {

using record::Bairro;
using record::Empresa;

using empresa::Closing;
using empresa::Guarded;

void TfrmEmpresa::PreparaBairro() {
  if (cdsPesqBairro.FieldCount() == 0) record::DefineFields(cdsPesqBairro, record::kCdsPesqBairro);
  dbeCdBairro.OnExit = [this](TComponent& s) { dbeCdBairroExit(s); };
  dbeCdBairro.OnKeyPress = [this](TComponent& s, char32_t& key) { dbeCdBairroKeyPress(s, key); };
  dbeNMBairro.OnExit = [this](TComponent& s) { dbeNMBairroExit(s); };
  dbeNMBairro.OnKeyPress = [this](TComponent& s, char32_t& key) { dbeNMBairroKeyPress(s, key); };
  BtnPesquisa1.OnBeforePesq = [this](TComponent& s, bool& proceed) {
    BtnPesquisa1BeforePesq(s, proceed);
  };
  BtnPesquisa1.OnAfterPesq = [this](TComponent& s) { BtnPesquisa1AfterPesq(s); };
  cdsEmpresa.BeforePost = [this](TDataSet& d) { cdsEmpresaBeforePost(d); };
}

// The callers run it only while the company is edited. An empty code box ends it without a
// message, whatever the flag.
void TfrmEmpresa::Vd_Bairro(bool) {
  const std::string text = dbeCdBairro.Text();
  if (Consiste::EmptyString(text)) return;
  Guarded(
      [&] {
        TField& code = cdsEmpresa.FieldByName(Empresa::CDBAIRRO);
        code.SetAsString(Consiste::Ajusta(text, 10));
        Closing closing(cdsPesqBairro);
        auto field = [this](std::string_view name) {
          return cdsEmpresa.FieldByName(name).AsString();
        };
        CarregaLista(cdsPesqBairro,
                     rdm.GetPesqBairro(field(Empresa::CDPAIS), field(Empresa::SGESTADO),
                                       field(Empresa::CDMUNICIPIO), code.AsString()));
        if (cdsPesqBairro.IsEmpty()) Consiste::MensErro(msgPadrao.Msg("Bairro_cad"), true);
        cdsEmpresa.FieldByName(Empresa::NMBAIRRO)
            .SetAsString(cdsPesqBairro.FieldByName(Bairro::NMBAIRRO).AsString());
      },
      [&] { VoltaAoCampo(tshEndereco, dbeCdBairro); });
}

bool TfrmEmpresa::InsertBairro(TDBEdit& name, TDBEdit& country, TDBEdit& state,
                               TDBEdit& municipality) {
  // As the boxes show them, not as the record holds them.
  const std::string nameText = name.Text(), countryText = country.UnmaskedText(),
                    stateText = state.UnmaskedText(),
                    municipalityText = municipality.UnmaskedText();
  for (const std::string* t : {&nameText, &countryText, &stateText, &municipalityText})
    if (Consiste::EmptyString(*t)) return false;
  const ServerPayload payload = Consiste::CheckResultServ(
      rdm.InsertBairro(countryText, stateText, municipalityText, nameText), true, 0);
  const bool added = payload.Value().is_bool() && payload.Value().get_bool();
  if (added) Zembrat::AtualizaLocalCache({"BAIRRO"});
  return added;
}

std::string TfrmEmpresa::PreencheBairro(TDBEdit& name, TDBEdit& municipality) {
  // No neighbourhood has an empty name: the answer is known without asking.
  if (Consiste::EmptyString(name.Text())) return {};
  const ServerAnswer answer = rdm.GetBairro(municipality.UnmaskedText(), name.Text(),
                                            dbeCdPais.UnmaskedText(), dbeSgEstado.UnmaskedText());
  // A failed call is reported, never taken for a code.
  if (!answer.ok()) Consiste::CheckResultServ(answer, true, 0);
  const boost::json::value& code = answer.payload->Value();
  return code.is_string() ? std::string(code.get_string()) : std::string();
}

void TfrmEmpresa::dbeCdBairroKeyPress(TComponent&, char32_t&) {
  if (Editing()) cdsEmpresa.FieldByName(Empresa::NMBAIRRO).Clear();
}

void TfrmEmpresa::dbeNMBairroKeyPress(TComponent&, char32_t&) {
  // The code box's empty text reaches the record when the box is next stored.
  if (Editing()) dbeCdBairro.SetText("");
}

void TfrmEmpresa::dbeCdBairroExit(TComponent&) {
  if (Editing()) Vd_Bairro(false);
}

void TfrmEmpresa::dbeNMBairroExit(TComponent&) {
  InsertBairro(dbeNMBairro, dbeCdPais, dbeSgEstado, dbeCdMunicipio);
  if (!Editing()) return;
  cdsEmpresa.FieldByName(Empresa::CDBAIRRO)
      .SetAsString(PreencheBairro(dbeNMBairro, dbeCdMunicipio));
  Vd_Bairro(false);
}

void TfrmEmpresa::BtnPesquisa1BeforePesq(TComponent&, bool&) {
  CarregaLista(cdsPesqBairro,
               rdm.GetPesqBairro(dbeCdPais.UnmaskedText(), dbeSgEstado.UnmaskedText(),
                                 dbeCdMunicipio.UnmaskedText(), ""));
}

void TfrmEmpresa::BtnPesquisa1AfterPesq(TComponent&) {
  if (dtsPadrao.State() == DataSetState::Browse) cdsEmpresa.Edit();
  const std::string name = cdsPesqBairro.FieldByName(Bairro::NMBAIRRO).AsString();
  cdsEmpresa.FieldByName(Empresa::CDBAIRRO)
      .SetAsString(cdsPesqBairro.FieldByName(Bairro::CDBAIRRO).AsString());
  cdsEmpresa.FieldByName(Empresa::NMBAIRRO).SetAsString(name);
  if (Geral::ModuloAtiv() == "/") cdsEmpresa.FieldByName(Empresa::NMBAIREMPR).SetAsString(name);
}

}  // namespace ger
