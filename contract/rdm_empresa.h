#pragma once
// TRdmEmpresa: the methods of the application server's remote data module "GER00200.rdmEmpresa",
// one C++ method each, with the server's arguments in the server's order (texts, flags, change
// sets, arrays), so that a call with a missing or misplaced argument does not compile.
//
// Every method answers as TNetConnection::Call does: a ServerAnswer with the payload or the
// error, never an exception for a server or transport failure. The screens pass the answer to
// Consiste::CheckResultServ and then load the payload into a dataset, read it as a boolean, or
// ignore it; GetBairro's answer alone is read as a text without that check.
//
// All-switch: "T" as the second argument of the lookups asks for every row, the empty text for
// the given code only.
#include <string_view>
#include <vector>

#include "core/value.h"
#include "data/packet.h"
#include "net/netconnection.h"

namespace ger {

// A variant array argument (the notes editor's parameter array).
using VarArray = std::vector<Value>;

class TRdmEmpresa {
 public:
  // The connection (ServerName "GER00200.rdmEmpresa") must outlive the client; a call made while
  // it is disconnected connects first.
  explicit TRdmEmpresa(TNetConnection& connection) : net_(connection) {}

  // All companies, as a data packet.
  ServerAnswer GetEmpresa();
  // With `logos` "N" each logo's bytes are left out (null) and each row carries the logo's size
  // (NRTAMLOGO) and digest (DSRESUMOLOGO) after the record's columns; "S" keeps the bytes. The
  // second form answers only the companies changed after the change number `since`, as
  // {"numero":N,"completa":bool,"excluidas":[codes],"empresas":packet}: N is the number to hold
  // next; with "completa" the packet is the whole list (the number was ahead of the database's).
  ServerAnswer GetEmpresa(std::string_view logos);
  ServerAnswer GetEmpresa(std::string_view logos, std::string_view since);
  // One company's logo: CDEMPRESA, DSARQLOGOEMPCLOB, NRTAMLOGO, DSRESUMOLOGO; no row when the
  // company is not stored.
  ServerAnswer GetLogoEmpresa(std::string_view company);
  // Saves the company list's change set. Each flag is true when the edit box of its column was
  // empty: the airport fee, the commercial-registry date, the fine, the daily interest, then the
  // CAGED number and the external code. After a delete the screen sends the last two the other
  // way round, and the server reads them so.
  ServerAnswer SetEmpresa(const ChangeSet& delta, bool emptyTxAdm, bool emptyDtRegJunCom,
                          bool emptyPeMulta, bool emptyPeMora, bool emptyCaged, bool emptyExterno);
  // Deletes the company whatever it holds now. The second form holds the delete against the row
  // the caller has (a change set of that one delete): a company changed meanwhile is refused with
  // the conflict, one already gone with the sentence that another user deleted it.
  ServerAnswer Delete(std::string_view company);
  ServerAnswer Delete(std::string_view company, const ChangeSet& held);
  // A row when the company code is taken.
  ServerAnswer GetVerifEmpresa(std::string_view company);
  // A row when the registration number is in use.
  ServerAnswer GetVerifInsc(std::string_view personType, std::string_view number);

  // Reference lists kept by the server: one code, or every row with the all-switch.
  ServerAnswer GetContador(std::string_view code, std::string_view all);
  ServerAnswer GetCNAE(std::string_view code, std::string_view all);
  ServerAnswer GetFPAS(std::string_view code, std::string_view all);
  ServerAnswer GetNatureza(std::string_view code, std::string_view all);

  // Neighbourhoods of a municipality; an empty code asks for all of them.
  ServerAnswer GetPesqBairro(std::string_view country, std::string_view state,
                             std::string_view municipality, std::string_view neighbourhood);
  // A boolean: true when the name was added to the municipality's register.
  ServerAnswer InsertBairro(std::string_view country, std::string_view state,
                            std::string_view municipality, std::string_view name);
  // The code of the neighbourhood of that name as a text, empty when there is none. A
  // four-digit municipality code repeats from one state to another; the second form names the
  // municipality's country and state too.
  ServerAnswer GetBairro(std::string_view municipality, std::string_view name);
  ServerAnswer GetBairro(std::string_view municipality, std::string_view name,
                         std::string_view country, std::string_view state);

  // A row when any company exists / when the system parametrization exists.
  ServerAnswer GetVEmp();
  ServerAnswer GetVParGeral();

  // The company's legal representatives (the second argument is sent empty by the screen).
  ServerAnswer getRepresentante(std::string_view company, std::string_view representative);
  ServerAnswer setRepresentante(const ChangeSet& delta);
  // A boolean: true when the representative is registered.
  ServerAnswer getVdRepresentante(std::string_view representative);
  // A boolean: true when the company already has another representative in use.
  ServerAnswer getVdRepresAtivo(std::string_view representative, std::string_view company);
  ServerAnswer GetPesqRepresentante(std::string_view representative, std::string_view all);

  // Carries the cumulative regime ("N" or "S") to every branch of the company.
  ServerAnswer setRegimeFilial(std::string_view regime, std::string_view company);

  // The company's explanatory notes. The array is passed by reference: element 0 holds the
  // company code.
  ServerAnswer GetNotasExplicativas(VarArray& params);
  ServerAnswer SetNotasExplicativas(const ChangeSet& delta);

  // A text: the person this connection's calls are signed in as.
  ServerAnswer GetUsuario();
  // The company's change history, newest first, as a data packet: DTHISTORICO (UTC, "YYYY-MM-DD
  // HH:MM:SS"), NMUSUARIO, NMESTACAOHISTORICO, NMTABELAHISTORICO, DSCHAVEHISTORICO, CDEMPRESA,
  // IDOPERACAOHISTORICO ("I", "A", "E"), NMCOLUNAHISTORICO, DSANTESHISTORICO, DSDEPOISHISTORICO.
  ServerAnswer GetHistorico(std::string_view company);

 private:
  TNetConnection& net_;
};

}  // namespace ger
