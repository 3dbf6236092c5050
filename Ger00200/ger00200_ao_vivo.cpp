// The live list: the screen hears of the other seats' saves and deletes as the server numbers
// them, and shows them without any action of its user. The watcher (net/change_watch.h) waits on
// its own thread and connection; its news reach this screen as calls posted to the application,
// run on the UI thread between gestures.
#include <algorithm>

#include "Ger00200/ger00200.h"
#include "Ger00200/ger00200_historico.h"
#include "contract/tables.h"
#include "core/scoped_flag.h"
#include "data/packet.h"
#include "routines/routines.h"

namespace ger {

using record::Empresa;

void TfrmEmpresa::IniciaVigia() {
  if (vigia_ || !Application().Settings.liveList) return;
  // The watcher's connection is the screen's own, read now: its thread reads nothing of the
  // screen's afterwards.
  TNetConnection& seat = netEmpresa;
  auto configure = [host = seat.Host, port = seat.Port, ca = seat.CaFile, token = seat.Token,
                    server = seat.ServerName, name = seat.Seat,
                    timeout = seat.TimeoutSeconds](TNetConnection& c) {
    c.Host = host;
    c.Port = port;
    c.CaFile = ca;
    c.Token = token;
    c.ServerName = server;
    c.Seat = name;
    c.TimeoutSeconds = timeout;
  };
  std::weak_ptr<TfrmEmpresa*> alive = vivo_;
  vigia_ = std::make_unique<ChangeWatcher>(configure, numeroAlteracao_, [alive](std::int64_t n) {
    Application().Post([alive, n] {
      if (auto form = alive.lock()) (*form)->NovidadesDoServidor(n);
    });
  });
  dbgPadrao.RowMarked = [this](int row) {
    if (alteradaFora_.empty()) return false;
    TDataSet::RowPeek peek(cdsEmpresa, row);
    return cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString() == alteradaFora_;
  };
}

void TfrmEmpresa::ParaVigia() {
  vigia_.reset();
}

void TfrmEmpresa::NovidadesDoServidor(std::int64_t number) {
  if (!vigia_ || !cdsEmpresa.Active()) return;
  if (number < numeroAlteracao_) {
    // The server's number went back (its database restored): the whole list is read again.
    ForgetChangeNumber();
    numeroServidor_ = number;
  } else {
    numeroServidor_ = std::max(numeroServidor_, number);
    if (numeroAlteracao_ >= 0 && numeroServidor_ <= numeroAlteracao_) return;
  }
  if (Editing() || IsEditing(cdsRepresentante.State())) {
    // Not under the user's hands: the company altered is marked when it changed; the rest waits
    // for the edit's end.
    MarcaAlteradaFora();
    return;
  }
  const std::string key = cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString();
  const int recNo = cdsEmpresa.RecNo();
  try {
    ScopedFlag quiet(carregandoImagem_);
    LoadEmpresas(false);
    if (cdsEmpresa.IsEmpty()) {
      TravaListaVazia();
      cdsEmpresa.FieldByName(Empresa::NRINSJUREMPR).SetEditMask(Consiste::PictPess("I"));
    } else {
      // The company shown stays current; gone, the row that took its place is, as after a
      // delete.
      VoltaAEmpresa(key, recNo);
      HabilitaPorLista();
      cdsEmpresaAfterScroll(cdsEmpresa);
      if (OnRepresentantes() && cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString() != key)
        CarregaRepresentantes();
    }
  } catch (const Exception&) {
    // A call that failed now (the server busy or restarting) is not the user's business: the
    // next news reads the changes since the number the list still holds.
  } catch (const std::exception&) {
  }
  Application().Changed();
}

void TfrmEmpresa::MarcaAlteradaFora() {
  if (cdsEmpresa.State() != DataSetState::Edit || numeroAlteracao_ < 0) return;
  const std::string code = cdsEmpresa.FieldByName(Empresa::CDEMPRESA).AsString();
  bool deleted = false, changed = false;
  try {
    const ListaLida read = LeLista(std::to_string(numeroAlteracao_), false);
    deleted = std::find(read.deleted.begin(), read.deleted.end(), code) != read.deleted.end();
    const int at = read.list.IndexOf(std::string(Empresa::CDEMPRESA));
    for (const Row& row : read.list.rows)
      if (at >= 0)
        if (const auto* s = std::get_if<std::string>(&row[static_cast<std::size_t>(at)]))
          changed = changed || *s == code;
  } catch (const std::exception&) {
    return;  // the next news asks again
  }
  if (!deleted && !changed) return;
  // By whom and when: the newest row of the company's history.
  std::string person, time;
  try {
    ServerAnswer answer = rdm.GetHistorico(code);
    if (answer.ok()) {
      const HistoricoModel history(codec::DecodePacket(answer.payload->Text()), msgPadrao);
      const std::vector<HistoricoLinha> rows = history.Rows();
      if (!rows.empty()) {
        person = rows.front().pessoa;
        if (rows.front().dataHora.size() >= 16) time = rows.front().dataHora.substr(11, 5);
      }
    }
  } catch (const std::exception&) {
    // Said without the person.
  }
  const char* key = person.empty() || time.empty()
                        ? (deleted ? "Exc_Outro_Posto_Sem" : "Alt_Outro_Posto_Sem")
                    : deleted ? "Exc_Outro_Posto"
                              : "Alt_Outro_Posto";
  avisoOutroPosto_ = msgPadrao.Msg(key, {person, time});
  alteradaFora_ = code;
  dbgPadrao.MarksChanged();
  MostraSituacaoInscEstadual();
  Application().Changed();
}

void TfrmEmpresa::FimDaEdicao() {
  if (Editing() || IsEditing(cdsRepresentante.State())) return;
  if (!alteradaFora_.empty() || !avisoOutroPosto_.empty()) {
    alteradaFora_.clear();
    avisoOutroPosto_.clear();
    dbgPadrao.MarksChanged();
  }
  // What came while the user edited is read now (a confirm has read it already).
  if (vigia_ && numeroServidor_ > numeroAlteracao_) {
    std::weak_ptr<TfrmEmpresa*> alive = vivo_;
    const std::int64_t n = numeroServidor_;
    Application().Post([alive, n] {
      if (auto form = alive.lock()) (*form)->NovidadesDoServidor(n);
    });
  }
}

}  // namespace ger
