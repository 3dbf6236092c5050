#include "rdm_empresa.h"

#include <spdlog/spdlog.h>

#include <algorithm>
#include <boost/json.hpp>

#include "change_feed.h"
#include "change_set.h"
#include "change_watch.h"
#include "contract/tables.h"
#include "core/exceptions.h"
#include "core/utf8.h"
#include "data/packet.h"
#include "history.h"
#include "people.h"

namespace ger::server {

namespace json = boost::json;

namespace {

const std::string kDuplicate = "Já existe um registro com esta chave.";
const std::string kFileChanged =
    "O arquivo do banco de dados foi substituído ou removido enquanto o servidor de aplicação "
    "estava em execução; nada foi gravado. Procure o administrador do sistema.";
const std::string kReadOnly =
    "O banco de dados está disponível somente para leitura; a alteração não foi gravada. Procure "
    "o administrador do sistema.";
// What the user reads when the database refused a save for one of its rules.
std::string RefusalText(const db::ConstraintError& e) {
  switch (e.GetKind()) {
    case db::ConstraintError::Kind::Unique:
      return kDuplicate;
    case db::ConstraintError::Kind::NotNull:
      if (!e.Column().empty())
        return "O banco de dados exige o campo " + e.Column() +
               ", que não foi informado; nada foi gravado.";
      return "O banco de dados exige um campo que não foi informado; nada foi gravado.";
    case db::ConstraintError::Kind::Other:
      break;
  }
  return "O banco de dados recusou a gravação por uma de suas regras; nada foi gravado. Procure "
         "o administrador do sistema.";
}
const std::string kDamaged =
    "O arquivo do banco de dados está danificado e a operação não pôde ser concluída; nada foi "
    "gravado. Procure o administrador do sistema.";
const std::string kDatabaseFailure =
    "Não foi possível concluir a operação no banco de dados. Tente novamente ou procure o "
    "administrador do sistema.";

std::string Encode(const DataPacket& packet) {
  return codec::Encode(packet);
}
std::string Bool(bool b) {
  return b ? "true" : "false";
}

std::string ArgName(std::size_t index) {
  return std::to_string(index + 1);
}

std::string Text(const json::array& p, std::size_t i) {
  const json::value& v = p.at(i);
  if (v.is_null()) return {};
  if (!v.is_string())
    throw RpcError(kInvalidParams, "O parâmetro " + ArgName(i) + " deve ser um texto.");
  std::string s(v.as_string());
  RefuseNul(s, "O parâmetro " + ArgName(i));
  return s;
}

bool Flag(const json::array& p, std::size_t i) {
  const json::value& v = p.at(i);
  if (!v.is_bool())
    throw RpcError(kInvalidParams, "O parâmetro " + ArgName(i) + " deve ser um valor lógico.");
  return v.as_bool();
}

// The change set of parameter i. Its text is given back once decoded: a logo is then held once,
// as the change set's bytes, while the database takes its copy.
ChangeSet Changes(json::array& p, std::size_t i) {
  json::value& v = p.at(i);
  if (!v.is_object())
    throw RpcError(kInvalidParams,
                   "O parâmetro " + ArgName(i) + " deve ser um conjunto de alterações.");
  try {
    ChangeSet changes = codec::DecodeChangeSet(v);
    v = nullptr;
    return changes;
  } catch (const std::exception& e) {
    // The decoder's sentences already name the change set.
    std::string text = e.what();
    if (!text.starts_with("Conjunto de alterações"))
      text = "Conjunto de alterações inválido: " + text;
    throw RpcError(kInvalidParams, text);
  }
}

std::string OnlyDigits(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c >= '0' && c <= '9') out.push_back(c);
  return out;
}

// A legal registration as compared: its digits and letters, the letters in capitals, without
// the separators of a mask. An alphanumeric CNPJ keeps its letters, so that "12ABC34501DE35" is
// neither taken for the number of its digits alone nor missed when typed in small letters.
std::string RegistrationKey(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) out.push_back(c);
  }
  return out;
}

std::string FoldName(std::string_view name) {
  return utf8::FoldKey(utf8::Trim(name));
}

