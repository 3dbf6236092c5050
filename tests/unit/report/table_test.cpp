// The report table: formats, order and groups, as both the pages and the spreadsheet get them.
#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "report/table.h"
#include "report_support.h"

namespace ger::report {
namespace {

using testing::Packet;

std::vector<std::string> Column(const Table& t, std::size_t c) {
  std::vector<std::string> out;
  for (const TableRow& r : t.rows) out.push_back(r.cells.at(c).text);
  return out;
}

Definition Def(const std::string& columns, const std::string& extra = "") {
  return ParseDefinition(R"({"code":"X","title":"T","source":{"object":"O","method":"M"},)" +
                         extra + R"("columns":)" + columns + "}");
}

TEST(ReportTable, RegistrationsShowUnderTheMaskOfTheirPersonType) {
  Definition d = Def(R"([{"format":"registration","fields":["NR","TP"]}])");
  DataPacket data = Packet({"NR", "TP"}, {{"11222333000181", "J"},
                                          {"12ABC34501DE35", "J"},
                                          {"12345678909", "F"},
                                          {"123456", "O"},
                                          {"11222333000181", Value{}},
                                          {"1122233", "J"},  // does not fill the mask
                                          {Value{}, "J"},
                                          {"*", "J"}});
  EXPECT_EQ(Column(BuildTable(d, data), 0),
            (std::vector<std::string>{"11.222.333/0001-81", "12.ABC.345/01DE-35", "123.456.789-09",
                                      "123456", "11222333000181", "1122233", "", ""}));
}

TEST(ReportTable, TextsJoinsNumbersDatesAndFlags) {
  Definition d = Def(R"([{"field":"IE"},
                         {"format":"join","fields":["MU","UF"],"separator":"/"},
                         {"format":"number","field":"VR","display":"#,##0.00"},
                         {"format":"date","field":"DT"},
                         {"format":"flag","field":"ID"}])");
  DataPacket data = Packet({"IE", "MU", "UF", "VR", "DT", "ID"},
                           {{"*", "São Paulo", "SP", 1234.5, DateTime::FromParts(2024, 2, 29), "S"},
                            {"110.042.490.114", Value{}, "RJ", std::int64_t{7}, Value{}, "N"},
                            {"  ", "Campinas ", "", Value{}, Value{}, Value{}}});
  data.fields[3].kind = FieldKind::Float;
  Table t = BuildTable(d, data);
  EXPECT_EQ(Column(t, 0), (std::vector<std::string>{"", "110.042.490.114", ""}));
  EXPECT_EQ(Column(t, 1), (std::vector<std::string>{"São Paulo/SP", "RJ", "Campinas"}));
  EXPECT_EQ(Column(t, 2), (std::vector<std::string>{"1.234,50", "7,00", ""}));
  // The spreadsheet gets numbers it can compute with: decimal comma, no thousands separator.
  ASSERT_EQ(t.rows.size(), 3u);
  ASSERT_GE(t.rows[0].cells.size(), 3u);
  EXPECT_EQ(t.rows[0].cells[2].csv, "1234,5");
  EXPECT_EQ(Column(t, 3), (std::vector<std::string>{"29/02/2024", "", ""}));
  EXPECT_EQ(Column(t, 4), (std::vector<std::string>{"Sim", "Não", ""}));
}

TEST(ReportTable, RowsFollowTheOrderWithoutRegardToCaseOrAccentsAndKeepTiesInPlace) {
  Definition d = Def(R"([{"field":"CD"},{"field":"NM"}])", R"("order":["NM"],)");
  DataPacket data = Packet({"CD", "NM"}, {{"01", "Zeta"},
                                          {"02", "árvore"},
                                          {"03", "Beta"},
                                          {"04", Value{}},
                                          {"05", "arvore"},
                                          {"06", "Beta"}});
  EXPECT_EQ(Column(BuildTable(d, data), 0),
            (std::vector<std::string>{"04", "05", "02", "03", "06", "01"}));
  Definition down = Def(R"([{"field":"CD"}])", R"("order":["-CD"],)");
  EXPECT_EQ(Column(BuildTable(down, data), 0),
            (std::vector<std::string>{"06", "05", "04", "03", "02", "01"}));
}

TEST(ReportTable, NumbersSortByValueNotByText) {
  Definition d = Def(R"([{"field":"N","format":"number"}])", R"("order":["N"],)");
  DataPacket data = Packet({"N"}, {{10.0}, {9.0}, {-1.0}, {100.0}});
  EXPECT_EQ(Column(BuildTable(d, data), 0), (std::vector<std::string>{"-1", "9", "10", "100"}));
}

TEST(ReportTable, GroupsComeInTheOrderOfTheirValuesWithTheirRowsInOrder) {
  Definition d =
      Def(R"([{"field":"CD"}])", R"("order":["CD"],"group":{"label":"Estado","field":"UF"},)");
  DataPacket data =
      Packet({"CD", "UF"}, {{"04", "SP"}, {"01", "SP"}, {"03", "MG"}, {"02", "*"}, {"05", "MG"}});
  Table t = BuildTable(d, data);
  EXPECT_EQ(Column(t, 0), (std::vector<std::string>{"02", "03", "05", "01", "04"}));
  std::vector<std::string> groups;
  for (const TableRow& r : t.rows) groups.push_back(r.group);
  EXPECT_EQ(groups, (std::vector<std::string>{"", "MG", "MG", "SP", "SP"}));
}

TEST(ReportTable, TextsAreMadeSafeToDraw) {
  Definition d = Def(R"([{"field":"NM"}])");
  // A stray legacy byte (Windows-1252 "ç"), a tab and a control character.
  DataPacket data = Packet({"NM"}, {{std::string("Associa\xE7\xE3o\tX\x01Y")}});
  EXPECT_EQ(Column(BuildTable(d, data), 0), std::vector<std::string>{"Associação XY"});
}

TEST(ReportTable, AColumnTheDataLacksIsNamed) {
  Definition d = Def(R"([{"field":"CD"},{"field":"NMFALTA"}])");
  try {
    BuildTable(d, Packet({"CD"}, {}));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("NMFALTA"), std::string::npos);
  }
}

}  // namespace
}  // namespace ger::report
