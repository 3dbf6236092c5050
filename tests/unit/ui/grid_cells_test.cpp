// The texts a data-aware grid shows on every row: each cell through its field's get-text handler,
// read without moving the cursor, with the new row of an insert in its place and the cell being
// edited showing the editor's text.
#include "ui_fixture.h"

namespace ger::testing {
namespace {

using Cells = std::vector<std::vector<std::string>>;

class GridCellsTest : public UiTest {};

// Representatives with a "used" flag stored as S/N and shown as Sim/Não.
struct RepresentativesForm : TForm {
  TClientDataSet cds{"cdsRepresentante"};
  TDataSource dts{"dtsRepresentante"};
  TDBGrid dbg{this, "dbgRepresentante"};
  std::vector<std::string> events;

  RepresentativesForm() : TForm("frmRepresentantes") {
    cds.AddField({"CDREPRES", FieldKind::String, 2});
    cds.AddField({"NMREPRES", FieldKind::String, 30});
    cds.AddField({"IDUTILIZADO", FieldKind::String, 1});
    cds.AddField({"VRCOMISSAO", FieldKind::Float, 0});
    cds.SetData({cds.FieldDefs(),
                 {{std::string("01"), std::string("Ana"), std::string("S"), 2.5},
                  {std::string("02"), std::string("Bia"), std::string("N"), Value{}},
                  {std::string("03"), std::string("Caio"), std::string("S"), 10.0}}});
    cds.FieldByName("IDUTILIZADO").OnGetText = [](TField& f, std::string& text, bool) {
      text = f.AsString() == "S" ? "Sim" : f.AsString() == "N" ? "Não" : "";
    };
    cds.FieldByName("VRCOMISSAO").SetDisplayFormat("#,##0.00");
    cds.BeforeScroll = [this](TDataSet&) { events.push_back("BeforeScroll"); };
    cds.AfterScroll = [this](TDataSet&) { events.push_back("AfterScroll"); };
    dts.OnDataChange = [this](TDataSource&, TField*) { events.push_back("DataChange"); };
    dts.SetDataSet(&cds);
    dbg.SetParent(this);
    dbg.SetDataSource(dts);
    dbg.AddColumn("CDREPRES", "Código");
    dbg.AddColumn("NMREPRES", "Nome");
    dbg.AddColumn("IDUTILIZADO", "Utilizado");
    dbg.AddColumn("VRCOMISSAO", "Comissão");
    Show();
    events.clear();
  }
};

TEST_F(GridCellsTest, EveryRowShowsItsHandlersAndFormatsWhereverTheCursorIs) {
  RepresentativesForm f;
  Cells expected{
      {"01", "Ana", "Sim", "2,50"}, {"02", "Bia", "Não", ""}, {"03", "Caio", "Sim", "10,00"}};
  for (int row : {0, 2, 1}) {
    ui::Gestures::GridRow(f.dbg, row);
    f.events.clear();
    EXPECT_EQ(f.dbg.CellTexts(), expected) << "cursor on row " << row;
    EXPECT_EQ(f.cds.RecNo(), row + 1);
    EXPECT_TRUE(f.events.empty()) << "reading the cells fired " << f.events.front();
  }
}

TEST_F(GridCellsTest, AHandlerThatReadsOtherFieldsSeesTheRowBeingShown) {
  RepresentativesForm f;
  f.cds.FieldByName("NMREPRES").OnGetText = [&f](TField& field, std::string& text, bool) {
    text = field.AsString() + " (" + f.cds.FieldByName("CDREPRES").AsString() + ")";
  };
  auto cells = f.dbg.CellTexts();
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_EQ(cells[0][1], "Ana (01)");
  EXPECT_EQ(cells[1][1], "Bia (02)");
  EXPECT_EQ(cells[2][1], "Caio (03)");
}

TEST_F(GridCellsTest, AnInsertShowsTheNewRowInPlaceAndEveryStoredRow) {
  RepresentativesForm f;
  ui::Gestures::GridRow(f.dbg, 1);
  f.cds.Insert();  // before Bia
  f.cds.FieldByName("CDREPRES").SetValue(std::string("09"));
  f.cds.FieldByName("IDUTILIZADO").SetValue(std::string("N"));
  EXPECT_EQ(f.dbg.CellTexts(), (Cells{{"01", "Ana", "Sim", "2,50"},
                                      {"09", "", "Não", ""},
                                      {"02", "Bia", "Não", ""},
                                      {"03", "Caio", "Sim", "10,00"}}));
  EXPECT_EQ(f.dbg.Row(), 1);
  EXPECT_EQ(f.cds.State(), DataSetState::Insert);
}

TEST_F(GridCellsTest, TheEditedCellShowsTheEditorAndOtherRowsTheirStoredValues) {
  RepresentativesForm f;
  f.dts.AutoEdit = true;
  ui::Gestures::GridCol(f.dbg, "NMREPRES");
  ui::Gestures::GridType(f.dbg, "Beatriz");
  auto cells = f.dbg.CellTexts();
  EXPECT_EQ(cells[0][1], "Beatriz");  // the editor, not yet in the field
  EXPECT_EQ(cells[0][2], "Sim");
  EXPECT_EQ(cells[1][1], "Bia");
  EXPECT_EQ(f.cds.State(), DataSetState::Edit);
  // Reading the cells wrote nothing: the field still holds the stored name until the commit.
  EXPECT_EQ(f.cds.FieldByName("NMREPRES").AsString(), "Ana");
  f.cds.Post();
  EXPECT_EQ(f.dbg.CellTexts()[0][1], "Beatriz");
}

TEST_F(GridCellsTest, AClosedOrEmptyDataSetShowsNoRows) {
  RepresentativesForm f;
  f.cds.EmptyDataSet();
  EXPECT_TRUE(f.dbg.CellTexts().empty());
  f.cds.Close();
  EXPECT_TRUE(f.dbg.CellTexts().empty());
}

}  // namespace
}  // namespace ger::testing
