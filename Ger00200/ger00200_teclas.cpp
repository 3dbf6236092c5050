// Key filters of the company screen's number and code boxes. They run before the field's own
// character test and the edit mask; a filter drops a character by making it 0.
#include <string>

#include "Ger00200/ger00200.h"
#include "contract/tables.h"
#include "core/consiste_text.h"
#include "core/utf8.h"

namespace ger {

using record::Empresa;

namespace {
bool IsDigit(char32_t key) {
  return key >= U'0' && key <= U'9';
}
}  // namespace

// A comma only into a box that has digits and no comma yet. The whole text counts, not the
// selection: a selected comma about to be overwritten still refuses a new one.
void TfrmEmpresa::Vd_virgula(TCustomEdit& box, char32_t& key) {
  if (key != U',') return;
  const std::string text = box.Text();
  if (text.empty() || text.find(',') != std::string::npos) key = 0;
}

void TfrmEmpresa::Vd_Numero(char32_t key) {
  if (!IsDigit(key)) Abort();
}

void TfrmEmpresa::dbeVrTxInfraKeyPress(TComponent&, char32_t& key) {
  constexpr char32_t kCtrlX = 24;
  if (key == kCtrlX || key == U'+' || key == U'-' || key == U'.' || key == U'/') key = 0;
  Vd_virgula(dbeVrTxInfra, key);
}

namespace {
// At most three digits before and three after the decimal comma.
void LimitaDigitos(TCustomEdit& box, char32_t& key) {
  if (key == 0) return;
  std::string ch = utf8::Encode(std::u32string(1, key));
  Consiste::MaxNumber(box.Text(), 3, 3, ch, static_cast<std::size_t>(box.SelStart()),
                      static_cast<std::size_t>(box.SelLength()));
  if (ch.empty()) key = 0;
}
}  // namespace

void TfrmEmpresa::DBEPerMultaKeyPress(TComponent&, char32_t& key) {
  LimitaDigitos(DBEPerMulta, key);
  Vd_virgula(DBEPerMulta, key);
}

void TfrmEmpresa::DBEPerMoraKeyPress(TComponent&, char32_t& key) {
  LimitaDigitos(DBEPerMora, key);
  Vd_virgula(DBEPerMora, key);
}

void TfrmEmpresa::dbeNRPROPRIEMPRKeyPress(TComponent&, char32_t& key) {
  if (!IsDigit(key) && key != U'\b' && key != U'\t' && key != U'\r') key = 0;
}

void TfrmEmpresa::dbeNRCAGEDKeyPress(TComponent&, char32_t& key) {
  if (!IsDigit(key) && key != U'\b' && key != U'\t' && key != U'\r') key = 0;
}

// Prefixes may be listed with commas between them ("789,790").
void TfrmEmpresa::dbePreGS1KeyPress(TComponent&, char32_t& key) {
  if (!IsDigit(key) && key != U'\b' && key != U',') key = 0;
}

void TfrmEmpresa::dbeSgEstadoFPGKeyPress(TComponent&, char32_t& key) {
  key = utf8::ToUpper(key);
}

// An alphanumeric CNPJ holds capitals in its first twelve positions, so letters are taken while
// the number may still be one: the box's mask is that of a CNPJ or of a kind not yet known (the
// mask, not the stored kind, since entering the box again opens it to any kind). A small letter
// is entered as its capital; every other non-digit still ends the key event.
void TfrmEmpresa::dbeCGCEmpresaKeyPress(TComponent&, char32_t& key) {
  const bool small = key >= U'a' && key <= U'z';
  if (small || (key >= U'A' && key <= U'Z')) {
    const std::string& mask = cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR).EditMask();
    if (mask == Consiste::PictPess("J") || mask == Consiste::PictPess("I")) {
      if (small) key = key - U'a' + U'A';
      return;
    }
  }
  Vd_Numero(key);
}

}  // namespace ger
