#pragma once
// The host routines the screens call: error display and server-answer checks (Consiste), the
// pick list (Pesquisa), the find dialog (Procurar), the wait animation (Showavi), the host's
// server address, template folder and local table copies (Zembrat) and the active module
// (Geral). They all go through the application object, so the Qt shell and the tests see the
// same behaviour.
#include <string>
#include <string_view>
#include <vector>

#include <boost/json/value.hpp>

#include "core/consiste_text.h"
#include "core/messages.h"
#include "net/netconnection.h"
#include "ui/component.h"
#include "ui/dialogs.h"

namespace ger {

class TDataSet;
class TDataSource;
class TDBGrid;
class TForm;

// A message catalogue as a component of a form; ShowMsg asks with the catalogue's text.
class TMessageComponent : public TComponent, public TMessages {
 public:
  explicit TMessageComponent(TComponent* owner = nullptr, std::string name = {})
      : TComponent(owner, std::move(name)) {}
  static const ComponentClass ClassInfo;
  const ComponentClass& Class() const override;
  // Replaces the entries with "key|text" lines.
  void Load(std::string_view lines) { static_cast<TMessages&>(*this) = TMessages(lines); }
  // Shows the key's text with the dialog type and buttons; the button pressed.
  TModalResult ShowMsg(std::string_view key, TMsgDlgType type, TMsgDlgButtons buttons,
                       int helpContext = 0) const;
};

// The host's standard messages (the component every standard form calls msgMensagensPadroes).
const char* StandardMessages();

namespace Consiste {

// Shows the text as an error; with abort it then raises the silent abort.
void MensErro(const std::string& text, bool abort = true);
// The payload of a server answer. A failed answer: with showError, its message is shown once and
// the silent abort raised; without, EServerError carrying the message is raised. When the
// payload is an array and index is not 0, element index is the payload (out of range: error).
ServerPayload CheckResultServ(const ServerAnswer& answer, bool showError = true, int index = 0);
// Index of the grid column bound to the field (case-insensitive); -1 when there is none.
int IndiceCol(TDBGrid& grid, std::string_view fieldName);

}  // namespace Consiste

namespace Pesquisa {
// The pick list over the data source's dataset. titleAndEmpty is "title|empty-list text". An
// empty dataset shows the empty-list text (when given) and answers false. True when the user
// chose a row, which is then the current row.
bool Pesquisar(TDataSource& source, const std::string& titleAndEmpty, bool multiple = false,
               bool showEmpty = true);
}  // namespace Pesquisa

namespace Procurar {
// The find dialog: moves to the first row whose shown text of any visible field contains the
// text typed (ignoring case and accents). A text found nowhere is reported
// ("Registro não encontrado."); true when a row was found.
bool Procura(TDataSet& dataset);
// The find dialog over what a grid lists: the search columns of the grid (TDBGrid::SearchColumns)
// hold the text (listsearch.h). The search goes from the current row on, in the grid's order,
// over every row of the dataset (a row the grid's filter hides is shown once current) and on
// from the top past the last, saying so ("Fim_Lista"). A text found nowhere is reported
// ("Registro não encontrado.") and the cursor stays. The text is kept in `last` for
// ProcuraProxima; true when a row was found.
bool Procura(TDBGrid& grid, std::string& last);
// The next row after the current one holding `last` (F3); with no text yet, the dialog.
bool ProcuraProxima(TDBGrid& grid, std::string& last);
}  // namespace Procurar

namespace Showavi {
void ActiveShowAvi(TForm* over, int kind);
void DeactiveShowAvi();

// The wait animation for as long as the object lives, however the step ends.
class WaitAnimation {
 public:
  WaitAnimation(TForm* over, int kind) { ActiveShowAvi(over, kind); }
  ~WaitAnimation() { DeactiveShowAvi(); }
  WaitAnimation(const WaitAnimation&) = delete;
  WaitAnimation& operator=(const WaitAnimation&) = delete;
};
}  // namespace Showavi

namespace Zembrat {
std::string WebURL();
int WebPort();
std::string ReportDir();
// Asks the host to refresh its local copy of each named table; every request is counted per
// table (TApplication::CacheRefreshes).
void AtualizaLocalCache(const std::vector<std::string>& tables);
}  // namespace Zembrat

namespace Geral {
std::string ModuloAtiv();
}  // namespace Geral

}  // namespace ger
