// What a data-aware grid shows of its dataset through its filter and order: the rows matching the
// search rule (case, accents and a registration's punctuation ignored, no match across two
// columns), the current row kept in view, both worked out again after the rows change, and the
// dataset's own order and cursor untouched.
#include <array>

#include "ui/listsearch.h"
#include "ui_fixture.h"

namespace ger::testing {
namespace {

class GridFilterTest : public UiTest {};

struct ListForm : TForm {
  TClientDataSet cds{"cdsEmpresa"};
  TDataSource dts{"dtsPadrao"};
  TDBGrid dbg{this, "dbgPadrao"};

  ListForm() : TForm("frmLista") {
    cds.AddField({"CDEMPRESA", FieldKind::String, 2});
    cds.AddField({"NMEMPRESA", FieldKind::String, 40});
    cds.AddField({"NRINSJUREMPR", FieldKind::String, 20});
    Load({{"01", "Zeta Metalúrgica", "11222333000181"},
          {"02", "Alfa", "77888999000181"},
          {"03", "Beta Metais", "52998224725"}});
    dts.SetDataSet(&cds);
    dbg.SetParent(this);
    dbg.SetDataSource(dts);
    dbg.AddColumn("CDEMPRESA");
    dbg.AddColumn("NMEMPRESA");
    dbg.SearchColumns = {{"CDEMPRESA"}, {"NMEMPRESA"}, {"NRINSJUREMPR", true}};
    Show();
  }
  void Load(const std::vector<std::array<const char*, 3>>& rows) {
    DataPacket p{cds.FieldDefs(), {}};
    for (const auto& r : rows)
      p.rows.push_back({std::string(r[0]), std::string(r[1]), std::string(r[2])});
    cds.SetData(p);
  }
  std::vector<std::string> Codes() {
    std::vector<std::string> out;
    for (const auto& row : dbg.CellTexts()) out.push_back(row.front());
    return out;
  }
  std::string Current() { return cds.FieldByName("CDEMPRESA").AsString(); }
};

using Codes = std::vector<std::string>;

TEST_F(GridFilterTest, TheSearchRuleIgnoresCaseAccentsAndARegistrationsPunctuationButNotColumns) {
  ListForm f;
  f.cds.SetRecNo(2);  // "Alfa", matching none of the texts below
  for (auto [text, want] :
       std::vector<std::pair<std::string, Codes>>{{"METALURGICA", {"01"}},
                                                  {"meta", {"01", "03"}},
                                                  {"77.888.999/0001", {"02"}},
                                                  {"529.982.247-25", {"03"}},
                                                  {"03Beta", {}},  // code and name are two columns
                                                  {"   ", {"01", "02", "03"}}}) {
    f.dbg.SetFilterText(text);
    if (!want.empty() && want.size() < 3) f.cds.SetRecNo(std::stoi(want.front()));
    EXPECT_EQ(f.Codes(), want) << "filter \"" << text << "\"";
    f.dbg.SetFilterText("");
    f.cds.SetRecNo(2);
  }
}

TEST_F(GridFilterTest, TheCurrentRowStaysInViewOnceMadeCurrentButNotWhenTheUsersTextLeavesItOut) {
  ListForm f;
  f.cds.SetRecNo(2);
  f.dbg.SetFilterText("meta");
  EXPECT_EQ(f.Codes(), (Codes{"01", "03"}));  // "Alfa" was current: left out by the new text
  EXPECT_EQ(f.dbg.Row(), -1);
  EXPECT_EQ(f.dbg.TotalCount(), 3);
  f.cds.SetRecNo(1);
  f.cds.SetRecNo(2);  // made current again (a find): shown
  EXPECT_EQ(f.Codes(), (Codes{"01", "02", "03"}));
  EXPECT_EQ(f.dbg.Row(), 1);
  f.cds.SetRecNo(1);
  EXPECT_EQ(f.Codes(), (Codes{"01", "03"}));
  // Altered so that it no longer matches: still in view while current.
  f.cds.Edit();
  f.cds.FieldByName("NMEMPRESA").SetAsString("Zeta Comércio");
  f.cds.Post();
  EXPECT_EQ(f.Codes(), (Codes{"01", "03"}));
  EXPECT_EQ(f.dbg.Row(), 0);
}

TEST_F(GridFilterTest, FilterAndOrderApplyAgainToWhateverTheDatasetHoldsAfterAReload) {
  ListForm f;
  f.dbg.TitleClick(1);
  f.dbg.TitleClick(1);  // by name, the other way
  EXPECT_TRUE(f.dbg.SortDescending());
  f.cds.SetRecNo(3);
  f.dbg.SetFilterText("a");
  EXPECT_EQ(f.Codes(), (Codes{"01", "03", "02"}));
  EXPECT_EQ(f.Current(), "03");
  // The dataset's own order and cursor are the dataset's: the grid only shows them so.
  EXPECT_EQ(f.cds.RecNo(), 3);
  f.cds.First();
  EXPECT_EQ(f.Current(), "01");
  // A reload with another company and a changed name: the same filter and order over the new rows.
  f.Load({{"01", "Zeta Metalúrgica", "11222333000181"},
          {"02", "Gama", "77888999000181"},
          {"03", "Beta Metais", "52998224725"},
          {"04", "Delta", "44555666000181"}});
  EXPECT_EQ(f.Codes(), (Codes{"01", "02", "04", "03"}));
  bool wrapped = false;
  f.cds.SetRecNo(4);  // "Delta", last but one shown
  auto found = f.dbg.FindRow("metais", true, wrapped);
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, 2);  // "Beta Metais", the next one down the order shown
  EXPECT_FALSE(wrapped);
  found = f.dbg.FindRow("zeta", true, wrapped);
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, 0);
  EXPECT_TRUE(wrapped);
  EXPECT_FALSE(f.dbg.FindRow("omega", false, wrapped));
}

}  // namespace
}  // namespace ger::testing
