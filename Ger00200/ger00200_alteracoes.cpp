// The company list kept current by the server's change number, and the logos read on demand.
//
// The list comes without the logos' bytes: each row carries its logo's size and digest. The first
// read brings every company and the number the server had then; every later one (after a confirm,
// "Verificar", a refused save or delete) brings only the companies changed since that number and
// the codes of those deleted, and changes only their rows, the cursor staying on its company.
// The bytes of a company's logo are read by its code when the logo page shows it, an edit begins
// (the save holds and sends the record as stored) or a delete is held against the row, and kept
// on the seat by digest, so that a logo read once is not read again while it is unchanged.
#include <algorithm>
#include <boost/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Ger00200/ger00200.h"
#include "contract/tables.h"
#include "core/exceptions.h"
#include "data/packet.h"
#include "routines/routines.h"
#include "ui/signed_in.h"

namespace ger {

using record::Empresa;

namespace {

constexpr std::string_view kSize = "NRTAMLOGO";
constexpr std::string_view kDigest = "DSRESUMOLOGO";

std::string TextAt(const Row& row, int index) {
  if (index < 0) return {};
  const auto* s = std::get_if<std::string>(&row[static_cast<std::size_t>(index)]);
  return s ? *s : std::string();
}

}  // namespace

void TfrmEmpresa::LeituraDaLista(DataPacket& list) {
  const int code = list.IndexOf(Empresa::CDEMPRESA), digest = list.IndexOf(kDigest),
            size = list.IndexOf(kSize), logo = list.IndexOf(Empresa::DSARQLOGOEMPCLOB);
  for (Row& row : list.rows) {
    const std::string company = TextAt(row, code);
    const std::string d = TextAt(row, digest);
    logoCarregado_.erase(company);
    if (d.empty()) {
      resumoLogo_.erase(company);
      continue;
    }
    resumoLogo_[company] = d;
    // A logo this seat has read already goes straight into its row.
    if (auto cached = logoPorResumo_.find(d); cached != logoPorResumo_.end() && logo >= 0) {
      row[static_cast<std::size_t>(logo)] = Bytes{cached->second};
      logoCarregado_.insert(company);
    }
  }
  // Read: without them the packet's columns are the dataset's, and its rows are moved in whole.
  for (int column : {std::max(digest, size), std::min(digest, size)}) {
    if (column < 0) continue;
    list.fields.erase(list.fields.begin() + column);
    for (Row& row : list.rows) row.erase(row.begin() + column);
  }
}

TfrmEmpresa::ListaLida TfrmEmpresa::LeLista(const std::string& since, bool showError) {
  const ServerPayload payload = Consiste::CheckResultServ(rdm.GetEmpresa("N", since), showError);
  ListaLida read;
  read.complete = since.empty();
  std::optional<DataPacket> list;
  try {
    // The server writes the list last: the members before it are read, and the list (nearly all
    // of the text) goes to the packet's decoder as it is, not scanned a second time.
    const std::string_view text = payload.Text();
    constexpr std::string_view kList = "\"empresas\":";
    const std::size_t at = text.find(kList);
    const std::size_t end = text.find_last_not_of(" \t\r\n");
    if (at == std::string_view::npos || at == 0 || end == std::string_view::npos ||
        text[end] != '}' || text[at - 1] != ',')
      throw std::runtime_error("sem a lista");
    const boost::json::object head =
        boost::json::parse(std::string(text.substr(0, at - 1)) + "}").as_object();
    for (const auto& [name, value] : head) {
      if (name == "numero") {
        read.number = value.to_number<std::int64_t>();
      } else if (name == "completa") {
        read.complete = read.complete || value.as_bool();
      } else if (name == "excluidas") {
        for (const boost::json::value& v : value.as_array())
          read.deleted.emplace_back(v.as_string());
      }
    }
    list = codec::DecodePacket(text.substr(at + kList.size(), end - at - kList.size()));
  } catch (const EDatabaseError&) {
    throw;
  } catch (const std::exception& e) {
    throw EDatabaseError(std::string("Resposta inválida do servidor para a lista de empresas: ") +
                         e.what());
  }
  if (!list || read.number < 0)
    throw EDatabaseError("Resposta inválida do servidor para a lista de empresas.");
  read.list = std::move(*list);
  return read;
}

void TfrmEmpresa::LoadEmpresas(bool showError) {
  const bool whole = numeroAlteracao_ < 0 || !cdsEmpresa.Active();
  ListaLida read = LeLista(whole ? std::string() : std::to_string(numeroAlteracao_), showError);
  if (read.complete) {
    logoCarregado_.clear();
    resumoLogo_.clear();
    LeituraDaLista(read.list);
    cdsEmpresa.SetData(std::move(read.list));
  } else {
    LeituraDaLista(read.list);
    cdsEmpresa.MergeRows(read.list, Empresa::CDEMPRESA, read.deleted);
    for (const std::string& code : read.deleted) {
      resumoLogo_.erase(code);
      logoCarregado_.erase(code);
    }
  }
  numeroAlteracao_ = read.number;
  if (vigia_) vigia_->Hold(read.number);
  // Who is signed in, once, for the status bar.
  if (SignedInPerson().empty()) {
    ServerAnswer who = rdm.GetUsuario();
    if (who.ok() && who.payload->Value().is_string()) {
      SetSignedInPerson(std::string(who.payload->Value().as_string()));
      Application().Changed();
    }
  }
}

void TfrmEmpresa::GaranteLogo() {
  if (!cdsEmpresa.Active() || cdsEmpresa.IsEmpty() || IsEditing(cdsEmpresa.State())) return;
  const std::string code = cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString();
  if (code.empty() || logoCarregado_.contains(code)) return;
  auto digest = resumoLogo_.find(code);
  if (digest == resumoLogo_.end()) return;  // no logo: the empty field is the stored value
  DataPacket row;
  if (auto cached = logoPorResumo_.find(digest->second); cached != logoPorResumo_.end()) {
    row.fields = {cdsEmpresa.FieldByName(Empresa::CDEMPRESA).Def(),
                  cdsEmpresa.FieldByName(Empresa::DSARQLOGOEMPCLOB).Def()};
    row.rows.push_back({Value(code), Value(Bytes{cached->second})});
  } else {
    row = codec::DecodePacket(Consiste::CheckResultServ(rdm.GetLogoEmpresa(code)).Text());
    if (row.rows.empty()) return;  // deleted meanwhile: the next read of the list says so
    const int logo = row.IndexOf(Empresa::DSARQLOGOEMPCLOB);
    const std::string read = TextAt(row.rows[0], row.IndexOf(kDigest));
    if (logo >= 0 && !read.empty())
      if (const auto* b = std::get_if<Bytes>(&row.rows[0][static_cast<std::size_t>(logo)])) {
        logoPorResumo_[read] = b->data;
        resumoLogo_[code] = read;
      }
  }
  cdsEmpresa.MergeRows(row, Empresa::CDEMPRESA);
  logoCarregado_.insert(code);
}

}  // namespace ger
