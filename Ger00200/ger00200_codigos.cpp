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
#include "core/consiste_text.h"
#include "core/ptbr.h"
#include "routines/routines.h"

namespace ger {

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
  const auto get = [this](const char* name, GetText handler) {
    cdsEmpresa.FieldByName(name).OnGetText = [this, handler](TField& f, std::string& t, bool d) {
      (this->*handler)(f, t, d);
    };
  };
  const auto set = [this](const char* name, SetText handler) {
    cdsEmpresa.FieldByName(name).OnSetText = [this, handler](TField& f, const std::string& t) {
      (this->*handler)(f, t);
    };
  };
  get("MEDATABASE", &TfrmEmpresa::cdsEmpresaMEDATABASEGetText);
  set("MEDATABASE", &TfrmEmpresa::cdsEmpresaMEDATABASESetText);
  get("CDREGIMEAPUR", &TfrmEmpresa::cdsEmpresaCDREGIMEAPURGetText);
  set("CDREGIMEAPUR", &TfrmEmpresa::cdsEmpresaCDREGIMEAPURSetText);
  get("IDNATUOPEREMPR", &TfrmEmpresa::cdsEmpresaIDNATUOPEREMPRGetText);
  set("IDNATUOPEREMPR", &TfrmEmpresa::cdsEmpresaIDNATUOPEREMPRSetText);
  get("IDREGESPTRIBEMP", &TfrmEmpresa::cdsEmpresaIDREGESPTRIBEMPGetText);
  set("IDREGESPTRIBEMP", &TfrmEmpresa::cdsEmpresaIDREGESPTRIBEMPSetText);
  get("IDREGIMEICMSST", &TfrmEmpresa::cdsEmpresaIDREGIMEICMSSTGetText);
  set("IDREGIMEICMSST", &TfrmEmpresa::cdsEmpresaIDREGIMEICMSSTSetText);
  get("IDFORMAPUR", &TfrmEmpresa::cdsEmpresaIDFORMAPURGetText);
  set("IDFORMAPUR", &TfrmEmpresa::cdsEmpresaIDFORMAPURSetText);
  get("IDCUMUPICOEMP", &TfrmEmpresa::cdsEmpresaIDCUMUPICOEMPGetText);
  set("IDCUMUPICOEMP", &TfrmEmpresa::cdsEmpresaIDCUMUPICOEMPSetText);
  get("IDCTBBAIXAEMPR", &TfrmEmpresa::cdsEmpresaIDCTBBAIXAEMPRGetText);
  set("IDCTBBAIXAEMPR", &TfrmEmpresa::cdsEmpresaIDCTBBAIXAEMPRSetText);
  set("IDFORMAPUREMPR", &TfrmEmpresa::cdsEmpresaIDFORMAPUREMPRSetText);
  dbRegime.OnChange = [this](TComponent& s) { dbRegimeChange(s); };

  get("NRINSCESTA", &TfrmEmpresa::cdsEmpresaNRINSCESTAGetText);
  get("DSENDEEMPR", &TfrmEmpresa::cdsEmpresaDSENDEEMPRGetText);
  get("NMBAIREMPR", &TfrmEmpresa::cdsEmpresaNMBAIREMPRGetText);
  get("NRCEPEMPR", &TfrmEmpresa::cdsEmpresaNRCEPEMPRGetText);
  get("NRREGJUNCOM", &TfrmEmpresa::cdsEmpresaNRREGJUNCOMGetText);
  get("NMTITUEMPR", &TfrmEmpresa::cdsEmpresaNMTITUEMPRGetText);
  get("DSARQRECIBO", &TfrmEmpresa::cdsEmpresaDSARQRECIBOGetText);
  get("DSARQRECIREC", &TfrmEmpresa::cdsEmpresaDSARQRECIRECGetText);
  get("DSCMPLOGEMPR", &TfrmEmpresa::cdsEmpresaDSCMPLOGEMPRGetText);
  get("NRTELEFOEMPR", &TfrmEmpresa::cdsEmpresaNRTELEFOEMPRGetText);
  get("DTREGJUNCOM", &TfrmEmpresa::cdsEmpresaDTREGJUNCOMGetText);
  get("VRPEMULEMPR", &TfrmEmpresa::cdsEmpresaVRPEMULEMPRGetText);
  get("VRPEMOREMPR", &TfrmEmpresa::cdsEmpresaVRPEMOREMPRGetText);
  get("NRCAGED", &TfrmEmpresa::cdsEmpresaNRCAGEDGetText);

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
  TField& field = cdsEmpresa.FieldByName("IDCUMUPICOEMP");
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
    const std::string empresa = cdsEmpresa.FieldByName("CDEMPRESA").AsString();
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
  text = Placeholder(cdsEmpresa.FieldByName("NRINSCESTA"));
}
void TfrmEmpresa::cdsEmpresaDSENDEEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("DSENDEEMPR"));
}
void TfrmEmpresa::cdsEmpresaNMBAIREMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("NMBAIREMPR"));
}
void TfrmEmpresa::cdsEmpresaNRCEPEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("NRCEPEMPR"));
}
void TfrmEmpresa::cdsEmpresaNRREGJUNCOMGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("NRREGJUNCOM"));
}
void TfrmEmpresa::cdsEmpresaNMTITUEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("NMTITUEMPR"));
}
void TfrmEmpresa::cdsEmpresaDSARQRECIBOGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("DSARQRECIBO"));
}
void TfrmEmpresa::cdsEmpresaDSARQRECIRECGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("DSARQRECIREC"));
}
void TfrmEmpresa::cdsEmpresaDSCMPLOGEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("DSCMPLOGEMPR"));
}
void TfrmEmpresa::cdsEmpresaNRTELEFOEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("NRTELEFOEMPR"));
}
void TfrmEmpresa::cdsEmpresaDTREGJUNCOMGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("DTREGJUNCOM"));
}
void TfrmEmpresa::cdsEmpresaVRPEMULEMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("VRPEMULEMPR"));
}
void TfrmEmpresa::cdsEmpresaVRPEMOREMPRGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("VRPEMOREMPR"));
}
void TfrmEmpresa::cdsEmpresaNRCAGEDGetText(TField&, std::string& text, bool) {
  text = Placeholder(cdsEmpresa.FieldByName("NRCAGED"));
}

}  // namespace ger
