// Typing, masks and the data-aware controls' refresh and commit rules.
#include "ui_fixture.h"

namespace ger::testing {
namespace {

using ui::Gestures::Focus;
using ui::Gestures::Key;
using ui::Gestures::Type;

class DataAwareTest : public UiTest {};

TEST_F(DataAwareTest, ABrowsedRecordRefusesTypingUnlessTheSourceEditsByItself) {
  BoxForm f;
  ASSERT_EQ(f.cds.State(), DataSetState::Browse);
  Type(f.dbeNome, "xyz");
  EXPECT_EQ(f.dbeNome.Text(), "Um");
  EXPECT_FALSE(f.dbeNome.DataLink().IsModified());
  EXPECT_EQ(f.cds.State(), DataSetState::Browse);

  BoxForm g(/*autoEdit=*/true);
  Type(g.dbeNome, "x");
  EXPECT_EQ(g.cds.State(), DataSetState::Edit);
  EXPECT_EQ(g.dbeNome.Text(), "Umx");
}

TEST_F(DataAwareTest, TheKeyHandlerRunsFirstThenTheFieldFilterThenTheMask) {
  BoxForm f;
  f.cds.Edit();
  std::vector<char32_t> seen;
  f.dbeValor.OnKeyPress = [&](TComponent&, char32_t& key) {
    seen.push_back(key);
    if (key == U'9') key = 0;  // the handler drops nines
  };
  Focus(f.dbeValor);
  ui::Gestures::Clear(f.dbeValor);
  Type(f.dbeValor, "1a9,5");
  EXPECT_EQ(seen, (std::vector<char32_t>{U'1', U'a', U'9', U',', U'5'}));
  EXPECT_EQ(f.dbeValor.Text(), "1,5");  // the letter fails the numeric field's filter

  f.cds.FieldByName("CODIGO").SetEditMask(">aa;0; ");
  Focus(f.dbeCodigo);
  ui::Gestures::Clear(f.dbeCodigo);
  Type(f.dbeCodigo, "b7");
  EXPECT_EQ(f.dbeCodigo.Text(), "B7");
  Focus(f.dbeNome);
  EXPECT_EQ(f.cds.FieldByName("CODIGO").AsString(), "B7");
}

TEST_F(DataAwareTest, ABoxBoundToAFieldThatHasAMaskShowsItAtOnce) {
  BoxForm f;
  f.cds.FieldByName("NOME").SetEditMask("99.99;0;_");
  TDBEdit box(&f, "dbeOutro");
  box.SetParent(&f.tshUm);
  box.SetDataSource(f.dts);
  box.SetDataField("NOME");
  EXPECT_EQ(box.EditMask(), "99.99;0;_");
  f.cds.Edit();
  f.cds.FieldByName("NOME").Clear();
  EXPECT_EQ(box.Text(), "__.__");
}

TEST_F(DataAwareTest, ClickingIntoAnEmptyOrPartlyFilledMaskedBoxTypesAfterWhatIsThere) {
  BoxForm f;
  f.cds.FieldByName("CODIGO").SetEditMask(">aa;0; ");
  f.cds.Insert();
  Type(f.dbeCodigo, "b");
  EXPECT_EQ(ui::Observe::Text(f.dbeCodigo), "B");
  Focus(f.dbeNome);
  Type(f.dbeCodigo, "7");  // back into the half-filled box: after the "B", not past the end
  EXPECT_EQ(ui::Observe::Text(f.dbeCodigo), "B7");

  f.cds.FieldByName("NOME").SetEditMask("!999\\-9;0;_");
  Type(f.dbeNome, "2062");
  EXPECT_EQ(ui::Observe::Text(f.dbeNome), "2062");
}

TEST_F(DataAwareTest, AMaskShowsLiteralsWhileTypingAndStoresWithoutThem) {
  BoxForm f;
  f.cds.Edit();
  f.cds.FieldByName("NOME").SetEditMask("9999-9/99;0; ");
  Focus(f.dbeNome);
  ui::Gestures::Clear(f.dbeNome);
  Type(f.dbeNome, "6201501");
  EXPECT_EQ(f.dbeNome.Text(), "6201-5/01");
  EXPECT_EQ(ui::Observe::Text(f.dbeNome), "6201501");
  Focus(f.dbeCodigo);
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "6201501");
  EXPECT_EQ(f.dbeNome.Text(), "6201-5/01");  // shown through the mask when not focused too

