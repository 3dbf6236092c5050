// People and the change history, end to end: the real server on SQLite and on PostgreSQL, each
// person with a connection (token and seat) of their own.
#include <cstdio>
#include <sstream>

#include "history.h"
#include "people.h"
#include "schema.h"
#include "server_fixture.h"

using namespace gertest;
using ger::ChangeKind;
using ger::ChangeSet;
using ger::DataPacket;
using ger::Row;
using ger::Value;
namespace json = boost::json;

namespace {

const std::string kRefused = "Acesso não autorizado: peça ao administrador um novo acesso.";

std::string S(const Value& v) {
  return ger::IsNull(v) ? "" : std::get<std::string>(v);
}

class PeopleTest : public ServerTest {
 protected:
  // The tables exist before the server's first start, so that people can be made first.
  std::string AddPerson(const std::string& name) {
    ger::server::CreateSchema(Db());
    return ger::server::AddPerson(Db(), name);
  }
  // A connection of its own: one person at one seat.
  std::unique_ptr<ger::TNetConnection> Seat(const std::string& token, const std::string& seat,
                                            int port = 0) {
    auto c = std::make_unique<ger::TNetConnection>();
    c->Port = port ? port : server_->Port();
    c->Token = token;
    c->Seat = seat;
    c->RefusedText = kRefused;
    return c;
  }
  static DataPacket PacketOf(ger::TNetConnection& c, const std::string& method,
                             json::array params = {}) {
    ger::ServerAnswer a = c.Call(method, params);
    EXPECT_TRUE(a.ok()) << method << ": " << a.error;
    return a.ok() ? ger::codec::DecodePacket(a.payload->Value()) : DataPacket{};
  }
  static json::array SetArgs(const ChangeSet& cs) {
    return {ger::codec::ToJson(cs), false, false, false, false, false, false};
  }
  long long HistoryCount() {
    const Value v = Db().Query("SELECT COUNT(*) FROM HISTORICO").rows.at(0).at(0);
    return std::get<std::int64_t>(v);
  }
  // The rows of one column of the company's history, newest first: "person|seat|op|old|new".
  std::vector<std::string> Changes(ger::TNetConnection& c, const std::string& company,
                                   const std::string& column) {
    DataPacket p = PacketOf(c, "GetHistorico", {json::value(company)});
    std::vector<std::string> out;
    for (const Row& r : p.rows)
      if (S(r[p.IndexOf("NMCOLUNAHISTORICO")]) == column)
        out.push_back(S(r[p.IndexOf("NMUSUARIO")]) + "|" + S(r[p.IndexOf("NMESTACAOHISTORICO")]) +
                      "|" + S(r[p.IndexOf("IDOPERACAOHISTORICO")]) + "|" +
                      S(r[p.IndexOf("DSANTESHISTORICO")]) + "|" +
                      S(r[p.IndexOf("DSDEPOISHISTORICO")]));
    return out;
  }
  // Inserts company `code` through `c`.
  void NewCompany(ger::TNetConnection& c, const std::string& code, const std::string& name) {
    DataPacket shape = PacketOf(c, "GetEmpresa");
    ChangeSet cs;
    cs.fields = shape.fields;
    Row r(shape.fields.size());
    r[shape.IndexOf("CDEMPRESA")] = code;
    r[shape.IndexOf("NMEMPRESA")] = name;
    r[shape.IndexOf("DSARQLOGOEMPCLOB")] = ger::Bytes{std::string("\x89PNG\0\x01", 6)};
    cs.changes.push_back({ChangeKind::Insert, {}, r});
    ger::ServerAnswer a = c.Call("SetEmpresa", SetArgs(cs));
    ASSERT_TRUE(a.ok()) << a.error;
  }
  // The change set renaming the company as `read` holds it.
  static ChangeSet Rename(const DataPacket& read, const std::string& name) {
    ChangeSet cs;
    cs.fields = read.fields;
    Row n = read.rows.at(0);
    n[read.IndexOf("NMEMPRESA")] = name;
    cs.changes.push_back({ChangeKind::Update, read.rows.at(0), n});
    return cs;
  }
};

}  // namespace

