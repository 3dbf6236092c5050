// The pick list's rows as shown and the filter the user types above them.
#include "ui/picklist.h"

#include <gtest/gtest.h>

#include "data/dataset.h"

namespace ger::testing {
namespace {

DataPacket Municipios() {
  DataPacket p;
  p.fields = {{"CDMUNICIPIO", FieldKind::String, 4}, {"NMMUNICIPIO", FieldKind::String, 40}};
  for (auto [code, name] : {std::pair{"5030", "São Paulo"}, std::pair{"2240", "Lagoa de São Roque"},
                            std::pair{"0550", "Vila Bela da Santíssima Trindade"},
                            std::pair{"3550", "Sapopema"}, std::pair{"1000", "CAMPINAS"}})
    p.rows.push_back({std::string(code), std::string(name)});
  return p;
}

std::vector<std::string> Names(const ui::PickListModel& m) {
  std::vector<std::string> out;
  for (int row : m.Shown()) out.push_back(m.Cell(row, 1));
  return out;
}

TEST(PickListModel, ShowsVisibleFieldsUnderTheirLabelsInTheirMasks) {
  TClientDataSet cds("cdsNatureza");
  cds.AddField({"CDNATUJURI", FieldKind::String, 4}).SetEditMask("!999\\-9;0;_");
  cds.FieldByName("CDNATUJURI").SetDisplayLabel("Código");
  cds.AddField({"DSNATUJURI", FieldKind::String, 100}).SetDisplayLabel("Descrição");
  cds.AddField({"OCULTO", FieldKind::String, 1}).SetVisible(false);
  cds.AddField({"VALOR", FieldKind::Float, 0}).SetDisplayFormat("#,##0.00");
  cds.SetData({cds.FieldDefs(),
               {{std::string("2062"), std::string("Sociedade Limitada"), std::string("x"), 1234.5},
                {std::string("206"), Value{}, std::string("y"), Value{}}}});
  ui::PickListModel m(cds);
  EXPECT_EQ(m.Titles(), (std::vector<std::string>{"Código", "Descrição", "VALOR"}));
  ASSERT_EQ(m.RowCount(), 2);
  EXPECT_EQ(m.Cell(0, 0), "206-2");
  EXPECT_EQ(m.Cell(0, 2), "1.234,50");
  EXPECT_EQ(m.Cell(1, 0), "_20-6");
  EXPECT_EQ(m.Cell(1, 1), "");
  // The hidden column is neither shown nor searched.
  m.SetFilter("y");
  EXPECT_TRUE(m.Shown().empty());
}

TEST(PickListModel, FilterIgnoresCaseAccentsAndSurroundingBlanksAcrossEveryColumn) {
  TClientDataSet cds("qryMunicipio");
  cds.SetData(Municipios());
  ui::PickListModel m(cds);
  EXPECT_EQ(m.Shown().size(), 5u);
  EXPECT_TRUE(m.SetFilter(" sao "));
  EXPECT_EQ(Names(m), (std::vector<std::string>{"São Paulo", "Lagoa de São Roque"}));
  m.SetFilter("SANTÍSSIMA");
  EXPECT_EQ(Names(m), (std::vector<std::string>{"Vila Bela da Santíssima Trindade"}));
  m.SetFilter("campinas");
  EXPECT_EQ(Names(m), (std::vector<std::string>{"CAMPINAS"}));
  // The code column is searched too, but a match never runs from one cell into the next.
  m.SetFilter("550");
  EXPECT_EQ(Names(m), (std::vector<std::string>{"Vila Bela da Santíssima Trindade", "Sapopema"}));
  m.SetFilter("5030São");
  EXPECT_TRUE(m.Shown().empty());
  EXPECT_FALSE(m.IsShown(0));
}

TEST(PickListModel, NarrowingThenWideningTheFilterFindsEveryRowAgain) {
  TClientDataSet cds("qryMunicipio");
  cds.SetData(Municipios());
  ui::PickListModel m(cds);
  m.SetFilter("sa");
  EXPECT_EQ(Names(m), (std::vector<std::string>{"São Paulo", "Lagoa de São Roque",
                                                "Vila Bela da Santíssima Trindade", "Sapopema"}));
  m.SetFilter("sap");
  EXPECT_EQ(Names(m), (std::vector<std::string>{"Sapopema"}));
  EXPECT_FALSE(m.SetFilter("sap "));  // the same rows
  m.SetFilter("s");
  EXPECT_EQ(m.Shown().size(), 5u);
  m.SetFilter("");
  EXPECT_EQ(m.Shown().size(), 5u);
  EXPECT_EQ(m.Filter(), "");
  m.SetFilter("paulo");
  EXPECT_EQ(m.Shown(), (std::vector<int>{0}));
  EXPECT_TRUE(m.IsShown(0));
}

TEST(PickListModel, AnInactiveDatasetListsNothing) {
  TClientDataSet cds("cdsContador");
  cds.AddField({"CDCONTADOR2", FieldKind::String, 2});
  ui::PickListModel m(cds);
  EXPECT_EQ(m.RowCount(), 0);
  EXPECT_TRUE(m.Shown().empty());
  m.SetFilter("x");
  EXPECT_TRUE(m.Shown().empty());
}

}  // namespace
}  // namespace ger::testing