  // A letter does not fit a digit position.
  Focus(f.dbeNome);
  Key(f.dbeNome, "backspace");
  Type(f.dbeNome, "x");
  EXPECT_EQ(ui::Observe::Text(f.dbeNome), "620150");
}

TEST_F(DataAwareTest, AProgramWritingABoxFiresItsChangeHandler) {
  BoxForm f;
  int changes = 0;
  f.dbeNome.OnChange = [&](TComponent&) { ++changes; };
  f.dbeNome.SetText("Outro");
  EXPECT_EQ(changes, 1);
  f.dbeNome.SetText("Outro");  // the same text is no change
  EXPECT_EQ(changes, 1);
}

TEST_F(DataAwareTest, AFieldChangeRefreshesEveryBoxBoundToItThroughGetText) {
  BoxForm f;
  TDBEdit second(&f, "dbeNome2");
  second.SetParent(&f.tshUm);
  second.SetDataSource(f.dts);
  second.SetDataField("NOME");
  f.cds.FieldByName("NOME").OnGetText = [](TField& field, std::string& text, bool display) {
    text = (display ? "[" : "(") + field.AsString() + (display ? "]" : ")");
  };
  f.cds.Edit();
  f.cds.FieldByName("NOME").SetAsString("Novo");
  EXPECT_EQ(f.dbeNome.Text(), "[Novo]");
  EXPECT_EQ(second.Text(), "[Novo]");
  Focus(second);  // a focused box shows the edit text
  EXPECT_EQ(second.Text(), "(Novo)");
}

TEST_F(DataAwareTest, PostingFirstCommitsEveryModifiedBoxOfTheDataset) {
  BoxForm f;
  f.cds.Edit();
  Type(f.dbeNome, "A");
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "Um");
  f.cds.Post();
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "UmA");
  EXPECT_EQ(f.cds.State(), DataSetState::Browse);
}

TEST_F(DataAwareTest, EscapePutsTheFieldValueBack) {
  BoxForm f;
  f.cds.Edit();
  Type(f.dbeNome, "zz");
  Key(f.dbeNome, "escape");
  EXPECT_EQ(f.dbeNome.Text(), "Um");
  EXPECT_FALSE(f.dbeNome.DataLink().IsModified());
}

TEST_F(DataAwareTest, MovingToAnotherRowRefreshesAndClearsModified) {
  BoxForm f;
  f.cds.Edit();
  Type(f.dbeNome, "zz");
  ASSERT_TRUE(f.dbeNome.DataLink().IsModified());
  f.cds.Next();  // the typed text is posted to the first row before the move
  EXPECT_EQ(f.dbeCodigo.Text(), "02");
  EXPECT_EQ(f.dbeNome.Text(), "Dois");
  EXPECT_EQ(f.dbeValor.Text(), "2");
  EXPECT_FALSE(f.dbeNome.DataLink().IsModified());
  f.cds.First();
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "Umzz");
}

TEST_F(DataAwareTest, ADateBoxCommitsOnlyAnEmptyOrAValidDate) {
  BoxForm f;
  f.cds.Edit();
  f.pgc.SetActivePage(f.tshDois);
  Type(f.dbdData, "31/02/2005");
  EXPECT_FALSE(f.dbdData.IsDateValid());
  Focus(f.dbmNota);
  EXPECT_TRUE(f.cds.FieldByName("DATA").IsNull());
  EXPECT_EQ(f.dbdData.Text(), "31/02/2005");  // stays for the screen's own check
  EXPECT_TRUE(f.dbdData.DataLink().IsModified());

  ui::Gestures::Clear(f.dbdData);
  Type(f.dbdData, "28/02/2005");
  EXPECT_TRUE(f.dbdData.IsDateValid());
  Focus(f.dbmNota);
  EXPECT_EQ(f.cds.FieldByName("DATA").AsDateTime(), DateTime::FromParts(2005, 2, 28));

  ui::Gestures::Clear(f.dbdData);
  Focus(f.dbmNota);
  EXPECT_TRUE(f.cds.FieldByName("DATA").IsNull());
}

