// Another user and this seat on one company: the delete held against the row this seat shows,
// and what the screen does when the server refuses a change because the company was changed or
// deleted meanwhile.
#include <algorithm>
#include <functional>
#include <iterator>

#include "Ger00200/ger00200.h"
#include "contract/tables.h"
#include "core/scoped_flag.h"
#include "core/utf8.h"
#include "routines/routines.h"

namespace ger {

using record::Empresa;

namespace {

// Columns without a box of their own, and the column whose box the user knows them by.
constexpr std::pair<std::string_view, std::string_view> kShownBy[] = {
    {Empresa::DSARQLOGOEMPCLOB, Empresa::DSARQLOGOEMP},
    {Empresa::DSLOGRADEMPR, Empresa::DSENDEEMPR},
    {Empresa::NRLOGRADEMPR, Empresa::DSENDEEMPR},
    {Empresa::DSCMPLOGEMPR, Empresa::DSENDEEMPR},
    {Empresa::IDTPIJUREMPR, Empresa::NRINSJUREMPR},
    {Empresa::NMPAIS, Empresa::CDPAIS},
    {Empresa::NMESTADO, Empresa::SGESTADO},
    {Empresa::NMMUNICIPIO, Empresa::CDMUNICIPIO},
    {Empresa::NMCENTCUST, Empresa::CDCENTCUST},
    {Empresa::DSCNAE, Empresa::CDCNAE},
    {Empresa::DSFPAS, Empresa::CDFPAS},
    {Empresa::DSNATUJURI, Empresa::CDNATUJURI},
    {Empresa::NMCONTADOR, Empresa::CDCONTADOR2},
    {Empresa::NMBAIREMPR, Empresa::NMBAIRRO},
};

// A caption as a name in a sentence: without the accelerator's "&", the blanks around it and a
// closing colon.
std::string Plain(std::string caption) {
  caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
  std::string out(utf8::Trim(caption));
  while (!out.empty() && out.back() == ':') out.pop_back();
  return std::string(utf8::Trim(out));
}

// Visits every component below `root`, depth first.
void EachComponent(const TComponent& root, const std::function<void(TComponent&)>& visit) {
  for (TComponent* c : root.Components()) {
    visit(*c);
    EachComponent(*c, visit);
  }
}

// An empty text is what a cleared box holds: the same as null, as the server compares them.
bool SameValue(const Value& a, const Value& b) {
  auto empty = [](const Value& v) {
    if (IsNull(v)) return true;
    if (const auto* s = std::get_if<std::string>(&v)) return s->empty();
    if (const auto* bytes = std::get_if<Bytes>(&v)) return bytes->data.empty();
    return false;
  };
  if (empty(a) || empty(b)) return empty(a) && empty(b);
  return a == b;
}

}  // namespace

ChangeSet TfrmEmpresa::ExclusaoRetida() const {
  ChangeSet held;
  held.fields = cdsEmpresa.FieldDefs();
  Change del;
  del.kind = ChangeKind::Delete;
  for (int i = 0; i < cdsEmpresa.FieldCount(); ++i)
    del.oldValues.push_back(cdsEmpresa.Field(i).GetValue());
  held.changes.push_back(std::move(del));
  return held;
}

std::string TfrmEmpresa::NomeDoCampo(const std::string& field) {
  std::string column = field;
  for (const auto& [of, by] : kShownBy)
    if (utf8::SameText(of, field)) column = std::string(by);
  // The box bound to the column, and the caption the user reads it by.
  const TControl* box = nullptr;
  std::string caption;
  EachComponent(*this, [&](TComponent& c) {
    if (box) return;
    if (auto* label = dynamic_cast<TLabel*>(&c); label && label->FocusControl) {
      const auto* bound = dynamic_cast<const DataBinding*>(label->FocusControl);
      if (bound && bound->DataSource() == &dtsPadrao &&
          utf8::SameText(bound->DataField(), column) && !Plain(label->Caption()).empty()) {
        box = label->FocusControl;
        caption = Plain(label->Caption());
      }
    } else if (dynamic_cast<TCheckBox*>(&c) || dynamic_cast<TRadioGroup*>(&c)) {
      const auto* bound = dynamic_cast<const DataBinding*>(&c);
      if (bound && bound->DataSource() == &dtsPadrao &&
          utf8::SameText(bound->DataField(), column)) {
        box = dynamic_cast<const TControl*>(&c);
        caption = Plain(box->Caption());
      }
    }
  });
  if (!box) {
    const TField* f = cdsEmpresa.FindField(column);
    if (f && f->DisplayLabel() != f->FieldName()) return f->DisplayLabel();
    return msgPadrao.Msg("Outros_Dados");
  }
  for (const TControl* p = box->Parent(); p; p = p->Parent())
    if (dynamic_cast<const TTabSheet*>(p)) return caption + " (" + Plain(p->Caption()) + ")";
  return caption;
}

std::vector<std::string> TfrmEmpresa::CamposAlterados(const std::vector<FieldDef>& fields,
                                                      const Row& held) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < fields.size() && i < held.size(); ++i) {
    const TField* f = cdsEmpresa.FindField(fields[i].name);
    if (!f || SameValue(f->GetValue(), held[i])) continue;
    std::string name = NomeDoCampo(f->FieldName());
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

void TfrmEmpresa::RecusaDoServidor(const std::string& serverMessage,
                                   const std::vector<FieldDef>& fields, const Row& held,
                                   int recNo) {
  std::string key;
  for (std::size_t i = 0; i < fields.size() && i < held.size(); ++i)
    if (utf8::SameText(fields[i].name, Empresa::CDEMPRESA))
      if (const auto* s = std::get_if<std::string>(&held[i])) key = *s;
  std::string text = serverMessage;
  try {
    ScopedFlag quiet(carregandoImagem_);
    // The server found the row changed where this seat's change number did not (a change written
    // around the server): the whole list is read again, not only the numbered changes.
    ForgetChangeNumber();
    LoadEmpresas(false);
    if (cdsEmpresa.Locate(Empresa::CDEMPRESA, {Value(key)})) {
      const std::vector<std::string> names = CamposAlterados(fields, held);
      if (!names.empty()) {
        std::string list;
        for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
        text += "\n" + msgPadrao.Msg("Alt_Outro") + " " + list + ".";
      }
    } else {
      // Gone: the list no longer holds it, and the row that took its place is current.
      text = msgPadrao.Msg("Emp_Excluida");
      if (!cdsEmpresa.IsEmpty())
        cdsEmpresa.SetRecNo(std::clamp(recNo, 1, cdsEmpresa.RecordCount()));
    }
  } catch (const Exception&) {
    // The list could not be read again: the server's own sentence is the one to report.
  }
  if (cdsEmpresa.Active() && cdsEmpresa.IsEmpty()) {
    TravaListaVazia();
    cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR).SetEditMask(Consiste::PictPess("I"));
  } else {
    HabilitaPorLista();
  }
  Consiste::MensErro(text, false);
  Carrega_Imagem();
  Abort();
}

}  // namespace ger
