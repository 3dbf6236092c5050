// Coded fields of the company record and the placeholder display of its optional texts.
//
// Most coded columns are translated by position: the stored code is looked up in the column's
// code table, and the entry at the same position of the list is what the user sees; the entry
// the user picks is stored as the code at its position. The code tables below are in the
// lists' order, so a list can only ever store a code of its table. The lists are read each time,
// never copied, so a list whose entries are replaced (the months) still shows right.
#include <array>
#include <string_view>

#include "Ger00200/ger00200.h"
#include "contract/tables.h"
#include "core/consiste_text.h"
#include "core/ptbr.h"
#include "routines/routines.h"

namespace ger {

using record::Empresa;

namespace {

// Codes by list position.
constexpr std::array<std::string_view, 5> kRegimeApur = {"1", "2", "3", "8", "9"};
constexpr std::array<std::string_view, 9> kNaturezaOp = {"99", "01", "02", "03", "04",
                                                         "05", "06", "07", "08"};
constexpr std::array<std::string_view, 13> kRegEspTrib = {"99", "01", "02", "03", "04", "05", "06",
                                                          "07", "08", "09", "10", "11", "12"};
constexpr std::array<std::string_view, 3> kRegimeST = {"0", "1", "2"};
constexpr std::array<std::string_view, 5> kFormaApur = {"I", "LPM", "LPT", "LRM", "LRT"};
// "N" is the cumulative regime, "S" the non-cumulative one.
constexpr std::array<std::string_view, 3> kCumulativo = {"T", "N", "S"};

template <std::size_t N>
int PositionOf(const std::array<std::string_view, N>& table, std::string_view code) {
  for (std::size_t i = 0; i < N; ++i)
    if (table[i] == code) return static_cast<int>(i);
  return -1;
}

std::string EntryAt(const TComboBox& list, int position) {
  if (position < 0 || position >= static_cast<int>(list.Items().size())) return {};
  return list.Items()[position];
}

// The entry of the list that shows the stored code; empty for a null, an empty or blank text and
// a code outside the table (the tables' "none" codes show the blank entry, which is empty too).
template <std::size_t N>
std::string ShowCode(const TField& field, const TComboBox& list,
                     const std::array<std::string_view, N>& table) {
  if (field.IsNull()) return {};
  return EntryAt(list, PositionOf(table, field.AsString()));
}

// Stores the code of the entry selected; with no entry selected the column keeps its value.
template <std::size_t N>
void StoreCode(TField& field, const TComboBox& list, const std::array<std::string_view, N>& table) {
  const int position = list.ItemIndex();
  if (position < 0 || position >= static_cast<int>(N)) return;
  field.SetAsString(table[position]);
}

}  // namespace

void TfrmEmpresa::LigaCodigos() {
  using GetText = void (TfrmEmpresa::*)(TField&, std::string&, bool);
  using SetText = void (TfrmEmpresa::*)(TField&, const std::string&);
  const auto get = [this](std::string_view name, GetText handler) {
    cdsEmpresa.FieldByName(name).OnGetText = [this, handler](TField& f, std::string& t, bool d) {
      (this->*handler)(f, t, d);
    };
  };
  const auto set = [this](std::string_view name, SetText handler) {
    cdsEmpresa.FieldByName(name).OnSetText = [this, handler](TField& f, const std::string& t) {
      (this->*handler)(f, t);
    };
  };
  get(Empresa::MEDATABASE, &TfrmEmpresa::cdsEmpresaMEDATABASEGetText);
  set(Empresa::MEDATABASE, &TfrmEmpresa::cdsEmpresaMEDATABASESetText);
  get(Empresa::CDREGIMEAPUR, &TfrmEmpresa::cdsEmpresaCDREGIMEAPURGetText);
  set(Empresa::CDREGIMEAPUR, &TfrmEmpresa::cdsEmpresaCDREGIMEAPURSetText);
  get(Empresa::IDNATUOPEREMPR, &TfrmEmpresa::cdsEmpresaIDNATUOPEREMPRGetText);
  set(Empresa::IDNATUOPEREMPR, &TfrmEmpresa::cdsEmpresaIDNATUOPEREMPRSetText);
  get(Empresa::IDREGESPTRIBEMP, &TfrmEmpresa::cdsEmpresaIDREGESPTRIBEMPGetText);
  set(Empresa::IDREGESPTRIBEMP, &TfrmEmpresa::cdsEmpresaIDREGESPTRIBEMPSetText);
  get(Empresa::IDREGIMEICMSST, &TfrmEmpresa::cdsEmpresaIDREGIMEICMSSTGetText);
  set(Empresa::IDREGIMEICMSST, &TfrmEmpresa::cdsEmpresaIDREGIMEICMSSTSetText);
  get(Empresa::IDFORMAPUR, &TfrmEmpresa::cdsEmpresaIDFORMAPURGetText);
  set(Empresa::IDFORMAPUR, &TfrmEmpresa::cdsEmpresaIDFORMAPURSetText);
  get(Empresa::IDCUMUPICOEMP, &TfrmEmpresa::cdsEmpresaIDCUMUPICOEMPGetText);
  set(Empresa::IDCUMUPICOEMP, &TfrmEmpresa::cdsEmpresaIDCUMUPICOEMPSetText);
  get(Empresa::IDCTBBAIXAEMPR, &TfrmEmpresa::cdsEmpresaIDCTBBAIXAEMPRGetText);
  set(Empresa::IDCTBBAIXAEMPR, &TfrmEmpresa::cdsEmpresaIDCTBBAIXAEMPRSetText);
  set(Empresa::IDFORMAPUREMPR, &TfrmEmpresa::cdsEmpresaIDFORMAPUREMPRSetText);
  dbRegime.OnChange = [this](TComponent& s) { dbRegimeChange(s); };

  get(Empresa::NRINSCESTA, &TfrmEmpresa::cdsEmpresaNRINSCESTAGetText);
  get(Empresa::DSENDEEMPR, &TfrmEmpresa::cdsEmpresaDSENDEEMPRGetText);
  get(Empresa::NMBAIREMPR, &TfrmEmpresa::cdsEmpresaNMBAIREMPRGetText);
  get(Empresa::NRCEPEMPR, &TfrmEmpresa::cdsEmpresaNRCEPEMPRGetText);
  get(Empresa::NRREGJUNCOM, &TfrmEmpresa::cdsEmpresaNRREGJUNCOMGetText);
  get(Empresa::NMTITUEMPR, &TfrmEmpresa::cdsEmpresaNMTITUEMPRGetText);
  get(Empresa::DSARQRECIBO, &TfrmEmpresa::cdsEmpresaDSARQRECIBOGetText);
  get(Empresa::DSARQRECIREC, &TfrmEmpresa::cdsEmpresaDSARQRECIRECGetText);
  get(Empresa::DSCMPLOGEMPR, &TfrmEmpresa::cdsEmpresaDSCMPLOGEMPRGetText);
  get(Empresa::NRTELEFOEMPR, &TfrmEmpresa::cdsEmpresaNRTELEFOEMPRGetText);
  get(Empresa::DTREGJUNCOM, &TfrmEmpresa::cdsEmpresaDTREGJUNCOMGetText);
  get(Empresa::VRPEMULEMPR, &TfrmEmpresa::cdsEmpresaVRPEMULEMPRGetText);
  get(Empresa::VRPEMOREMPR, &TfrmEmpresa::cdsEmpresaVRPEMOREMPRGetText);
  get(Empresa::NRCAGED, &TfrmEmpresa::cdsEmpresaNRCAGEDGetText);

  const auto key = [this](TControl& box, void (TfrmEmpresa::*handler)(TComponent&, char32_t&)) {
    box.OnKeyPress = [this, handler](TComponent& s, char32_t& k) { (this->*handler)(s, k); };
  };
  key(dbeVrTxInfra, &TfrmEmpresa::dbeVrTxInfraKeyPress);
  key(DBEPerMulta, &TfrmEmpresa::DBEPerMultaKeyPress);
  key(DBEPerMora, &TfrmEmpresa::DBEPerMoraKeyPress);
  key(dbeNRPROPRIEMPR, &TfrmEmpresa::dbeNRPROPRIEMPRKeyPress);
  key(dbeNRCAGED, &TfrmEmpresa::dbeNRCAGEDKeyPress);
  key(dbePreGS1, &TfrmEmpresa::dbePreGS1KeyPress);
  key(dbeSgEstado, &TfrmEmpresa::dbeSgEstadoFPGKeyPress);
  key(dbeCGCEmpresa, &TfrmEmpresa::dbeCGCEmpresaKeyPress);
}

// --- Month of the base date: the stored number is the position in the month list plus one ----

void TfrmEmpresa::cdsEmpresaMEDATABASEGetText(TField& sender, std::string& text, bool) {
  text.clear();
  if (sender.IsNull()) return;
  // Only a whole month 1 to 12 has an entry; anything else shows nothing.
  const auto month = ptbr::ParseInteger(sender.AsString());
  if (month) text = EntryAt(dcbMeDataBase, static_cast<int>(*month) - 1);
}

void TfrmEmpresa::cdsEmpresaMEDATABASESetText(TField& sender, const std::string&) {
  const int position = dcbMeDataBase.ItemIndex();
  if (position >= 0) sender.SetAsFloat(position + 1);
}

// --- Tax regime: "1", "2", "3", "8", "9" -----------------------------------------------------

void TfrmEmpresa::cdsEmpresaCDREGIMEAPURGetText(TField& sender, std::string& text, bool) {
  text = ShowCode(sender, dcbRegimeApur, kRegimeApur);
}

void TfrmEmpresa::cdsEmpresaCDREGIMEAPURSetText(TField& sender, const std::string&) {
  // Each entry begins with its code ("8 - Bares e Restaurantes"); the table holds the same.
  StoreCode(sender, dcbRegimeApur, kRegimeApur);
}

// --- Nature of the operation: "99" none, "01" to "08" ----------------------------------------

void TfrmEmpresa::cdsEmpresaIDNATUOPEREMPRGetText(TField& sender, std::string& text, bool) {
  text = ShowCode(sender, cbNaturezaOp, kNaturezaOp);
}

void TfrmEmpresa::cdsEmpresaIDNATUOPEREMPRSetText(TField& sender, const std::string&) {
  StoreCode(sender, cbNaturezaOp, kNaturezaOp);
}

// --- Special taxation regime: "99" none, "01" to "12" ----------------------------------------

void TfrmEmpresa::cdsEmpresaIDREGESPTRIBEMPGetText(TField& sender, std::string& text, bool) {
  text = ShowCode(sender, cbRegEspTrib, kRegEspTrib);
}

void TfrmEmpresa::cdsEmpresaIDREGESPTRIBEMPSetText(TField& sender, const std::string&) {
  StoreCode(sender, cbRegEspTrib, kRegEspTrib);
}

// --- ICMS ST regime: "0" none, "1", "2" -------------------------------------------------------

void TfrmEmpresa::cdsEmpresaIDREGIMEICMSSTGetText(TField& sender, std::string& text, bool) {
  text = ShowCode(sender, cbRegimeST, kRegimeST);
}

void TfrmEmpresa::cdsEmpresaIDREGIMEICMSSTSetText(TField& sender, const std::string&) {
  StoreCode(sender, cbRegimeST, kRegimeST);
}

// --- Form of assessment: "I" none, "LPM", "LPT", "LRM", "LRT" ---------------------------------

void TfrmEmpresa::cdsEmpresaIDFORMAPURGetText(TField& sender, std::string& text, bool) {
  text = ShowCode(sender, cbFormaApur, kFormaApur);
}

void TfrmEmpresa::cdsEmpresaIDFORMAPURSetText(TField& sender, const std::string&) {
  StoreCode(sender, cbFormaApur, kFormaApur);
}

// --- Accounting at settlement: the flag texts, shown through the catalogue's "Sim" and "Não" --

void TfrmEmpresa::cdsEmpresaIDCTBBAIXAEMPRGetText(TField& sender, std::string& text, bool) {
  const std::string code = sender.AsString();
  text = code == "S" ? msgPadrao.Msg("S") : code == "N" ? msgPadrao.Msg("N") : std::string();
}

void TfrmEmpresa::cdsEmpresaIDCTBBAIXAEMPRSetText(TField& sender, const std::string& text) {
  // The blank third entry stores nothing: the column keeps "S" or "N".
  if (text == msgPadrao.Msg("S"))
    sender.SetAsString("S");
  else if (text == msgPadrao.Msg("N"))
    sender.SetAsString("N");
}

// --- Tax by payment date: ticked "P", not ticked empty; "F" is never written ------------------

void TfrmEmpresa::cdsEmpresaIDFORMAPUREMPRSetText(TField& sender, const std::string&) {
  sender.SetAsString(dckFormApurImp.Checked() ? "P" : "");
}

// --- Cumulative regime: "T" none, "N" cumulative, "S" non-cumulative --------------------------

void TfrmEmpresa::cdsEmpresaIDCUMUPICOEMPGetText(TField& sender, std::string& text, bool) {
  text = ShowCode(sender, dbRegime, kCumulativo);
}

void TfrmEmpresa::dbRegimeChange(TComponent&) {
  if (!Editing()) return;
  TField& field = cdsEmpresa.FieldByName(Empresa::IDCUMUPICOEMP);
  stRegimeAnt = field.AsString();
  StoreCode(field, dbRegime, kCumulativo);
}

void TfrmEmpresa::cdsEmpresaIDCUMUPICOEMPSetText(TField& sender, const std::string& text) {
  if (Consiste::EmptyString(text)) return;
  const int position = dbRegime.ItemIndex();
  if (position == 0) {
    sender.SetAsString(kCumulativo[0]);
    return;
  }
  if (position != 1 && position != 2) return;
  const std::string regime(kCumulativo[position]);
  if (Application().Dialogs().MessageDlg(msgPadrao.Msg("FiliRegime"), TMsgDlgType::mtConfirmation,
                                         mbYesNo, 0) == TModalResult::mrYes) {
    sender.SetAsString(regime);
    // The branches change on the server now, whatever becomes of this record afterwards.
    const std::string empresa = cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString();
    Consiste::CheckResultServ(rdm.setRegimeFilial(regime, empresa), true, 0);
    return;
  }
  // Refused: the code held before the change comes back, and the field's refresh moves the list
  // to its entry (without running the change handler again).
  sender.SetAsString(stRegimeAnt);
}

// --- Placeholder display: a stored "*" shows as one blank -------------------------------------

namespace {
std::string Placeholder(const TField& field) {
  const std::string value = field.AsString();
  return value == "*" ? std::string(" ") : value;
}
}  // namespace

void TfrmEmpresa::cdsEmpresaNRINSCESTAGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::NRINSCESTA));
}
void TfrmEmpresa::cdsEmpresaDSENDEEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::DSENDEEMPR));
}
void TfrmEmpresa::cdsEmpresaNMBAIREMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::NMBAIREMPR));
}
void TfrmEmpresa::cdsEmpresaNRCEPEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::NRCEPEMPR));
}
void TfrmEmpresa::cdsEmpresaNRREGJUNCOMGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::NRREGJUNCOM));
}
void TfrmEmpresa::cdsEmpresaNMTITUEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::NMTITUEMPR));
}
void TfrmEmpresa::cdsEmpresaDSARQRECIBOGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::DSARQRECIBO));
}
void TfrmEmpresa::cdsEmpresaDSARQRECIRECGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::DSARQRECIREC));
}
void TfrmEmpresa::cdsEmpresaDSCMPLOGEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::DSCMPLOGEMPR));
}
void TfrmEmpresa::cdsEmpresaNRTELEFOEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::NRTELEFOEMPR));
}
void TfrmEmpresa::cdsEmpresaDTREGJUNCOMGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::DTREGJUNCOM));
}
void TfrmEmpresa::cdsEmpresaVRPEMULEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::VRPEMULEMPR));
}
void TfrmEmpresa::cdsEmpresaVRPEMOREMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::VRPEMOREMPR));
}
void TfrmEmpresa::cdsEmpresaNRCAGEDGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName(Empresa::NRCAGED));
}

}  // namespace ger