TEST_F(DataAwareTest, TheExitHandlerOfADateBoxSeesTheImpossibleDateAndAPostRefusesIt) {
  BoxForm f;
  f.cds.Edit();
  f.pgc.SetActivePage(f.tshDois);
  std::string seen;
  f.dbdData.OnExit = [&](TComponent&) {
    seen = f.dbdData.IsDateValid() ? "valid" : "'" + f.dbdData.Text() + "'";
  };
  Type(f.dbdData, "12/13/2005");
  Focus(f.dbmNota);
  EXPECT_EQ(seen, "'12/13/2005'");

  // Saving the record without the typed date would drop it unseen: the post is refused.
  EXPECT_THROW(f.cds.Post(), EConvertError);
  EXPECT_EQ(f.cds.State(), DataSetState::Edit);
  EXPECT_EQ(f.dbdData.Text(), "12/13/2005");
  EXPECT_TRUE(f.dbdData.DataLink().IsModified());
  ui::Gestures::Clear(f.dbdData);
  Type(f.dbdData, "01/12/05");
  f.cds.Post();
  EXPECT_EQ(f.cds.FieldByName("DATA").AsDateTime(), DateTime::FromParts(2005, 12, 1));
}

TEST_F(DataAwareTest, AKeyHandlerEndingItsKeyWithTheSilentAbortDropsOnlyThatCharacter) {
  BoxForm f;
  f.cds.Edit();
  f.dbeNome.OnKeyPress = [](TComponent&, char32_t& key) {
    if (key < U'0' || key > U'9') Abort();
  };
  ui::Gestures::Clear(f.dbeNome);
  EXPECT_TRUE(Type(f.dbeNome, "11.222-3"));
  EXPECT_EQ(f.dbeNome.Text(), "112223");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(DataAwareTest, AMemoTakesLineBreaksAndItsMaximumLength) {
  BoxForm f;
  f.cds.Edit();
  f.pgc.SetActivePage(f.tshDois);
  f.dbmNota.SetMaxLength(5);
  Type(f.dbmNota, "ab");
  Key(f.dbmNota, "enter");
  Type(f.dbmNota, "cdef");
  EXPECT_EQ(f.dbmNota.Text(), "ab\ncd");
  ui::Gestures::Paste(f.dbmNota, "0123456789");
  EXPECT_EQ(f.dbmNota.Text(), "01234");
}

struct ListForm : TForm {
  TClientDataSet cds{"cdsLista"};
  TDataSource dts{"dtsLista"};
  TDBComboBox dcbTipo{this, "dcbTipo"};
  TDBCheckBox dckAtivo{this, "dckAtivo"};
  TDBRadioGroup drgRegime{this, "drgRegime"};
  TDBEdit dbeNome{this, "dbeNome"};
  ListForm() : TForm("frmLista") {
    cds.AddField({"TIPO", FieldKind::String, 1});
    cds.AddField({"ATIVO", FieldKind::String, 1});
    cds.AddField({"REGIME", FieldKind::String, 1});
    cds.AddField({"NOME", FieldKind::String, 10});
    cds.SetData({cds.FieldDefs(),
                 {{std::string("A"), std::string("S"), std::string("1"), std::string("x")},
                  {std::string("B"), std::string("?"), std::string("2"), std::string("y")}}});
    dts.SetDataSet(&cds);
    for (TControl* c : std::vector<TControl*>{&dcbTipo, &dckAtivo, &drgRegime, &dbeNome})
      c->SetParent(this);
    dcbTipo.SetStyle(TComboBoxStyle::csDropDownList);
    dcbTipo.SetItems({"A", "B", "C"});
    dcbTipo.SetDataSource(dts);
    dcbTipo.SetDataField("TIPO");
    dckAtivo.ValueChecked = "S";
    dckAtivo.ValueUnchecked = "N";
    dckAtivo.SetDataSource(dts);
    dckAtivo.SetDataField("ATIVO");
    drgRegime.SetItems({"Real", "Presumido"});
    drgRegime.Values = {"1", "2"};
    drgRegime.SetDataSource(dts);
    drgRegime.SetDataField("REGIME");
    dbeNome.SetDataSource(dts);
    dbeNome.SetDataField("NOME");
    Show();
  }
};

TEST_F(DataAwareTest, ADropDownListTakesNoTypingAndCommitsAfterItsChangeHandler) {
  ListForm f;
  f.cds.Edit();
  std::vector<std::string> order;
  f.cds.FieldByName("TIPO").OnSetText = [&](TField& field, const std::string& text) {
    order.push_back("set-text " + text);
    field.SetAsString(text);
  };
  f.dcbTipo.OnChange = [&](TComponent&) {
    order.push_back("change " + f.dcbTipo.Text());
    f.cds.FieldByName("TIPO").SetAsString("B");  // the handler writes the field in between
  };
  Type(f.dcbTipo, "X9");  // no entry starts with these: nothing is typed or chosen
  EXPECT_EQ(f.dcbTipo.Text(), "A");
  ui::Gestures::Select(f.dcbTipo, "C");
  EXPECT_EQ(order, std::vector<std::string>{"change C"});
  Focus(f.dbeNome);
  EXPECT_EQ(order, (std::vector<std::string>{"change C", "set-text B"}));

  // Posting commits it too, with no exit in between; a committed list is not committed again.
  order.clear();
  ui::Gestures::Select(f.dcbTipo, "C");
  f.cds.Post();
  EXPECT_EQ(order, (std::vector<std::string>{"change C", "set-text B"}));
  f.cds.Edit();
  f.cds.Post();
  EXPECT_EQ(order.size(), 2u);
}

TEST_F(DataAwareTest, ACheckBoxShowsGreyForOtherValuesAndCommitsItsValues) {
  ListForm f;
  EXPECT_TRUE(f.dckAtivo.Checked());
  // An empty value is no value at all: unticked, never the third state.
  f.cds.Edit();
  f.cds.FieldByName("ATIVO").Clear();
  EXPECT_EQ(f.dckAtivo.State(), TCheckBoxState::cbUnchecked);
  f.cds.FieldByName("ATIVO").SetAsString("");
  EXPECT_EQ(f.dckAtivo.State(), TCheckBoxState::cbUnchecked);
  f.cds.Cancel();
  f.cds.Next();
  EXPECT_EQ(f.dckAtivo.State(), TCheckBoxState::cbGrayed);
  EXPECT_TRUE(ui::Observe::Grayed(f.dckAtivo));
  EXPECT_FALSE(ui::Observe::Checked(f.dckAtivo));
  ui::Gestures::Check(f.dckAtivo, true);  // browsed: refused
  EXPECT_EQ(f.dckAtivo.State(), TCheckBoxState::cbGrayed);
  f.cds.Edit();
  ui::Gestures::Check(f.dckAtivo, false);
  Focus(f.dbeNome);
  EXPECT_EQ(f.cds.FieldByName("ATIVO").AsString(), "N");
}

TEST_F(DataAwareTest, ARadioGroupFiresItsChangeWheneverItsValueChanges) {
  ListForm f;
  std::vector<std::string> values;
  f.drgRegime.OnChange = [&](TComponent&) { values.push_back(f.drgRegime.Value()); };
  f.cds.Next();  // moving rows changes the value too
  EXPECT_EQ(values, std::vector<std::string>{"2"});
  EXPECT_EQ(ui::Observe::Text(f.drgRegime), "Presumido");
  f.cds.Edit();
  ui::Gestures::Select(f.drgRegime, "Real");
  EXPECT_EQ(values, (std::vector<std::string>{"2", "1"}));
  f.cds.Post();
  EXPECT_EQ(f.cds.FieldByName("REGIME").AsString(), "1");
}

}  // namespace
}  // namespace ger::testing