// The server's view of a declared table; `derived` are the change-set fields that other tables
// hold (the names and qualification a representative's link shows).
RdmEmpresa::Table Declared(const record::Table& declared, std::vector<std::string> derived = {}) {
  RdmEmpresa::Table t;
  t.name = std::string(declared.name);
  t.columns = declared.Fields();
  for (std::string_view k : declared.key) t.key.emplace_back(k);
  t.derived = std::move(derived);
  // The company a row belongs to never changes: the rows of other tables hang on it.
  t.fixed = {{"CDEMPRESA", "O código da empresa não pode ser alterado."}};
  return t;
}

// The fields of a dataset declaration that come from tables other than `table`.
std::vector<std::string> FromOtherTables(const record::Dataset& dataset,
                                         const record::Table& table) {
  std::vector<std::string> out;
  for (const record::DatasetField& f : dataset.fields)
    if (f.table != &table) out.emplace_back(f.column);
  return out;
}

// A representative row an insert or update of setRepresentante writes.
struct RepresLink {
  std::string company, repres;
  bool madeActive = false;  // "S" now, and not before
};

std::string TextAt(const Row& row, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= row.size()) return {};
  const auto* s = std::get_if<std::string>(&row[static_cast<std::size_t>(index)]);
  return s ? *s : std::string();
}

std::vector<RepresLink> LinksWritten(const ChangeSet& changes) {
  const int company = changes.IndexOf("CDEMPRESA"), repres = changes.IndexOf("CDREPRES"),
            active = changes.IndexOf("IDATIVO");
  std::vector<RepresLink> out;
  for (const Change& ch : changes.changes) {
    if (ch.kind == ChangeKind::Delete) continue;
    const bool activeNow = TextAt(ch.newValues, active) == "S";
    const bool activeBefore = ch.kind == ChangeKind::Update && TextAt(ch.oldValues, active) == "S";
    out.push_back(
        {TextAt(ch.newValues, company), TextAt(ch.newValues, repres), activeNow && !activeBefore});
  }
  return out;
}

// Whether the company has a representative in use other than this one.
bool OtherInUse(db::Connection& c, const std::string& repres, const std::string& company) {
  return !c.Query(
               "SELECT CDREPRES FROM EMPRREPRES WHERE CDEMPRESA = :EMPRESA AND "
               "CDREPRES <> :REPRES AND IDATIVO = 'S' LIMIT 1",
               {{"REPRES", repres}, {"EMPRESA", company}})
              .rows.empty();
}

// What the screen checks before it sends, checked again where two users meet: a link names a
// registered representative, and a company has at most one in use. Rows stored by older
// programs are left as they are unless this change set marks one in use.
void CheckLinks(db::Connection& c, const std::vector<RepresLink>& links) {
  for (const RepresLink& l : links) {
    if (c.Query("SELECT CDREPRES FROM REPRESENTANTE WHERE CDREPRES = :CD", {{"CD", l.repres}})
            .rows.empty())
      throw RpcError(kApplicationError, "Representante legal não cadastrado.");
    if (l.madeActive && OtherInUse(c, l.repres, l.company))
      throw RpcError(kApplicationError,
                     "Já existe um representante legal cadastrado para a empresa.");
  }
}

void RefuseCompanyWithBranches(db::Connection& c, const std::string& code) {
  if (!c.Query("SELECT CDFILIAL FROM FILIAL WHERE CDEMPRESA = :CD LIMIT 1", {{"CD", code}})
           .rows.empty())
    throw RpcError(kApplicationError,
                   "Empresa possui filiais cadastradas e não pode ser excluída.");
}

void DeleteCompanyDependents(db::Connection& c, const std::string& code) {
  c.Execute("DELETE FROM EMPRREPRES WHERE CDEMPRESA = :CD", {{"CD", code}});
  c.Execute("DELETE FROM NOTASEXPLICATIVAS WHERE CDEMPRESA = :CD", {{"CD", code}});
}

// The code lists the screen looks codes up in: all of them, or the one code asked for.
struct Lookup {
  const char* method;
  const char* sql;
};
constexpr Lookup kLookups[] = {
    {"GetContador",
     "SELECT CDCONTADOR2, NMCONTADOR FROM CONTADOR WHERE (CDCONTADOR2 = :CODIGO OR "
     ":TODOS = 'T') ORDER BY CDCONTADOR2"},
    {"GetCNAE",
     "SELECT CDCNAE, DSCNAE FROM CNAE WHERE (CDCNAE = :CODIGO OR :TODOS = 'T') ORDER BY CDCNAE"},
    {"GetFPAS",
     "SELECT CDFPAS, DSFPAS FROM FPAS WHERE (CDFPAS = :CODIGO OR :TODOS = 'T') ORDER BY CDFPAS"},
    {"GetNatureza",
     "SELECT CDNATUJURI, DSNATUJURI FROM NATUREZA WHERE (CDNATUJURI = :CODIGO OR "
     ":TODOS = 'T') ORDER BY CDNATUJURI"},
};

}  // namespace