TEST_F(PeopleTest, TwoPeopleSaveOneAfterTheOtherAndTheHistoryShowsBoth) {
  const std::string ana = AddPerson("Ana Souza"), bruno = AddPerson("Bruno");
  Start();
  auto a = Seat(ana, "estacao-ana"), b = Seat(bruno, "estacao-bruno");
  EXPECT_EQ(a->Call("GetUsuario").payload->Value().as_string(), "Ana Souza");
  NewCompany(*a, "07", "Primeira");
  ASSERT_TRUE(b->Call("SetEmpresa", SetArgs(Rename(PacketOf(*b, "GetEmpresa"), "Segunda"))).ok());

  // Newest first: Bruno's rename, then Ana's insert.
  EXPECT_EQ(Changes(*a, "07", "NMEMPRESA"),
            (std::vector<std::string>{"Bruno|estacao-bruno|A|Primeira|Segunda",
                                      "Ana Souza|estacao-ana|I||Primeira"}));
  // A picture is its size and digest, not its bytes.
  const auto logo = Changes(*a, "07", "DSARQLOGOEMPCLOB");
  ASSERT_EQ(logo.size(), 1u);
  EXPECT_EQ(logo[0], "Ana Souza|estacao-ana|I||6 bytes, SHA-256 " +
                         ger::server::Sha256Hex(std::string("\x89PNG\0\x01", 6)));
  // Another company's history is not this one's.
  EXPECT_TRUE(PacketOf(*a, "GetHistorico", {json::value("08")}).rows.empty());

  // The CSV of ger-admin reads back field by field, a comma in a value included.
  ASSERT_TRUE(
      b->Call("SetEmpresa", SetArgs(Rename(PacketOf(*b, "GetEmpresa"), "Dois, \"3\""))).ok());
  const std::string csv =
      ger::server::HistoryCsv(ger::server::HistoryRows(Db(), {"07", "Bruno", "2000-01-01"}));
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "when_utc,person,seat,table,key,company,operation,column,old,new");
  std::vector<std::vector<std::string>> rows;
  while (std::getline(lines, line)) rows.push_back(ger::server::SplitCsvLine(line));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].size(), 10u);
  EXPECT_EQ(rows[0][1], "Bruno");
  EXPECT_EQ(rows[0][4], "07");
  EXPECT_EQ(rows[0][8], "Segunda");
  EXPECT_EQ(rows[0][9], "Dois, \"3\"");
  EXPECT_TRUE(ger::server::HistoryRows(Db(), {"", "", "2999-01-01"}).rows.empty());
  EXPECT_THROW(ger::server::HistoryRows(Db(), {"", "", "31/12/2020"}), std::runtime_error);
}

TEST_F(PeopleTest, ADisabledPersonIsRefusedAtTheNextCallOnEveryServer) {
  const std::string ana = AddPerson("Ana");
  Start({"--token", "servico-de-teste-123"});
  std::unique_ptr<ger::server::ServerProcess> second;
  std::unique_ptr<ger::TNetConnection> onSecond;
  if (!gPgUrl.empty()) {  // one SQLite file is served by one server
    second = StartServer({}, dbUrl_);
    onSecond = Seat(ana, "s2", second->Port());
    ASSERT_TRUE(onSecond->Call("GetVEmp").ok());
  }
  auto a = Seat(ana, "s1");
  ASSERT_TRUE(a->Call("GetVEmp").ok());
  // The service token stays valid, as the person "servico"; a wrong token is refused.
  EXPECT_EQ(Seat("servico-de-teste-123", "script")->Call("GetUsuario").payload->Value(),
            json::value("servico"));
  EXPECT_EQ(Seat("000000000000.00000000000000000000000000000000", "x")->Call("GetVEmp").error,
            kRefused);
  EXPECT_EQ(Seat("", "x")->Call("GetVEmp").error, kRefused);

  ger::server::SetPersonActive(Db(), "Ana", false);
  EXPECT_EQ(a->Call("GetVEmp").error, kRefused);
  if (onSecond) {
    EXPECT_EQ(onSecond->Call("GetVEmp").error, kRefused);
  }
  ger::server::SetPersonActive(Db(), "Ana", true);
  EXPECT_TRUE(Seat(ana, "s1")->Call("GetVEmp").ok());
  // A new token withdraws the old one.
  const std::string renewed = ger::server::AddPerson(Db(), "Ana", true);
  EXPECT_EQ(Seat(ana, "s1")->Call("GetVEmp").error, kRefused);
  EXPECT_TRUE(Seat(renewed, "s1")->Call("GetVEmp").ok());
  if (second) {
    EXPECT_EQ(second->Stop(), 0);
  }

  const auto people = ger::server::ListPeople(Db());
  ASSERT_EQ(people.size(), 1u);
  EXPECT_EQ(people[0].name, "Ana");
  EXPECT_TRUE(people[0].active);
  EXPECT_FALSE(people[0].lastSeen.empty());
  EXPECT_THROW(ger::server::AddPerson(Db(), "Ana"), std::runtime_error);
  EXPECT_THROW(ger::server::AddPerson(Db(), "servico"), std::runtime_error);
  // Only the hash is kept.
  for (const Row& r : Db().Query("SELECT * FROM USUARIO").rows)
    for (const Value& v : r) EXPECT_NE(S(v), renewed);
}

