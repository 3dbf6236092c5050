// The state registration checked by the rules of the company's state. Only what this edit
// changed is checked, the registration or the state: a company stored long ago whose
// registration no longer passes can still be saved for its other changes, and the status bar
// tells that its registration is invalid. With no state yet the check waits for one.
#include "Ger00200/ger00200.h"
#include "Ger00200/ger00200_guarda.h"
#include "contract/tables.h"
#include "core/inscricao_estadual.h"
#include "core/utf8.h"

namespace ger {

using empresa::Guarded;
using record::Empresa;

namespace {

// A stored text as the box shows it: the placeholder "*" is an empty registration.
std::string Gravado(const Value& value) {
  const auto* text = std::get_if<std::string>(&value);
  if (!text) return {};
  const std::string_view t = utf8::Trim(*text);
  return t == "*" ? std::string() : std::string(t);
}

std::string Sigla(std::string_view text) {
  std::string uf(utf8::Trim(text));
  for (char& c : uf)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return uf;
}

}  // namespace

void TfrmEmpresa::PreparaInscEstadual() {
  dbeInscEstaEmpr.OnExit = [this](TComponent& s) { dbeInscEstaEmprExit(s); };
  pnlStatus.SetBounds(0, 572, 800, 24);
  pnlStatus.BevelOuter = TBevelCut::bvLowered;
}

void TfrmEmpresa::dbeInscEstaEmprExit(TComponent&) {
  if (Editing()) Vd_InscEstadual();
}

void TfrmEmpresa::Vd_InscEstadual() {
  if (!Editing()) return;
  Guarded(
      [&] {
        const std::string ie(utf8::Trim(dbeInscEstaEmpr.Text()));
        const std::string uf = Sigla(dbeSgEstado.UnmaskedText());
        if (ie.empty() || ie == "*" || uf.empty() || Consiste::InscEstadualIsenta(ie)) return;
        const bool changed =
            ie != Gravado(cdsEmpresa.FieldByName(Empresa::NRINSCESTA).OldValue()) ||
            uf != Sigla(Gravado(cdsEmpresa.FieldByName(Empresa::SGESTADO).OldValue()));
        if (changed && Consiste::ConfereInscEstadual(ie, uf) == Consiste::InscEstadual::Invalida)
          Consiste::MensErro(msgPadrao.Msg("InscEsta_inv", {uf}), true);
      },
      [&] { VoltaAoCampo(tshFormulario, dbeInscEstaEmpr); });
}

void TfrmEmpresa::MostraSituacaoInscEstadual() {
  std::string notice;
  if (cdsEmpresa.Active() && !cdsEmpresa.IsEmpty() && cdsEmpresa.State() != DataSetState::Insert) {
    const std::string ie = Gravado(cdsEmpresa.FieldByName(Empresa::NRINSCESTA).GetValue());
    const std::string uf = Sigla(cdsEmpresa.FieldByName(Empresa::SGESTADO).AsString());
    if (!ie.empty() && !uf.empty() &&
        Consiste::ConfereInscEstadual(ie, uf) == Consiste::InscEstadual::Invalida)
      notice = msgPadrao.Msg("InscEsta_inv", {uf});
  }
  // The live list's notice of the company altered here and changed elsewhere comes first.
  pnlStatus.SetCaption(avisoOutroPosto_.empty() ? notice : avisoOutroPosto_);
}

}  // namespace ger
