// Working from the keyboard alone: Enter and Escape reach a dialog's default and cancel buttons,
// Enter moves to the next box on a maintenance form, and lists and radio groups are chosen with
// the arrows as with the mouse.
#include "forms/frmpadrao.h"
#include "forms/frmrotgeral.h"
#include "ui_fixture.h"

namespace ger::testing {
namespace {

namespace G = ui::Gestures;

class KeyboardTest : public UiTest {
 protected:
  // The keys' clock stands still unless a test lets time pass.
  std::chrono::steady_clock::time_point now{};
  void SetUp() override {
    UiTest::SetUp();
    Application().Clock = [this] { return now; };
  }
  void Pause() { now += std::chrono::seconds(2); }
};

struct Dialog : TfrmRotiGeral {
  TEdit edtNome{this, "edtNome"};
  TMemo memTexto{this, "memTexto"};
  int confirmed = 0;
  Dialog() : TfrmRotiGeral("frmDialogo") {
    edtNome.SetParent(&grbRotina);
    edtNome.SetTabOrder(0);
    memTexto.SetParent(&grbRotina);
    memTexto.SetTabOrder(1);
    sbtConfirma.OnClick = [this](TComponent&) { ++confirmed; };
    Show();
  }
};

TEST_F(KeyboardTest, EnterClicksTheDefaultButtonAndEscapeTheCancelButton) {
  Dialog d;
  G::Type(d.edtNome, "abc");
  G::Key(d.edtNome, "enter");
  EXPECT_EQ(d.confirmed, 1);
  EXPECT_EQ(d.edtNome.Text(), "abc");
  // A memo keeps Enter for its new line; Ctrl+Enter is not a dialog key.
  G::Type(d.memTexto, "um");
  G::Key(d.memTexto, "enter");
  G::Key(d.memTexto, "ctrl+enter");
  EXPECT_EQ(d.confirmed, 1);
  EXPECT_EQ(d.memTexto.Text(), "um\n");
  // A disabled default button takes nothing.
  d.sbtConfirma.SetEnabled(false);
  G::Key(d.edtNome, "enter");
  EXPECT_EQ(d.confirmed, 1);
  // Escape clicks cancel, which closes the dialog.
  G::Key(d.memTexto, "escape");
  EXPECT_FALSE(d.Visible());
}

struct Maintenance : TfrmPadrao {
  TDBEdit dbeCodigo{this, "dbeCodigo"};
  TDBEdit dbeNome{this, "dbeNome"};
  TDBMemo dbmNota{this, "dbmNota"};
  TClientDataSet cds{"cdsTeste"};
  std::vector<std::string> exits;
  Maintenance() : TfrmPadrao("frmManutencao") {
    cds.AddField({"CODIGO", FieldKind::String, 2});
    cds.AddField({"NOME", FieldKind::String, 20});
    cds.AddField({"NOTA", FieldKind::Memo, 0});
    cds.SetData(DataPacket{cds.FieldDefs(), {}});
    dtsPadrao.SetDataSet(&cds);
    int order = 0;
    for (TControl* c : std::initializer_list<TControl*>{&dbeCodigo, &dbeNome, &dbmNota}) {
      c->SetParent(&tshFormulario);
      c->SetTabOrder(order++);
    }
    dbeCodigo.SetDataSource(dtsPadrao);
    dbeCodigo.SetDataField("CODIGO");
    dbeNome.SetDataSource(dtsPadrao);
    dbeNome.SetDataField("NOME");
    dbmNota.SetDataSource(dtsPadrao);
    dbmNota.SetDataField("NOTA");
    dbeCodigo.OnExit = [this](TComponent&) { exits.push_back("codigo " + dbeCodigo.Text()); };
  }
};

TEST_F(KeyboardTest, EnterInABoxOfAMaintenanceFormMovesToTheNextBoxThroughItsExit) {
  Maintenance& m = Application().CreateForm<Maintenance>();
  m.Show();
  G::Click(m.sbtIncluir);
  m.pgcPadrao.SetActivePage(m.tshFormulario);
  G::Type(m.dbeCodigo, "07");
  G::Key(m.dbeCodigo, "enter");
  EXPECT_EQ(m.ActiveControl(), &m.dbeNome);
  EXPECT_EQ(m.exits, std::vector<std::string>{"codigo 07"});
  EXPECT_EQ(m.cds.FieldByName("CODIGO").AsString(), "07");
  G::Type(m.dbeNome, "Sete\n");  // a typed line break is Enter too
  EXPECT_EQ(m.ActiveControl(), &m.dbmNota);
  EXPECT_EQ(m.cds.FieldByName("NOME").AsString(), "Sete");
  G::Type(m.dbmNota, "a\nb");  // the memo keeps its line breaks
  EXPECT_EQ(m.ActiveControl(), &m.dbmNota);
  EXPECT_EQ(m.dbmNota.Text(), "a\nb");
}

struct Lists : TForm {
  TComboBox cbxMes{this, "cbxMes"};
  TComboBox cbxLivre{this, "cbxLivre"};
  TRadioGroup rdgTipo{this, "rdgTipo"};
  std::vector<std::string> changes;
  Lists() : TForm("frmListas") {
    cbxMes.SetParent(this);
    cbxMes.SetStyle(TComboBoxStyle::csDropDownList);
    cbxMes.SetItems({"Janeiro", "Fevereiro", "Março"});
    cbxMes.OnChange = [this](TComponent&) { changes.push_back("mes " + cbxMes.Text()); };
    cbxLivre.SetParent(this);
    cbxLivre.SetItems({"Sim", "Não"});
    rdgTipo.SetParent(this);
    rdgTipo.SetItems({"Micro", "Pequena", "Outras"});
    rdgTipo.OnClick = [this](TComponent&) {
      changes.push_back("tipo " + std::to_string(rdgTipo.ItemIndex()));
    };
    Show();
  }
};

TEST_F(KeyboardTest, TheArrowsChooseInListsAndRadioGroupsAsTheUserDoes) {
  Lists l;
  G::Key(l.cbxMes, "down");
  G::Key(l.cbxMes, "down");
  EXPECT_EQ(l.cbxMes.Text(), "Fevereiro");
  G::Key(l.cbxMes, "end");
  G::Key(l.cbxMes, "down");  // already the last: nothing changes
  G::Key(l.cbxMes, "home");
  EXPECT_EQ(l.changes,
            (std::vector<std::string>{"mes Janeiro", "mes Fevereiro", "mes Março", "mes Janeiro"}));
  // An editable list: the arrows choose too, the other keys edit its text.
  G::Key(l.cbxLivre, "down");
  EXPECT_EQ(l.cbxLivre.Text(), "Sim");
  G::Key(l.cbxLivre, "backspace");
  EXPECT_EQ(l.cbxLivre.Text(), "Si");
  l.changes.clear();
  G::Key(l.rdgTipo, "down");
  G::Key(l.rdgTipo, "right");
  G::Key(l.rdgTipo, "right");  // past the last: stays
  G::Key(l.rdgTipo, "up");
  EXPECT_EQ(l.changes, (std::vector<std::string>{"tipo 0", "tipo 1", "tipo 2", "tipo 1"}));
}

TEST_F(KeyboardTest, ALetterChoosesTheNextEntryStartingWithItAndSpaceTicksABox) {
  Lists l;
  l.cbxMes.SetItems({"", "Janeiro", "Fevereiro", "Junho", "julho"});
  G::Key(l.cbxMes, "j");  // either case
  G::Key(l.cbxMes, "J");
  G::Key(l.cbxMes, "j");
  G::Key(l.cbxMes, "j");  // wraps round to the first
  Pause();
  G::Key(l.cbxMes, "x");  // no entry: nothing changes
  Pause();
  G::Key(l.cbxMes, "F");  // the only one: chosen once, then no change
  G::Key(l.cbxMes, "f");
  EXPECT_EQ(l.cbxMes.Text(), "Fevereiro");
  EXPECT_EQ(l.changes, (std::vector<std::string>{"mes Janeiro", "mes Junho", "mes julho",
                                                 "mes Janeiro", "mes Fevereiro"}));
  // The key handler sees the letter first and may drop it.
  l.cbxMes.OnKeyPress = [](TComponent&, char32_t& key) { key = 0; };
  G::Key(l.cbxMes, "j");
  EXPECT_EQ(l.cbxMes.Text(), "Fevereiro");

  TCheckBox chkAtivo(&l, "chkAtivo");
  chkAtivo.SetParent(&l);
  int clicks = 0;
  chkAtivo.OnClick = [&clicks](TComponent&) { ++clicks; };
  G::Key(chkAtivo, " ");
  EXPECT_TRUE(chkAtivo.Checked());
  chkAtivo.SetState(TCheckBoxState::cbGrayed);
  G::Key(chkAtivo, " ");  // from the third state, as a click: ticked
  EXPECT_TRUE(chkAtivo.Checked());
  G::Key(chkAtivo, " ");
  G::Key(chkAtivo, "x");
  EXPECT_FALSE(chkAtivo.Checked());
  EXPECT_EQ(clicks, 3);
}

TEST_F(KeyboardTest, LettersTypedInQuickSuccessionSearchADropDownListByPrefix) {
  Lists l;
  l.cbxMes.SetItems({"Janeiro", "Fevereiro", "Março", "Abril", "Maio", "Junho", "Julho"});
  G::Type(l.cbxMes, "Mar");
  EXPECT_EQ(l.cbxMes.Text(), "Março");
  Pause();
  G::Type(l.cbxMes, "jul");
  EXPECT_EQ(l.cbxMes.Text(), "Julho");
  Pause();
  G::Type(l.cbxMes, "a");  // after a pause a letter starts a new search
  EXPECT_EQ(l.cbxMes.Text(), "Abril");
  Pause();
  G::Type(l.cbxMes, "ma");  // the next entry with M, kept while the prefix still fits
  EXPECT_EQ(l.cbxMes.Text(), "Maio");
  G::Type(l.cbxMes, "r");  // "mar", without the accent
  EXPECT_EQ(l.cbxMes.Text(), "Março");
  G::Type(l.cbxMes, "x");  // "marx" is no entry: nothing changes
  EXPECT_EQ(l.cbxMes.Text(), "Março");
  EXPECT_EQ(l.changes, (std::vector<std::string>{"mes Março", "mes Junho", "mes Julho", "mes Abril",
                                                 "mes Maio", "mes Março"}));
  // After a pause "a" searches alone: Abril, where "ja" in one go is Janeiro.
  Pause();
  G::Type(l.cbxMes, "j");
  EXPECT_EQ(l.cbxMes.Text(), "Junho");
  Pause();
  G::Type(l.cbxMes, "a");
  EXPECT_EQ(l.cbxMes.Text(), "Abril");
  Pause();
  G::Type(l.cbxMes, "ja");
  EXPECT_EQ(l.cbxMes.Text(), "Janeiro");
}

TEST_F(KeyboardTest, ABrowsedRecordsListIgnoresTheArrows) {
  BoxForm f;
  TDBComboBox dcbNome(&f, "dcbNome");
  dcbNome.SetParent(&f.tshUm);
  dcbNome.SetStyle(TComboBoxStyle::csDropDownList);
  dcbNome.SetItems({"Um", "Dois"});
  dcbNome.SetDataSource(f.dts);
  dcbNome.SetDataField("NOME");
  G::Key(dcbNome, "down");
  EXPECT_EQ(dcbNome.Text(), "Um");
  EXPECT_EQ(f.cds.State(), DataSetState::Browse);
  f.cds.Edit();
  G::Key(dcbNome, "down");
  G::Focus(f.dbeCodigo);
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "Dois");
}

}  // namespace
}  // namespace ger::testing
