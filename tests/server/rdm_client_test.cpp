// The typed client against the real server: each method reaches the server method of its name
// with its arguments in their places. The data is chosen so that two arguments given the other
// way round give another answer.
#include "contract/rdm_empresa.h"

#include "server_fixture.h"

using namespace gertest;
using ger::ChangeKind;
using ger::ChangeSet;
using ger::DataPacket;
using ger::Row;
using ger::ServerAnswer;
using ger::Value;
namespace json = boost::json;

namespace {

class RdmClientTest : public ServerTest {
 protected:
  ger::TRdmEmpresa rdm{net_};

  static DataPacket Rows(const ServerAnswer& a) {
    EXPECT_TRUE(a.ok()) << a.error;
    return a.ok() ? ger::codec::DecodePacket(a.payload->Text()) : DataPacket{};
  }
  static json::value Payload(const ServerAnswer& a) {
    EXPECT_TRUE(a.ok()) << a.error;
    return a.ok() ? a.payload->Value() : json::value();
  }
  static std::string S(const Value& v) {
    return ger::IsNull(v) ? "<null>" : std::get<std::string>(v);
  }
};

TEST_F(RdmClientTest, CompanyMethodsSaveWithTheEmptyBoxFlagsInTheirPlaces) {
  Start({"--demo"});
  DataPacket list = Rows(rdm.GetEmpresa());
  ASSERT_EQ(list.rows.size(), 3u);
  EXPECT_EQ(Rows(rdm.GetVerifEmpresa("02")).rows.size(), 1u);
  EXPECT_TRUE(Rows(rdm.GetVerifEmpresa("09")).rows.empty());
  const std::string cnpj = S(list.rows[0][list.IndexOf("NRINSJUREMPR")]);
  EXPECT_EQ(Rows(rdm.GetVerifInsc("J", cnpj)).rows.size(), 1u);
  EXPECT_TRUE(Rows(rdm.GetVerifInsc("F", cnpj)).rows.empty());
  EXPECT_EQ(Rows(rdm.GetVEmp()).rows.size(), 1u);
  EXPECT_EQ(Rows(rdm.GetVParGeral()).rows.size(), 1u);

  // Each flag empties its own column: the third (the fine) and the sixth (the external code).
  ChangeSet delta;
  delta.fields = list.fields;
  Row old = list.rows[1];
  Row now = old;
  now[list.IndexOf("NMEMPRESA")] = std::string("Renomeada");
  now[list.IndexOf("CDEXTERNO")] = std::string("EXT");
  delta.changes.push_back({ChangeKind::Update, old, now});
  ASSERT_TRUE(rdm.SetEmpresa(delta, false, false, true, false, false, true).ok());
  DataPacket after = Rows(rdm.GetEmpresa());
  const Row& saved = after.rows[1];
  EXPECT_EQ(S(saved[after.IndexOf("NMEMPRESA")]), "Renomeada");
  EXPECT_TRUE(ger::IsNull(saved[after.IndexOf("VRPEMULEMPR")]));
  EXPECT_FALSE(ger::IsNull(saved[after.IndexOf("VRPEMOREMPR")]));
  EXPECT_FALSE(ger::IsNull(saved[after.IndexOf("DTREGJUNCOM")]));
  EXPECT_TRUE(ger::IsNull(saved[after.IndexOf("CDEXTERNO")]));

  Db().Execute("DELETE FROM FILIAL WHERE CDEMPRESA = '03'");
  ASSERT_TRUE(rdm.Delete("03").ok());
  EXPECT_TRUE(Rows(rdm.GetVerifEmpresa("03")).rows.empty());
  // A refusal comes back as the answer's error, not as an exception.
  ServerAnswer refused = rdm.Delete("01");
  EXPECT_EQ(refused.error, "Empresa possui filiais cadastradas e não pode ser excluída.");
}

TEST_F(RdmClientTest, LookupsTakeTheCodeBeforeTheAllSwitch) {
  Start({"--demo"});
  EXPECT_EQ(Rows(rdm.GetCNAE("6201501", "")).rows.size(), 1u);
  EXPECT_EQ(Rows(rdm.GetCNAE("", "T")).rows.size(), 1332u);
  EXPECT_EQ(Rows(rdm.GetNatureza("", "T")).rows.size(), 92u);
  EXPECT_EQ(Rows(rdm.GetFPAS("515", "")).rows.size(), 1u);
  EXPECT_EQ(Rows(rdm.GetContador("", "T")).rows.size(), 2u);
  DataPacket one = Rows(rdm.GetContador("02", ""));
  ASSERT_EQ(one.rows.size(), 1u);
  EXPECT_EQ(S(one.rows[0][0]), "02");
}

TEST_F(RdmClientTest, NeighbourhoodsTakeCountryStateMunicipalityInOrder) {
  Start();
  EXPECT_EQ(Payload(rdm.InsertBairro("1058", "SP", "5030", "Ipiranga")), json::value(true));
  EXPECT_EQ(Payload(rdm.InsertBairro("1058", "SP", "5030", "IPIRANGA")), json::value(false));
  DataPacket all = Rows(rdm.GetPesqBairro("1058", "SP", "5030", ""));
  ASSERT_EQ(all.rows.size(), 1u);
  const std::string code = S(all.rows[0][0]);
  EXPECT_EQ(Rows(rdm.GetPesqBairro("1058", "SP", "5030", code)).rows.size(), 1u);
  EXPECT_TRUE(Rows(rdm.GetPesqBairro("1058", "RJ", "5030", "")).rows.empty());
  // The answer is a text, read without the payload check.
  EXPECT_EQ(Payload(rdm.GetBairro("5030", "ipiranga")), json::value(code));
  EXPECT_EQ(Payload(rdm.GetBairro("5030", "ipiranga", "1058", "SP")), json::value(code));
  EXPECT_EQ(Payload(rdm.GetBairro("5030", "ipiranga", "1058", "RJ")), json::value(""));
}

TEST_F(RdmClientTest, RepresentativesRegimeAndNotes) {
  Start({"--demo"});
  EXPECT_EQ(Rows(rdm.getRepresentante("01", "")).rows.size(), 2u);
  EXPECT_EQ(Payload(rdm.getVdRepresentante("02")), json::value(true));
  EXPECT_EQ(Payload(rdm.getVdRepresentante("77")), json::value(false));
  // Company 01 has representative 01 in use: another one may not be marked, 01 itself may.
  EXPECT_EQ(Payload(rdm.getVdRepresAtivo("03", "01")), json::value(true));
  EXPECT_EQ(Payload(rdm.getVdRepresAtivo("01", "01")), json::value(false));
  EXPECT_EQ(Rows(rdm.GetPesqRepresentante("", "T")).rows.size(), 3u);
  EXPECT_EQ(Rows(rdm.GetPesqRepresentante("02", "")).rows.size(), 1u);

  DataPacket links = Rows(rdm.getRepresentante("01", ""));
  ChangeSet unlink;
  unlink.fields = links.fields;
  unlink.changes.push_back({ChangeKind::Delete, links.rows[1], {}});
  ASSERT_TRUE(rdm.setRepresentante(unlink).ok());
  EXPECT_EQ(Rows(rdm.getRepresentante("01", "")).rows.size(), 1u);

  ASSERT_TRUE(rdm.setRegimeFilial("S", "02").ok());
  DataPacket branches = Db().Query("SELECT CDEMPRESA, IDCUMUPICOEMP FROM FILIAL ORDER BY CDFILIAL");
  for (const Row& r : branches.rows) EXPECT_EQ(S(r[1]), S(r[0]) == "02" ? "S" : "N") << S(r[0]);

  ger::VarArray params{Value(std::string("01"))};
  DataPacket notes = Rows(rdm.GetNotasExplicativas(params));
  ASSERT_EQ(notes.rows.size(), 1u);
  EXPECT_EQ(S(params.at(0)), "01");
  ChangeSet edit;
  edit.fields = notes.fields;
  Row changed = notes.rows[0];
  changed[1] = std::string("Nota nova");
  edit.changes.push_back({ChangeKind::Update, notes.rows[0], changed});
  ASSERT_TRUE(rdm.SetNotasExplicativas(edit).ok());
  EXPECT_EQ(S(Rows(rdm.GetNotasExplicativas(params)).rows.at(0)[1]), "Nota nova");
}

}  // namespace