int RdmEmpresa::Table::ColumnIndex(std::string_view column) const {
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (utf8::SameText(columns[i].name, column)) return static_cast<int>(i);
  return -1;
}

void RdmEmpresa::Register(std::string name, std::size_t minArgs, std::size_t maxArgs,
                          Handler handler) {
  auto m = std::make_unique<Method>();
  m->minArgs = minArgs;
  m->maxArgs = maxArgs;
  m->handler = std::move(handler);
  methods_.emplace(std::move(name), std::move(m));
}

void RdmEmpresa::Register(std::string name, std::size_t minArgs, std::size_t maxArgs, Body body) {
  Register(std::move(name), minArgs, maxArgs,
           [this, body](db::Connection& c, json::array& p) { return (this->*body)(c, p); });
}

RdmEmpresa::RdmEmpresa(ConnectionPool& pool, bool testHooks) : pool_(pool), testHooks_(testHooks) {
  empresa_ = Declared(record::kEmpresa);
  emprRepres_ = Declared(record::kEmprRepres,
                         FromOtherTables(record::kCdsRepresentante, record::kEmprRepres));
  notas_ = Declared(record::kNotasExplicativas);
  codeSize_ = static_cast<std::size_t>(
      empresa_.columns[static_cast<std::size_t>(empresa_.ColumnIndex("CDEMPRESA"))].size);
  using P = json::array&;
  using C = db::Connection&;

  Register("GetEmpresa", 0, 2, &RdmEmpresa::GetEmpresa);
  Register("GetLogoEmpresa", 1, 1, [](C c, P p) { return CompanyLogo(c, Text(p, 0)); });
  Register("SetEmpresa", 7, 7, &RdmEmpresa::SetEmpresa);
  Register("Delete", 1, 2, &RdmEmpresa::DeleteEmpresa);
  Register("GetVerifEmpresa", 1, 1, &RdmEmpresa::GetVerifEmpresa);
  Register("GetVerifInsc", 2, 2, &RdmEmpresa::GetVerifInsc);
  for (const Lookup& l : kLookups) {
    Register(l.method, 2, 2, [sql = l.sql](C c, P p) {
      return Encode(c.Query(sql, {{"CODIGO", Text(p, 0)}, {"TODOS", Text(p, 1)}}));
    });
  }
  Register("GetPesqBairro", 4, 4, &RdmEmpresa::GetPesqBairro);
  Register("InsertBairro", 4, 4, &RdmEmpresa::InsertBairro);
  Register("GetBairro", 2, 4, &RdmEmpresa::GetBairro);
  Register("GetVEmp", 0, 0, &RdmEmpresa::GetVEmp);
  Register("GetVParGeral", 0, 0, &RdmEmpresa::GetVParGeral);
  Register("getRepresentante", 2, 2, &RdmEmpresa::GetRepresentante);
  Register("setRepresentante", 1, 1, &RdmEmpresa::SetRepresentante);
  Register("getVdRepresentante", 1, 1, &RdmEmpresa::GetVdRepresentante);
  Register("getVdRepresAtivo", 2, 2, &RdmEmpresa::GetVdRepresAtivo);
  Register("GetPesqRepresentante", 2, 2, &RdmEmpresa::GetPesqRepresentante);
  Register("setRegimeFilial", 2, 2, &RdmEmpresa::SetRegimeFilial);
  // Who the call is signed in as, for the host's status bar.
  Register("GetUsuario", 0, 0,
           [](C, P) { return json::serialize(json::value(CurrentCaller().person)); });
  // The changes of one company, newest first, as the history window shows them.
  Register("GetHistorico", 1, 1, [](C c, P p) {
    const std::string company = Text(p, 0);
    if (company.empty()) throw RpcError(kInvalidParams, "O código da empresa deve ser informado.");
    HistoryFilter filter;
    filter.company = company;
    return Encode(HistoryRows(c, filter));
  });
  // The long poll: here it answers the number at once; the HTTP server parks the call while the
  // number is not past the seat's (app_server.cpp).
  Register(std::string(kWaitMethod), 0, SIZE_MAX, [](C c, P p) {
    ParseChangeWait(p);
    return std::to_string(CurrentChange(c));
  });
  Register("GetNotasExplicativas", 1, 1, &RdmEmpresa::GetNotasExplicativas);
  Register("SetNotasExplicativas", 1, 1, &RdmEmpresa::SetNotasExplicativas);
  for (const char* name : {"SetEmpresa", "Delete", "InsertBairro", "setRepresentante",
                           "setRegimeFilial", "SetNotasExplicativas"})
    methods_.at(name)->writes = true;
}

