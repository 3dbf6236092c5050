// The server's largest answers are written from the database cursor straight to packet text;
// that text must be exactly what encoding the same query's packet gives, on both engines.
#include "fault_support.h"

using namespace gerfault;

namespace {

class EncodedQuery : public ::testing::Test {
 protected:
  FreshDatabase db_;
};

TEST_F(EncodedQuery, TextIsTheEncodingOfTheSameQueryAfterTheFieldChange) {
  auto c = ger::db::Connection::Open(db_.Url());
  const bool pg = c->GetEngine() == ger::db::Engine::PostgreSQL;
  c->ExecuteScript(std::string("CREATE TABLE T (K VARCHAR(4) NOT NULL PRIMARY KEY, NOME "
                               "VARCHAR(40), OBS TEXT, VR DOUBLE PRECISION, N INTEGER, "
                               "DT TIMESTAMP, LOGO ") +
                   (pg ? "BYTEA" : "BLOB") + ")");
  const std::string insert = "INSERT INTO T VALUES (:K, :NOME, :OBS, :VR, :N, :DT, :LOGO)";
  c->Execute(insert, {{"K", "01"},
                      {"NOME", "São João \"Matriz\" \\ Ltda"},
                      {"OBS", "linha 1\nlinha 2\ttab \x01 fim 😀 e um texto bem mais longo"},
                      {"VR", 1234.5678},
                      {"N", std::int64_t{-42}},
                      {"DT", *ger::DateTime::FromIso("2024-02-29T13:45:07.250")},
                      {"LOGO", ger::Bytes{std::string("\x00\xff\x10 logo", 8)}}});
  c->Execute(insert, {{"K", "02"},
                      {"NOME", ger::Value{}},
                      {"OBS", ""},
                      {"VR", 0.1},
                      {"N", ger::Value{}},
                      {"DT", ger::Value{}},
                      {"LOGO", ger::Value{}}});
  auto adjust = [](std::vector<ger::FieldDef>& fields) {
    for (auto& f : fields)
      f.flags = f.name == "K" ? ger::ProviderFlags{false, true, true} : ger::ProviderFlags::None();
  };
  for (const char* sql :
       {"SELECT * FROM T ORDER BY K", "SELECT K, N * 2 AS DOBRO FROM T ORDER BY K",
        "SELECT * FROM T WHERE K = 'nenhum'"}) {
    ger::DataPacket packet = c->Query(sql);
    adjust(packet.fields);
    EXPECT_EQ(c->QueryEncoded(sql, {}, adjust), ger::codec::Encode(packet)) << sql;
  }
  // Read back through the decoder, the text holds the stored values.
  ger::DataPacket back =
      ger::codec::DecodePacket(c->QueryEncoded("SELECT * FROM T ORDER BY K", {}, adjust));
  ASSERT_EQ(back.rows.size(), 2u);
  EXPECT_EQ(Text(back.rows[0][1]), "São João \"Matriz\" \\ Ltda");
  EXPECT_EQ(std::get<ger::Bytes>(back.rows[0][6]).data, std::string("\x00\xff\x10 logo", 8));
  EXPECT_EQ(back.fields[0].flags, (ger::ProviderFlags{false, true, true}));
}

}  // namespace
