// Editing in a data-aware grid: where a cell's edit is committed, the keys the grid acts on, a
// masked cell, focusing a field's column from a check, and the column-enter handler sending the
// user back to a cell without running again.
#include "ui_fixture.h"

namespace ger::testing {
namespace {

namespace G = ui::Gestures;

class GridEditingTest : public UiTest {};

struct Grade : TForm {
  TClientDataSet cds{"cdsGrade"};
  TDataSource dts{"dtsGrade"};
  TEdit edtAntes{this, "edtAntes"};
  TDBGrid dbg{this, "dbgGrade"};
  TEdit edtDepois{this, "edtDepois"};
  std::vector<std::string> events;

  Grade() : TForm("frmGrade") {
    cds.AddField({"CODIGO", FieldKind::String, 2}).SetEditMask("99;0; ");
    cds.AddField({"NOME", FieldKind::String, 5});
    cds.AddField({"CPF", FieldKind::String, 11}).SetEditMask("999.999.999-99;0; ");
    cds.AddField({"ATIVO", FieldKind::String, 1});
    cds.SetData(
        {cds.FieldDefs(),
         {{std::string("01"), std::string("Ana"), std::string("52998224725"), std::string("S")},
          {std::string("02"), std::string("Bia"), Value{}, std::string("N")}}});
    cds.FieldByName("ATIVO").OnGetText = [](TField& f, std::string& text, bool) {
      text = f.AsString() == "S" ? "Sim" : f.AsString() == "N" ? "Não" : "";
    };
    cds.FieldByName("ATIVO").OnSetText = [](TField& f, const std::string& text) {
      if (text == "Sim") f.SetAsString("S");
      if (text == "Não") f.SetAsString("N");
    };
    cds.BeforePost = [this](TDataSet&) { events.push_back("post"); };
    dts.AutoEdit = true;
    dts.SetDataSet(&cds);
    for (TControl* c : std::initializer_list<TControl*>{&edtAntes, &dbg, &edtDepois})
      c->SetParent(this);
    edtAntes.SetTabOrder(0);
    dbg.SetTabOrder(1);
    edtDepois.SetTabOrder(2);
    dbg.Options.Tabs = true;
    dbg.SetDataSource(dts);
    dbg.AddColumn("CODIGO");
    dbg.AddColumn("NOME");
    dbg.AddColumn("CPF").ReadOnly = true;
    dbg.AddColumn("ATIVO").PickList = {"Sim", "Não"};
    dbg.OnColExit = [this](TComponent&) { events.push_back("exit " + Field()); };
    dbg.OnColEnter = [this](TComponent&) { events.push_back("enter " + Field()); };
    Show();
  }
  std::string Field() const { return dbg.SelectedField()->FieldName(); }
  std::string Text(const char* name) { return cds.FieldByName(name).AsString(); }
};

TEST_F(GridEditingTest, ACellsEditIsCommittedWhenItsCellOrRowIsLeftOrTheRowPosted) {
  Grade f;
  G::GridCol(f.dbg, "NOME");
  f.events.clear();
  G::GridType(f.dbg, "Clara");
  EXPECT_EQ(f.Text("NOME"), "Ana");  // still in the cell
  EXPECT_EQ(f.cds.State(), DataSetState::Edit);
  G::GridCol(f.dbg, "ATIVO");
  EXPECT_EQ(f.Text("NOME"), "Clara");
  EXPECT_EQ(f.events, (std::vector<std::string>{"exit NOME", "enter ATIVO"}));

  // The pick list's choice goes through the field's set-text handler when the row is left, and
  // leaving the row posts it.
  G::GridChoose(f.dbg, "Não");
  EXPECT_EQ(f.dbg.CellTexts()[0][3], "Não");
  EXPECT_EQ(f.Text("ATIVO"), "S");
  EXPECT_THROW(G::GridChoose(f.dbg, "Talvez"), ui::EGestureError);
  f.events.clear();
  G::GridRow(f.dbg, 1);
  EXPECT_EQ(f.events, std::vector<std::string>{"post"});
  EXPECT_EQ(f.cds.State(), DataSetState::Browse);
  G::GridRow(f.dbg, 0);
  EXPECT_EQ(f.Text("ATIVO"), "N");
  EXPECT_EQ(f.Text("NOME"), "Clara");

  // Before a post from code (a tool button) the cell is committed too.
  G::GridChoose(f.dbg, "Sim");
  f.cds.Post();
  EXPECT_EQ(f.Text("ATIVO"), "S");
}

TEST_F(GridEditingTest, AMaskedCellTakesOnlyWhatItsMaskTakesAndStoresWithoutLiterals) {
  Grade f;
  G::GridType(f.dbg, "a7x");
  EXPECT_EQ(f.dbg.CellTexts()[0][0], "7 ");
  G::GridType(f.dbg, "35");  // two positions only
  EXPECT_EQ(f.dbg.CellTexts()[0][0], "73");
  G::Key(f.dbg, "backspace");
  EXPECT_EQ(f.dbg.CellTexts()[0][0], "7 ");
  G::GridCol(f.dbg, "NOME");
  EXPECT_EQ(f.Text("CODIGO"), "7");
  // A read-only column takes nothing; a plain one stops at the field's size.
  G::GridType(f.dbg, "Beatriz");
  G::GridCol(f.dbg, "CPF");
  EXPECT_EQ(f.Text("NOME"), "Beatr");
  G::GridType(f.dbg, "1");
  EXPECT_FALSE(f.dbg.EditorActive());
  // The stored number is shown under its mask on every row.
  EXPECT_EQ(f.dbg.CellTexts()[0][2], "529.982.247-25");
  EXPECT_EQ(f.dbg.CellTexts()[1][2], "");
  EXPECT_EQ(f.cds.FieldByName("CPF").Text(), "52998224725");
}

TEST_F(GridEditingTest, TabMovesBetweenColumnsBothWaysAndLeavesTheGridAtItsEnds) {
  Grade f;
  G::Focus(f.dbg);
  G::Key(f.dbg, "tab");
  EXPECT_EQ(f.Field(), "NOME");
  G::Key(f.dbg, "shift+tab");
  EXPECT_EQ(f.Field(), "CODIGO");
  G::Key(f.dbg, "shift+tab");
  EXPECT_TRUE(f.edtAntes.Focused());
  G::Focus(f.dbg);
  G::GridCol(f.dbg, "ATIVO");
  // Typed keys are the screen's to discard; Tab still moves on.
  f.dbg.OnKeyPress = [](TComponent&, char32_t& key) { key = 0; };
  G::Key(f.dbg, "tab");
  EXPECT_TRUE(f.edtDepois.Focused());
}

TEST_F(GridEditingTest, EscapePutsTheCellBackThenCancelsTheRowsEditEvenWhenKeysAreDiscarded) {
  Grade f;
  f.dbg.OnKeyPress = [](TComponent&, char32_t& key) { key = 0; };
  G::GridCol(f.dbg, "ATIVO");
  G::GridChoose(f.dbg, "Não");
  G::Key(f.dbg, "escape");
  EXPECT_FALSE(f.dbg.EditorActive());
  EXPECT_EQ(f.cds.State(), DataSetState::Edit);
  EXPECT_EQ(f.dbg.CellTexts()[0][3], "Sim");
  G::Key(f.dbg, "escape");
  EXPECT_EQ(f.cds.State(), DataSetState::Browse);
}

TEST_F(GridEditingTest, AFieldWrittenFromCodeRefreshesItsOwnCellOnly) {
  Grade f;
  G::GridCol(f.dbg, "NOME");
  G::GridType(f.dbg, "Eva");
  f.cds.FieldByName("ATIVO").SetAsString("N");
  EXPECT_TRUE(f.dbg.EditorActive());
  EXPECT_EQ(f.dbg.CellTexts()[0][1], "Eva");
  f.cds.FieldByName("NOME").SetAsString("Zoe");
  EXPECT_FALSE(f.dbg.EditorActive());
  G::GridCol(f.dbg, "ATIVO");
  EXPECT_EQ(f.Text("NOME"), "Zoe");
}

TEST_F(GridEditingTest, FocusingAFieldSelectsItsColumnAndTheGrid) {
  Grade f;
  G::Focus(f.edtDepois);
  f.events.clear();
  f.cds.FieldByName("ATIVO").FocusControl();
  EXPECT_TRUE(f.dbg.Focused());
  EXPECT_EQ(f.Field(), "ATIVO");
  EXPECT_EQ(f.events, (std::vector<std::string>{"exit CODIGO", "enter ATIVO"}));
  // Nothing to focus when the grid cannot take the focus.
  f.dbg.SetVisible(false);
  f.cds.FieldByName("CODIGO").FocusControl();
  EXPECT_EQ(f.Field(), "ATIVO");
}

TEST_F(GridEditingTest, AColumnEnterHandlerSendingTheUserBackDoesNotRunAgain) {
  Grade f;
  int runs = 0;
  f.dbg.OnColEnter = [&](TComponent&) {
    ++runs;
    if (f.Text("CODIGO") == "9") {
      f.cds.FieldByName("CODIGO").FocusControl();
      throw EAbort();
    }
  };
  G::GridType(f.dbg, "9");
  EXPECT_FALSE(G::GridCol(f.dbg, "NOME"));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(f.Field(), "CODIGO");
  // The next move runs it again.
  G::GridType(f.dbg, "3");
  EXPECT_TRUE(G::GridCol(f.dbg, "NOME"));
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace ger::testing