std::string RdmEmpresa::GetVerifEmpresa(db::Connection& c, json::array& p) {
  std::string code = Text(p, 0);
  // No stored code is longer than its column (saves are checked against it): a longer one,
  // which a client may send by the megabyte, is looked for cut one past the column's size,
  // which finds nothing as well, without a copy of it in the database's search key.
  if (utf8::Length(code) > codeSize_) code = std::string(codeSize_ + 1, 'X');
  // Seats ask again and again for the same codes; until something is committed the answer holds.
  std::string key = "GetVerifEmpresa\n" + code;
  return c.Remembered(key, [&] {
    db::Params params;
    params.emplace_back("CD", std::move(code));  // a braced list would copy it once more
    return Encode(c.Query("SELECT CDEMPRESA FROM EMPRESA WHERE CDEMPRESA = :CD", params));
  });
}

std::string RdmEmpresa::GetVerifInsc(db::Connection& c, json::array& p) {
  const std::string type = std::string(utf8::Trim(Text(p, 0)));
  const std::string number = std::string(utf8::Trim(Text(p, 1)));
  DataPacket all = c.Query(
      "SELECT NRINSJUREMPR, IDTPIJUREMPR FROM EMPRESA WHERE NRINSJUREMPR IS NOT NULL "
      "ORDER BY CDEMPRESA");
  DataPacket out;
  out.fields = {all.fields[0]};
  if (number.empty()) return Encode(out);
  // The box may hold the number with or without its mask's separators.
  const std::string key = RegistrationKey(number);
  for (const Row& row : all.rows) {
    const std::string& stored = std::get<std::string>(row[0]);
    const auto* storedType = std::get_if<std::string>(&row[1]);
    if (!type.empty() && storedType && !storedType->empty() && *storedType != type) continue;
    bool same =
        key.empty() ? std::string(utf8::Trim(stored)) == number : RegistrationKey(stored) == key;
    if (same) out.rows.push_back({row[0]});
  }
  return Encode(out);
}

std::string RdmEmpresa::GetPesqBairro(db::Connection& c, json::array& p) {
  return Encode(c.Query(
      "SELECT CDBAIRRO, NMBAIRRO FROM BAIRRO WHERE CDPAIS = :PAIS AND SGESTADO = :ESTADO AND "
      "CDMUNICIPIO = :MUNICIPIO AND (CDBAIRRO = :BAIRRO OR :BAIRRO = '') ORDER BY CDBAIRRO",
      {{"PAIS", Text(p, 0)},
       {"ESTADO", Text(p, 1)},
       {"MUNICIPIO", Text(p, 2)},
       {"BAIRRO", Text(p, 3)}}));
}

std::string RdmEmpresa::GetVEmp(db::Connection& c, json::array&) {
  return Encode(c.Query("SELECT CDEMPRESA FROM EMPRESA ORDER BY CDEMPRESA LIMIT 1"));
}

std::string RdmEmpresa::GetVParGeral(db::Connection& c, json::array&) {
  return Encode(c.Query("SELECT CDFILIAL FROM PARGERAL ORDER BY CDFILIAL LIMIT 1"));
}

std::string RdmEmpresa::GetRepresentante(db::Connection& c, json::array& p) {
  return Encode(
      c.Query("SELECT E.CDEMPRESA, E.CDREPRES, R.NMREPRES, R.NRCPFREPRES, E.IDATIVO, "
              "R.CDQUALIFASSINA, Q.NMQUALIFASSINA FROM EMPRREPRES E "
              "LEFT JOIN REPRESENTANTE R ON R.CDREPRES = E.CDREPRES "
              "LEFT JOIN QUALIFASSINA Q ON Q.CDQUALIFASSINA = R.CDQUALIFASSINA "
              "WHERE E.CDEMPRESA = :EMPRESA AND (E.CDREPRES = :REPRES OR :REPRES = '') "
              "ORDER BY E.CDREPRES",
              {{"EMPRESA", Text(p, 0)}, {"REPRES", Text(p, 1)}}));
}

