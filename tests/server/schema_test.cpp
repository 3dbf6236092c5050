// The schema as the declared tables make it, on the suite's engine.
#include "schema.h"

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "contract/tables.h"
#include "server_fixture.h"

using namespace gertest;

namespace {

TEST_F(ServerTest, TheSchemaHoldsEveryDeclaredColumnWithItsKindSizeAndKey) {
  ger::server::CreateSchema(Db());
  ger::server::CreateSchema(Db());  // again: nothing changes, nothing fails
  for (const ger::record::Table* t : ger::record::ServerTables()) {
    std::vector<ger::FieldDef> got =
        Db().Query("SELECT * FROM " + std::string(t->name) + " WHERE 1 = 0").fields;
    ASSERT_EQ(got.size(), t->columns.size()) << t->name;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].name, t->columns[i].name) << t->name;
      EXPECT_EQ(got[i].kind, t->columns[i].kind) << t->name << "." << got[i].name;
      EXPECT_EQ(got[i].size, t->columns[i].size) << t->name << "." << got[i].name;
    }
  }
  // A composite key refuses a second row with the same parts, and no part may be null.
  const char* insert = "INSERT INTO EMPRREPRES (CDEMPRESA, CDREPRES, IDATIVO) VALUES (:E, :R, 'S')";
  Db().Execute(insert, {{"E", std::string("01")}, {"R", std::string("01")}});
  Db().Execute(insert, {{"E", std::string("01")}, {"R", std::string("02")}});
  EXPECT_THROW(Db().Execute(insert, {{"E", std::string("01")}, {"R", std::string("01")}}),
               ger::db::DbError);
  EXPECT_THROW(Db().Execute(insert, {{"E", std::string("02")}, {"R", ger::Value{}}}),
               ger::db::DbError);
}

TEST_F(ServerTest, ATableThatLacksADeclaredColumnStopsTheStartNamingIt) {
  Db().ExecuteScript("CREATE TABLE PARGERAL (CDOUTRO VARCHAR(4))");
  try {
    ger::server::CreateSchema(Db());
    ADD_FAILURE() << "the schema was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(),
                 "table PARGERAL of the database has no column CDFILIAL; add it or start on a "
                 "new database");
  }
}

// The demo set comes from the data folder's demo/ files, each value as its column's kind.
TEST_F(ServerTest, TheDemoSetIsReadFromItsFilesWithEachValueAsItsColumnsKind) {
  ger::server::CreateSchema(Db());
  ger::server::SeedDemo(Db(), GER_SOURCE_DIR "/data");
  ger::server::SeedDemo(Db(), GER_SOURCE_DIR "/data");  // again: the rows there are kept
  ger::DataPacket p = Db().Query(
      "SELECT CDEMPRESA, DSENDEEMPR, VRPEMOREMPR, DTREGJUNCOM, IDFORMAPUREMPR, DSARQLOGOEMP "
      "FROM EMPRESA ORDER BY CDEMPRESA");
  ASSERT_EQ(p.rows.size(), 3u);
  const ger::Row& first = p.rows[0];
  EXPECT_EQ(std::get<std::string>(first[1]), "Rua dos Pinheiros, 1200");  // quoted, with a comma
  EXPECT_EQ(std::get<double>(first[2]), 0.033);
  EXPECT_EQ(std::get<ger::DateTime>(first[3]), ger::DateTime::FromParts(2010, 3, 15));
  EXPECT_EQ(std::get<std::string>(first[4]), "");  // an empty text cell is an empty text
  EXPECT_TRUE(ger::IsNull(first[5]));              // a column the file leaves out is null
  EXPECT_EQ(Db().Query("SELECT CDREPRES FROM EMPRREPRES").rows.size(), 4u);
  EXPECT_EQ(Db().Query("SELECT CDBAIRRO FROM BAIRRO").rows.size(), 6u);
}

// A demo file that names a column its table lacks, or a value its column cannot take, stops the
// seeding before anything is added, naming the file.
TEST_F(ServerTest, ABadDemoFileAddsNothingAndIsNamed) {
  ger::server::CreateSchema(Db());
  const std::filesystem::path dir =
      std::filesystem::path(testing::TempDir()) / ("demo_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::copy(GER_SOURCE_DIR "/data/demo", dir / "demo");
  auto refused = [&](const std::string& file, const std::string& text, const std::string& why) {
    const std::filesystem::path path = dir / "demo" / file;
    const std::string saved = [&] {
      std::ifstream in(path);
      return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    std::ofstream(path, std::ios::trunc) << text;
    try {
      ger::server::SeedDemo(Db(), dir);
      ADD_FAILURE() << file << " was accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
    std::ofstream(path, std::ios::trunc) << saved;
    EXPECT_TRUE(Db().Query("SELECT CDQUALIFASSINA FROM QUALIFASSINA").rows.empty()) << file;
  };
  refused("centcust.csv", "CDCENTCUST,NMCUSTO\n0001,Adm\n", "column NMCUSTO");
  refused("empresa.csv", "CDEMPRESA,VRPEMOREMPR\n01,0;033\n", "'0;033' is not a number");
  refused("empresa.csv", "CDEMPRESA,DTREGJUNCOM\n01,15/03/2010\n", "is not a date");
  std::filesystem::remove_all(dir);
}

}  // namespace
