// The schema as the declared tables make it, on the suite's engine.
#include "schema.h"

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

}  // namespace