std::string RdmEmpresa::SetRepresentante(db::Connection& c, json::array& p) {
  ChangeSet changes = Changes(p, 0);
  const std::vector<RepresLink> links = LinksWritten(changes);
  const std::vector<std::string> companies = CompaniesOf(changes);
  db::Transaction tx(c);
  LockChangeNumber(c);
  try {
    ApplyChanges(c, emprRepres_, std::move(changes));
  } catch (const db::ConstraintError& e) {
    // Another user linked the same representative first: the key of the link is taken.
    spdlog::warn("setRepresentante: {}", e.what());
    throw RpcError(kApplicationError, "Representante legal já cadastrado.");
  }
  CheckLinks(c, links);
  StampCompanies(c, companies);
  tx.Commit();
  return std::string("null");
}

std::string RdmEmpresa::GetVdRepresentante(db::Connection& c, json::array& p) {
  return Bool(
      !c.Query("SELECT CDREPRES FROM REPRESENTANTE WHERE CDREPRES = :CD", {{"CD", Text(p, 0)}})
           .rows.empty());
}

std::string RdmEmpresa::GetVdRepresAtivo(db::Connection& c, json::array& p) {
  return Bool(OtherInUse(c, Text(p, 0), Text(p, 1)));
}

std::string RdmEmpresa::GetPesqRepresentante(db::Connection& c, json::array& p) {
  return Encode(
      c.Query("SELECT R.CDREPRES, R.NMREPRES, R.NRCPFREPRES, Q.NMQUALIFASSINA FROM REPRESENTANTE R "
              "LEFT JOIN QUALIFASSINA Q ON Q.CDQUALIFASSINA = R.CDQUALIFASSINA "
              "WHERE (R.CDREPRES = :CODIGO OR :TODOS = 'T') ORDER BY R.CDREPRES",
              {{"CODIGO", Text(p, 0)}, {"TODOS", Text(p, 1)}}));
}

std::string RdmEmpresa::SetRegimeFilial(db::Connection& c, json::array& p) {
  std::string regime = Text(p, 0);
  if (regime != "N" && regime != "S")
    throw RpcError(kInvalidParams,
                   "Regime de apuração inválido: \"" + regime + "\" (esperado \"N\" ou \"S\").");
  db::Transaction tx(c);
  c.Execute("UPDATE FILIAL SET IDCUMUPICOEMP = :REGIME WHERE CDEMPRESA = :EMPRESA",
            {{"REGIME", regime}, {"EMPRESA", Text(p, 1)}});
  tx.Commit();
  return std::string("null");
}

std::string RdmEmpresa::GetNotasExplicativas(db::Connection& c, json::array& p) {
  const json::value& arg = p.at(0);
  if (!arg.is_array() || arg.as_array().size() != 1 || !arg.as_array()[0].is_string())
    throw RpcError(kInvalidParams, "O parâmetro 1 deve ser uma lista com o código da empresa.");
  std::string code(arg.as_array()[0].as_string());
  RefuseNul(code, "O parâmetro 1");
  return Encode(
      c.Query("SELECT CDEMPRESA, DSOBSERVEMP FROM NOTASEXPLICATIVAS WHERE CDEMPRESA = :CD",
              {{"CD", code}}));
}

std::string RdmEmpresa::SetNotasExplicativas(db::Connection& c, json::array& p) {
  ChangeSet changes = Changes(p, 0);
  const std::vector<std::string> companies = CompaniesOf(changes);
  db::Transaction tx(c);
  LockChangeNumber(c);
  ApplyChanges(c, notas_, std::move(changes));
  StampCompanies(c, companies);
  tx.Commit();
  return std::string("null");
}

