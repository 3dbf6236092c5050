// The legal registration of a company (CNPJ or another registration) and its state
// registration. The legal registration is typed only while a company is included: its person
// type and the number to store come from the host (Consiste::Ajusta_Inscricao, which also
// refuses wrong check digits), its mask from the person type, and the server says whether
// another company has it already.
#include "Ger00200/ger00200.h"
#include "Ger00200/ger00200_guarda.h"
#include "contract/tables.h"
#include "core/utf8.h"
#include "data/packet.h"

namespace ger {

using record::Empresa;

using empresa::Guarded;

void TfrmEmpresa::PreparaInscricao() {
  dbeCGCEmpresa.PopupMenu = &pmnNColar;
  dbeCGCEmpresa.OnEnter = [this](TComponent& s) { dbeCGCEmpresaEnter(s); };
  dbeCGCEmpresa.OnChange = [this](TComponent& s) { dbeCGCEmpresaChange(s); };
  dbeCGCEmpresa.OnExit = [this](TComponent& s) { dbeCGCEmpresaExit(s); };
  cboTipo.OnChange = [this](TComponent& s) { cboTipoChange(s); };
  cboTipo.OnKeyPress = [this](TComponent& s, char32_t& key) { cboTipoKeyPress(s, key); };
  dbeInscEstaEmpr.OnKeyPress = [this](TComponent& s, char32_t& key) {
    dbeInscEstaEmprKeyPress(s, key);
  };
}

void TfrmEmpresa::dbeCGCEmpresaEnter(TComponent&) {
  if (cdsEmpresa.State() != DataSetState::Insert) return;
  TField& number = cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR);
  number.SetEditMask(Consiste::PictPess("I"));
  number.SetAsString(utf8::Trim(number.AsString()));
  // Typing replaces what the box holds.
  dbeCGCEmpresa.SelectAll();
}

void TfrmEmpresa::dbeCGCEmpresaChange(TComponent&) {
  if (cdsEmpresa.State() != DataSetState::Insert) return;
  TField& number = cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR);
  number.SetAsString(dbeCGCEmpresa.UnmaskedText());
  if (!number.AsString().empty()) return;
  cdsEmpresa.FieldByName(Empresa::IDTPIJUREMPR).Clear();
  number.SetEditMask(Consiste::PictPess("I"));
}

void TfrmEmpresa::dbeCGCEmpresaExit(TComponent&) {
  Vd_Inscricao(false);
}

void TfrmEmpresa::Vd_Inscricao(bool mandatory) {
  const std::string text = dbeCGCEmpresa.UnmaskedText();
  if (cdsEmpresa.State() != DataSetState::Insert) return;
  Guarded(
      [&] {
        if (Vazio(text, mandatory, "IncJur_Emp") || mandatory) return;
        // What was typed in the names reaches the record before the registration fields change.
        cdsEmpresa.FieldByName(Empresa::NMEMPRESA).SetAsString(dbeNmEmpresa.Text());
        cdsEmpresa.FieldByName(Empresa::NMRAZSOCEMPR).SetAsString(dbeRazaoSoc.Text());
        std::string work = "C" + text;
        const char type = Consiste::Ajusta_Inscricao(work);
        TField& personType = cdsEmpresa.FieldByName(Empresa::IDTPIJUREMPR);
        personType.SetAsString(std::string(1, type));
        TField& number = cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR);
        if (pgcPadrao.ActivePage() == &tshFormulario)
          number.SetEditMask(Consiste::PictPess(personType.AsString()));
        number.SetAsString(work);
        const ServerPayload payload = Consiste::CheckResultServ(
            rdm.GetVerifInsc(personType.AsString(), dbeCGCEmpresa.UnmaskedText()), true, 0);
        cdsVerifInsc.SetData(codec::DecodePacket(payload.Text()));
        if (cdsVerifInsc.IsEmpty()) return;
        number.SetEditMask(Consiste::PictPess("I"));
        Consiste::MensErro(msgPadrao.Msg("Insc_cad"), true);
      },
      [&] { VoltaAoCampo(tshFormulario, dbeCGCEmpresa); });
}

void TfrmEmpresa::cboTipoChange(TComponent&) {
  // The entry itself is not read: the person type comes from the number. Only a company being
  // included shows the selector.
  if (!Editing()) return;
  dbeCGCEmpresa.SetText("");
  cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR).Clear();
}

void TfrmEmpresa::cboTipoKeyPress(TComponent&, char32_t& key) {
  // The entry is chosen from the list only.
  key = 0;
}

void TfrmEmpresa::dbeInscEstaEmprKeyPress(TComponent&, char32_t& key) {
  if (key >= U'a' && key <= U'z') key = key - U'a' + U'A';
}

}  // namespace ger
