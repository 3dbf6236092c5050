#include "ui/help.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/messages.h"
#include "core/utf8.h"
#include "report/messages.h"
#include "ui/dbctrls.h"
#include "ui/forms.h"
#include "ui/picture.h"

namespace ger::help {
namespace {

// A catalogue text split at its "%1" to "%9": the pieces a message built from it keeps.
std::vector<std::string_view> Pieces(std::string_view pattern) {
  std::vector<std::string_view> pieces;
  std::size_t from = 0;
  for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
    if (pattern[i] != '%' || pattern[i + 1] < '1' || pattern[i + 1] > '9') continue;
    pieces.push_back(pattern.substr(from, i - from));
    from = i + 2;
    ++i;
  }
  pieces.push_back(pattern.substr(from));
  return pieces;
}

// How well a message shows a catalogue text: 0 when it does not; more when more of the
// catalogue's own words are in it, most when nothing was added around it.
std::size_t Score(std::string_view pattern, std::string_view text) {
  const std::vector<std::string_view> pieces = Pieces(pattern);
  std::size_t at = 0, letters = 0;
  std::size_t first = std::string_view::npos, end = 0;
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;
    const std::size_t found = text.find(piece, at);
    if (found == std::string_view::npos) return 0;
    if (first == std::string_view::npos) first = found;
    at = end = found + piece.size();
    letters += piece.size();
  }
  // A short text such as a caption turns up inside many messages: it is no sign of its own.
  if (letters < 8) return 0;
  const bool whole = (pieces.front().empty() || first == 0) &&
                     (pieces.back().empty() || end == text.size()) &&
                     (pieces.size() > 1 || letters == text.size());
  return whole ? letters + text.size() + 1 : letters;
}

struct State {
  Viewer viewer;
  std::vector<std::pair<std::string, std::string>> requests;
  std::vector<const TMessages*> catalogues;
};

State& Help() {
  static State state;
  return state;
}

struct Match {
  std::string key;
  std::size_t score = 0;
};

void Consider(const TMessages& catalogue, std::string_view text, Match& best) {
  for (const std::string& key : catalogue.Keys()) {
    if (IsCaption(key)) continue;
    const std::size_t score = Score(catalogue.Msg(key), text);
    if (score > best.score) best = {key, score};
  }
}

}  // namespace

bool IsGuide(std::string_view file) {
  return file.empty() || utf8::SameText(file, "Gerhelp.hlp");
}

std::string ScreenTopic(int context) {
  return context ? "tela-" + std::to_string(context) : std::string(kStartTopic);
}

std::string BoxTopic(const TControl& control) {
  const auto* bound = dynamic_cast<const DataBinding*>(&control);
  if (!bound || bound->DataField().empty() || control.Name().empty()) return {};
  return "campo-" + control.Name();
}

std::string FocusTopic(const TForm& form, const TControl* focused) {
  if (form.HelpContext && focused)
    if (std::string box = BoxTopic(*focused); !box.empty()) return box;
  if (form.HelpContext || form.Name().empty()) return ScreenTopic(form.HelpContext);
  // A form without a help context of its own (the notes, the report's preview) by its name.
  return "tela-" + form.Name();
}

std::string MessageTopic(std::string_view key) {
  return "msg-" + std::string(key);
}

bool IsCaption(std::string_view key) {
  static constexpr std::array<std::string_view, 48> kCaptions = {
      // The company screen's: labels, list titles, Sim/Não and the joins of longer messages.
      "Municipio", "CentCust", "CGC", "InscJur", "Qualif", "REPRESENTANTE", "S", "N",
      "Outros_Dados",
      // A list's count beside its filter box.
      "Lista_Contagem", "Lista_Total",
      // The report's: page texts, progress captions, the file filter and the reasons that
      // complete "Rel_Gravar".
      "Rel_Pagina", "Rel_Emissao", "Rel_Vazio", "Rel_Total", "Rel_Gerando", "Rel_Gravando",
      "Rel_Filtro", "Rel_Visualizacao", "Err_Permissao", "Err_Pasta", "Err_NaoPasta", "Err_EhPasta",
      "Err_Espaco", "Err_SomenteLeitura", "Err_NomeLongo", "Err_Sistema",
      // The help window's own captions.
      "Ajuda_Titulo", "Ajuda_NaoAchou", "Ajuda_Menu", "Ajuda_Tela", "Ajuda_Guia", "Ajuda_Voltar",
      "Ajuda_Avancar", "Ajuda_Inicio", "Ajuda_Procurar", "Ajuda_Fechar",
      // The history window's title, menu item, filters, columns and field texts.
      "Hist_Titulo", "Hist_Menu", "Hist_Todos", "Hist_Campo", "Hist_Pessoa", "Hist_Estacao",
      "Hist_DataHora", "Hist_Antes", "Hist_Depois", "Hist_Exclusao", "Hist_Repres"};
  return std::find(kCaptions.begin(), kCaptions.end(), key) != kCaptions.end();
}

std::string MessageKeyIn(const TMessages& catalogue, std::string_view text) {
  Match best;
  Consider(catalogue, text, best);
  return best.key;
}

std::string MessageKey(std::string_view text) {
  Match best;
  for (TForm* form : Application().Forms())
    for (TComponent* component : form->Components())
      if (const auto* catalogue = dynamic_cast<const TMessages*>(component))
        Consider(*catalogue, text, best);
  Consider(report::ReportMessages(), text, best);
  Consider(PictureMessages(), text, best);
  for (const TMessages* catalogue : Help().catalogues) Consider(*catalogue, text, best);
  return best.key;
}

void AddCatalogue(const TMessages& catalogue) {
  auto& all = Help().catalogues;
  if (std::find(all.begin(), all.end(), &catalogue) == all.end()) all.push_back(&catalogue);
}

void SetViewer(Viewer viewer) {
  Help().viewer = std::move(viewer);
}

void Show(const std::string& file, const std::string& topic) {
  if (Help().viewer)
    Help().viewer(file, topic);
  else
    Help().requests.emplace_back(file, topic);
}

const std::vector<std::pair<std::string, std::string>>& Requests() {
  return Help().requests;
}

void ClearRequests() {
  Help().requests.clear();
}

const TMessages& HelpMessages() {
  static const TMessages messages(
      "Ajuda_Indisponivel|A ajuda não está disponível nesta instalação (%1).\n"
      "Ajuda_Titulo|Ajuda - %1\n"
      "Ajuda_NaoAchou|\"%1\" não foi encontrado nesta página.\n"
      "Ajuda_Menu|Aj&uda\n"
      "Ajuda_Tela|Ajuda desta &tela\n"
      "Ajuda_Guia|&Guia do usuário\n"
      "Ajuda_Voltar|Voltar\n"
      "Ajuda_Avancar|Avançar\n"
      "Ajuda_Inicio|Início\n"
      "Ajuda_Procurar|Procurar nesta página:\n"
      "Ajuda_Fechar|Fechar\n");
  return messages;
}

std::string HelpMsg(std::string_view key, std::initializer_list<std::string_view> args) {
  return HelpMessages().Msg(key, args);
}

}  // namespace ger::help