std::string RdmEmpresa::GetEmpresa(db::Connection& c, json::array& p) {
  if (!p.empty()) {
    // The optional arguments: the logos' bytes ("S") or their size and digest ("N"), then the
    // change number after which the changed companies are asked for.
    const std::string logos = Text(p, 0);
    if (logos != "S" && logos != "N")
      throw RpcError(kInvalidParams,
                     "O parâmetro 1 deve ser \"S\" (com os logotipos) ou \"N\" (sem eles).");
    std::int64_t since = kWholeList;
    if (p.size() > 1) {
      // An empty number asks for the whole list with the number it was read at.
      const std::string number = Text(p, 1);
      if (number.empty()) return CompanyList(c, logos == "S", kWholeListNumbered);
      if (number.size() > 15 || OnlyDigits(number) != number)
        throw RpcError(kInvalidParams,
                       "O parâmetro 2 deve ser o número de alteração, em algarismos.");
      since = std::stoll(number);
    }
    return CompanyList(c, logos == "S", since);
  }
  std::string cols;
  for (const FieldDef& f : empresa_.columns) cols += (cols.empty() ? "" : ", ") + f.name;
  // The largest answer of the screen: written straight from the cursor.
  return c.QueryEncoded("SELECT " + cols + " FROM EMPRESA ORDER BY CDEMPRESA", {},
                        [](std::vector<FieldDef>& fields) {
                          // Clients that build their fields from the packet get the flags.
                          for (FieldDef& f : fields) {
                            f.flags = record::kEmpresa[f.name].flags;
                            f.flags.key = record::kEmpresa.IsKey(f.name);
                          }
                        });
}

std::string RdmEmpresa::SetEmpresa(db::Connection& c, json::array& p) {
  ChangeSet changes = Changes(p, 0);
  std::array<bool, 6> empty{};
  for (std::size_t i = 0; i < empty.size(); ++i) empty[i] = Flag(p, i + 1);
  std::array<std::string_view, 6> columns;
  std::copy(std::begin(record::kEmptyBoxColumns), std::end(record::kEmptyBoxColumns),
            columns.begin());
  bool hasDelete = std::any_of(changes.changes.begin(), changes.changes.end(),
                               [](const Change& ch) { return ch.kind == ChangeKind::Delete; });
  if (hasDelete) std::swap(columns[4], columns[5]);
  std::array<int, 6> column{};
  for (std::size_t i = 0; i < 6; ++i) column[i] = empresa_.ColumnIndex(columns[i]);

  ChangeHooks hooks;
  hooks.adjustNew = [&](Row& row, const std::vector<int>& columnOf) {
    for (std::size_t f = 0; f < row.size(); ++f)
      for (std::size_t i = 0; i < 6; ++i)
        if (empty[i] && columnOf[f] == column[i]) row[f] = std::monostate{};
  };
  hooks.beforeDelete = [this](db::Connection& conn, const Row& old,
                              const std::vector<int>& columnOf) {
    BeforeCompanyDelete(conn, old, columnOf);
  };
  const std::vector<std::string> companies = CompaniesOf(changes);
  db::Transaction tx(c);
  LockChangeNumber(c);
  ApplyChanges(c, empresa_, std::move(changes), hooks);
  StampCompanies(c, companies);
  tx.Commit();
  return "null";
}

void RdmEmpresa::BeforeCompanyDelete(db::Connection& c, const Row& old,
                                     const std::vector<int>& columnOf) {
  const int codeColumn = empresa_.ColumnIndex("CDEMPRESA");
  for (std::size_t f = 0; f < old.size(); ++f)
    if (columnOf[f] == codeColumn) {
      const std::string& code = std::get<std::string>(old[f]);
      RefuseCompanyWithBranches(c, code);
      DeleteCompanyDependents(c, code);
    }
}

// Delete(code) removes the company whatever it holds now. Delete(code, held) takes a change set
// of that one company's delete, the row as the caller holds it: the company is deleted only if it
// is still that row, so a list read before another user's save deletes nothing (the conflict),
// and a company already gone is said to be so instead of being taken as deleted.
std::string RdmEmpresa::DeleteEmpresa(db::Connection& c, json::array& p) {
  std::string code = Text(p, 0);
  if (p.size() > 1) {
    ChangeSet held = Changes(p, 1);
    const int key = held.IndexOf("CDEMPRESA");
    if (held.changes.size() != 1 || held.changes[0].kind != ChangeKind::Delete || key < 0 ||
        TextAt(held.changes[0].oldValues, key) != code)
      throw RpcError(kInvalidParams,
                     "O parâmetro 2 deve trazer somente a exclusão da empresa " + code + ".");
    ChangeHooks hooks;
    hooks.beforeDelete = [this](db::Connection& conn, const Row& old,
                                const std::vector<int>& columnOf) {
      BeforeCompanyDelete(conn, old, columnOf);
    };
    hooks.deleteGone = [] { throw RpcError(kApplicationError, kDeleted); };
    db::Transaction tx(c);
    LockChangeNumber(c);
    ApplyChanges(c, empresa_, std::move(held), hooks);
    StampCompanies(c, {code});
    tx.Commit();
    return "null";
  }
  db::Transaction tx(c);
  LockChangeNumber(c);
  RefuseCompanyWithBranches(c, code);
  DeleteCompanyDependents(c, code);
  if (c.Execute("DELETE FROM EMPRESA WHERE CDEMPRESA = :CD", {{"CD", code}}) > 0)
    RecordChange(c, "EMPRESA", kHistoryDelete, code, code, {});
  StampCompanies(c, {code});
  tx.Commit();
  return "null";
}