TEST_F(PeopleTest, WithoutPeopleNorTokenLoopbackCallsAreServedAsLocal) {
  Start();
  EXPECT_EQ(net_.Call("GetUsuario").payload->Value(), json::value("local"));
}

TEST_F(PeopleTest, ARefusedOrFailedSaveWritesNoHistory) {
  const std::string ana = AddPerson("Ana"), bruno = AddPerson("Bruno");
  Start();
  auto a = Seat(ana, "a"), b = Seat(bruno, "b");
  NewCompany(*a, "01", "Um");
  const DataPacket readByA = PacketOf(*a, "GetEmpresa"), readByB = PacketOf(*b, "GetEmpresa");
  ASSERT_TRUE(a->Call("SetEmpresa", SetArgs(Rename(readByA, "Um de Ana"))).ok());
  const long long before = HistoryCount();
  ASSERT_GT(before, 0);

  // The conflict: Bruno saves over what Ana changed meanwhile.
  EXPECT_FALSE(b->Call("SetEmpresa", SetArgs(Rename(readByB, "Um de Bruno"))).ok());
  EXPECT_EQ(HistoryCount(), before);

  // A set whose second row fails after the first was written: all of it is rolled back.
  const DataPacket now = PacketOf(*b, "GetEmpresa");
  ChangeSet failing = Rename(now, "Renomeada");
  Row dup(now.fields.size());
  dup[now.IndexOf("CDEMPRESA")] = std::string("01");
  dup[now.IndexOf("NMEMPRESA")] = std::string("Duplicada");
  failing.changes.push_back({ChangeKind::Insert, {}, dup});
  EXPECT_EQ(b->Call("SetEmpresa", SetArgs(failing)).error, "Já existe um registro com esta chave.");
  EXPECT_EQ(HistoryCount(), before);

  // The history only grows, for the server's own role too.
  EXPECT_THROW(Db().Execute("DELETE FROM HISTORICO"), ger::db::DbError);
  EXPECT_THROW(Db().Execute("UPDATE HISTORICO SET NMUSUARIO = 'x'"), ger::db::DbError);
  EXPECT_EQ(HistoryCount(), before);
}

TEST_F(PeopleTest, ALinkKeepsTheCpfMaskedAndANeighbourhoodIsRecorded) {
  EXPECT_EQ(ger::server::HistoryText("NRCPFREPRES", std::string("123.456.789-09")),
            "***.***.***-09");
  EXPECT_EQ(ger::server::HistoryText("NMEMPRESA", std::string("123")), "123");
  Start();
  ASSERT_TRUE(net_.Call("InsertBairro", {"1058", "AC", "0001", "Vila Nova Histórica"}).ok());
  DataPacket rows = ger::server::HistoryRows(Db(), {});
  ASSERT_FALSE(rows.rows.empty());
  EXPECT_EQ(S(rows.rows[0][3]), "BAIRRO");
  EXPECT_EQ(S(rows.rows[0][9]), "Vila Nova Histórica");
  EXPECT_EQ(S(rows.rows[0][1]), "local");
}

TEST_F(PeopleTest, AChangeOfManyColumnsIsRecordedWholeOneRowPerColumnInOrder) {
  // More columns than one statement writes: each statement's rows are the next ones.
  ger::server::CreateSchema(Db());
  std::vector<ger::server::ColumnChange> columns;
  for (int i = 0; i < 120; ++i)
    columns.push_back({"COLUNA" + std::to_string(i), Value{"antes " + std::to_string(i)},
                       Value{"depois " + std::to_string(i)}});
  {
    ger::server::CallerScope who({"Ana", "mesa-1"});
    ger::db::Transaction tx(Db());
    ger::server::RecordChange(Db(), "EMPRESA", ger::server::kHistoryUpdate, "05", "05", columns);
    tx.Commit();
  }
  const DataPacket rows = Db().Query(
      "SELECT NMUSUARIO, NMESTACAOHISTORICO, DSCHAVEHISTORICO, NMCOLUNAHISTORICO, "
      "DSANTESHISTORICO, DSDEPOISHISTORICO FROM HISTORICO ORDER BY NRHISTORICO");
  ASSERT_EQ(rows.rows.size(), columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    std::string line;
    for (const Value& v : rows.rows[i]) line += S(v) + "|";
    EXPECT_EQ(line, "Ana|mesa-1|05|COLUNA" + std::to_string(i) + "|antes " + std::to_string(i) +
                        "|depois " + std::to_string(i) + "|");
  }
}