std::string RdmEmpresa::InsertBairro(db::Connection& c, json::array& p) {
  const std::string country = Text(p, 0), state = Text(p, 1), municipality = Text(p, 2);
  const std::string name(utf8::Trim(Text(p, 3)));
  if (country.empty() || state.empty() || municipality.empty() || name.empty())
    throw RpcError(kInvalidParams,
                   "País, estado, município e nome do bairro devem ser informados.");
  const int nameSize = record::kBairro["NMBAIRRO"].size;
  if (utf8::Length(name) > static_cast<std::size_t>(nameSize))
    throw RpcError(kInvalidParams,
                   "O nome do bairro excede " + std::to_string(nameSize) + " caracteres.");
  const db::Params where = {{"PAIS", country}, {"ESTADO", state}, {"MUNICIPIO", municipality}};
  if (c.Query("SELECT CDMUNICIPIO FROM MUNICIPIO WHERE CDPAIS = :PAIS AND SGESTADO = :ESTADO "
              "AND CDMUNICIPIO = :MUNICIPIO",
              where)
          .rows.empty())
    throw RpcError(kApplicationError, "Município não cadastrado.");
  const std::string key = FoldName(name);
  // Codes are numbers written to the column's full width with leading zeros.
  const int width = record::kBairro["CDBAIRRO"].size;
  long long lastCode = 1;
  for (int i = 0; i < width; ++i) lastCode *= 10;
  --lastCode;
  // A concurrent insert may take the same code first; the retry then sees it (and its name).
  for (int attempt = 0;; ++attempt) {
    try {
      db::Transaction tx(c);
      DataPacket rows = c.Query(
          "SELECT CDBAIRRO, NMBAIRRO FROM BAIRRO WHERE CDPAIS = :PAIS AND SGESTADO = :ESTADO "
          "AND CDMUNICIPIO = :MUNICIPIO",
          where);
      long long highest = 0;
      for (const Row& row : rows.rows) {
        if (const auto* n = std::get_if<std::string>(&row[1]); n && FoldName(*n) == key)
          return "false";
        const std::string& code = std::get<std::string>(row[0]);
        if (!code.empty() && code.size() <= static_cast<std::size_t>(width) &&
            OnlyDigits(code) == code)
          highest = std::max(highest, std::stoll(code));
      }
      if (highest >= lastCode)
        throw RpcError(kApplicationError, "Não há código livre para um novo bairro.");
      char next[24];
      std::snprintf(next, sizeof next, "%0*lld", width, highest + 1);
      db::Params insert = where;
      insert.emplace_back("BAIRRO", std::string(next));
      insert.emplace_back("NOME", name);
      c.Execute(
          "INSERT INTO BAIRRO (CDPAIS, SGESTADO, CDMUNICIPIO, CDBAIRRO, NMBAIRRO) VALUES "
          "(:PAIS, :ESTADO, :MUNICIPIO, :BAIRRO, :NOME)",
          insert);
      RecordChange(c, "BAIRRO", kHistoryInsert,
                   country + "/" + state + "/" + municipality + "/" + next, "",
                   {{"NMBAIRRO", Value{}, Value{name}}});
      tx.Commit();
      return "true";
    } catch (const db::ConstraintError&) {
      if (attempt >= 4) throw;
    }
  }
}

std::string RdmEmpresa::GetBairro(db::Connection& c, json::array& p) {
  if (p.size() == 3)
    throw RpcError(kInvalidParams, "O método GetBairro espera 2 ou 4 parâmetros e recebeu 3.");
  const std::string municipality = Text(p, 0);
  const std::string key = FoldName(Text(p, 1));
  DataPacket rows;
  if (p.size() == 4) {
    rows = c.Query(
        "SELECT CDBAIRRO, NMBAIRRO FROM BAIRRO WHERE CDMUNICIPIO = :MUNICIPIO AND "
        "CDPAIS = :PAIS AND SGESTADO = :ESTADO ORDER BY CDBAIRRO",
        {{"MUNICIPIO", municipality}, {"PAIS", Text(p, 2)}, {"ESTADO", Text(p, 3)}});
  } else {
    rows = c.Query(
        "SELECT CDBAIRRO, NMBAIRRO FROM BAIRRO WHERE CDMUNICIPIO = :MUNICIPIO "
        "ORDER BY CDBAIRRO, CDPAIS, SGESTADO",
        {{"MUNICIPIO", municipality}});
  }
  for (const Row& row : rows.rows)
    if (const auto* n = std::get_if<std::string>(&row[1]); n && FoldName(*n) == key)
      return json::serialize(json::value(std::get<std::string>(row[0])));
  return "\"\"";
}

bool RdmEmpresa::Writes(std::string_view method) const {
  auto it = methods_.find(method);
  return it != methods_.end() && it->second->writes;
}

std::int64_t RdmEmpresa::ChangeNumber() {
  auto connection = pool_.Acquire();
  return CurrentChange(*connection);
}

std::string RdmEmpresa::Invoke(std::string_view method, json::array& params) {
  if (testHooks_) {
    if (method == "__fail") {
      if (params.size() != 2)
        throw RpcError(kInvalidParams, "O método __fail espera 2 parâmetros.");
      std::lock_guard lock(failMutex_);
      pendingFailures_[Text(params, 0)] = Text(params, 1);
      return "true";
    }
    if (method == "__calls") {
      if (params.size() != 1)
        throw RpcError(kInvalidParams, "O método __calls espera 1 parâmetro.");
      auto it = methods_.find(Text(params, 0));
      return std::to_string(it == methods_.end() ? 0L : it->second->calls.load());
    }
    if (method == "__args") {
      if (params.size() != 1) throw RpcError(kInvalidParams, "O método __args espera 1 parâmetro.");
      std::lock_guard lock(failMutex_);
      auto it = lastArgs_.find(Text(params, 0));
      return it == lastArgs_.end() ? "null" : it->second;
    }
  }
  auto it = methods_.find(method);
  if (it == methods_.end())
    throw RpcError(kMethodNotFound,
                   "Método desconhecido no servidor de aplicação: " + std::string(method) + ".");
  Method& m = *it->second;
  m.calls.fetch_add(1, std::memory_order_relaxed);
  if (testHooks_) {
    std::lock_guard lock(failMutex_);
    lastArgs_[it->first] = json::serialize(params);
    if (auto f = pendingFailures_.find(it->first); f != pendingFailures_.end()) {
      std::string message = std::move(f->second);
      pendingFailures_.erase(f);
      throw RpcError(kApplicationError, message);
    }
  }
  if (params.size() < m.minArgs || params.size() > m.maxArgs) {
    std::string expected = m.minArgs == m.maxArgs
                               ? std::to_string(m.minArgs)
                               : std::to_string(m.minArgs) + " a " + std::to_string(m.maxArgs);
    throw RpcError(kInvalidParams, "O método " + std::string(method) + " espera " + expected +
                                       " parâmetro(s) e recebeu " + std::to_string(params.size()) +
                                       ".");
  }
  try {
    auto connection = pool_.Acquire();
    return m.handler(*connection, params);
  } catch (const RpcError&) {
    throw;
  } catch (const db::ConstraintError& e) {
    spdlog::warn("{}: {}", method, e.what());
    throw RpcError(kApplicationError, RefusalText(e));
  } catch (const db::FileChangedError& e) {
    spdlog::error("{}: {}", method, e.what());
    throw RpcError(kApplicationError, kFileChanged);
  } catch (const db::ReadOnlyError& e) {
    spdlog::warn("{}: {}", method, e.what());
    throw RpcError(kApplicationError, kReadOnly);
  } catch (const db::DamagedFileError& e) {
    spdlog::error(
        "{}: {}. Stop the server and put back the last good backup with `ger-admin restore`",
        method, e.what());
    throw RpcError(kApplicationError, kDamaged);
  } catch (const db::DbError& e) {
    spdlog::error("{}: {}", method, e.what());
    throw RpcError(kApplicationError, kDatabaseFailure);
  }
}

}  // namespace ger::server
