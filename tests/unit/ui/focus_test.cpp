// Focus, exits and pages: the order the screens' checks rely on.
#include "ui_fixture.h"

namespace ger::testing {
namespace {

using ui::Gestures::Click;
using ui::Gestures::Focus;
using ui::Gestures::Page;
using ui::Gestures::Type;

class FocusTest : public UiTest {};

TEST_F(FocusTest, LeavingABoxCommitsThroughSetTextThenRunsTheExitHandler) {
  BoxForm f;
  f.cds.Edit();
  std::vector<std::string> order;
  f.cds.FieldByName("NOME").OnSetText = [&](TField& field, const std::string& text) {
    order.push_back("set-text " + text);
    field.SetAsString(text + "!");
  };
  f.dbeNome.OnExit = [&](TComponent&) {
    order.push_back("exit, field holds " + f.cds.FieldByName("NOME").AsString());
  };
  ASSERT_TRUE(Focus(f.dbeNome));
  ASSERT_TRUE(ui::Gestures::Clear(f.dbeNome));
  ASSERT_TRUE(Type(f.dbeNome, "Ana"));
  ASSERT_TRUE(Focus(f.dbeCodigo));
  EXPECT_EQ(order, (std::vector<std::string>{"set-text Ana", "exit, field holds Ana!"}));
  // The box shows what the field holds after the commit.
  EXPECT_EQ(f.dbeNome.Text(), "Ana!");
}

TEST_F(FocusTest, AnUnmodifiedBoxCommitsNothingOnExit) {
  BoxForm f;
  f.cds.Edit();
  int setTexts = 0;
  f.cds.FieldByName("NOME").OnSetText = [&](TField&, const std::string&) { ++setTexts; };
  Focus(f.dbeNome);
  Focus(f.dbeCodigo);
  EXPECT_EQ(setTexts, 0);
}

TEST_F(FocusTest, AFailingExitKeepsTheFocusWhereTheHandlerPutItAndEndsTheGesture) {
  BoxForm f;
  f.cds.Edit();
  f.dbeNome.OnExit = [&](TComponent&) {
    f.dbeCodigo.SetFocus();  // the check brings its own field forward, then fails
    Abort();
  };
  Focus(f.dbeNome);
  int entersOfValor = 0;
  f.dbeValor.OnEnter = [&](TComponent&) { ++entersOfValor; };
  EXPECT_FALSE(Type(f.dbeValor, "3"));
  EXPECT_EQ(f.ActiveControl(), &f.dbeCodigo);
  EXPECT_EQ(entersOfValor, 0);
  EXPECT_EQ(f.cds.FieldByName("VALOR").AsFloat(), 1.5);  // the typing did not happen
  EXPECT_TRUE(Messages().empty());                       // the silent abort shows nothing
}

TEST_F(FocusTest, AFailingCommitShowsTheConversionErrorOnceAndKeepsTheFocus) {
  BoxForm f;
  f.cds.Edit();
  Focus(f.dbeNome);
  f.cds.FieldByName("NOME").OnSetText = [](TField&, const std::string& text) {
    throw EConvertError("'" + text + "' não é um valor numérico válido.");
  };
  Type(f.dbeNome, "x");
  EXPECT_FALSE(Focus(f.dbeCodigo));
  EXPECT_EQ(f.ActiveControl(), &f.dbeNome);
  EXPECT_EQ(Messages(), std::vector<std::string>{"'Umx' não é um valor numérico válido."});
  EXPECT_TRUE(f.dbeNome.DataLink().IsModified());  // the text stays to be corrected
}

TEST_F(FocusTest, ToolButtonsDoNotTakeTheFocusButPushButtonsDo) {
  BoxForm f;
  f.cds.Edit();
  int exits = 0, clicks = 0;
  f.dbeNome.OnExit = [&](TComponent&) { ++exits; };
  f.sbtGravar.OnClick = [&](TComponent&) { ++clicks; };
  Focus(f.dbeNome);
  Type(f.dbeNome, "z");
  EXPECT_TRUE(Click(f.sbtGravar));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(exits, 0);
  EXPECT_EQ(f.ActiveControl(), &f.dbeNome);
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "Um");  // nothing committed yet

  EXPECT_TRUE(Click(f.btnOk));
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(f.ActiveControl(), &f.btnOk);
  EXPECT_EQ(f.cds.FieldByName("NOME").AsString(), "Umz");
}

TEST_F(FocusTest, ClickingATabRunsExitThenChangingThenChange) {
  BoxForm f;
  std::vector<std::string> order;
  f.dbeNome.OnExit = [&](TComponent&) { order.push_back("exit"); };
  f.pgc.OnChanging = [&](TComponent&, bool&) {
    order.push_back("changing on " + f.pgc.ActivePage()->Name());
  };
  f.pgc.OnChange = [&](TComponent&) { order.push_back("change to " + f.pgc.ActivePage()->Name()); };
  Focus(f.dbeNome);
  EXPECT_TRUE(Page(f.tshDois));
  EXPECT_EQ(order, (std::vector<std::string>{"exit", "changing on tshUm", "change to tshDois"}));
  EXPECT_EQ(f.ActiveControl(), &f.pgc);
}

TEST_F(FocusTest, ARefusedOrFailedPageChangeLeavesThePage) {
  BoxForm f;
  bool allow = false;
  int changes = 0;
  f.pgc.OnChanging = [&](TComponent&, bool& a) { a = allow; };
  f.pgc.OnChange = [&](TComponent&) { ++changes; };
  Page(f.tshDois);
  EXPECT_EQ(f.pgc.ActivePage(), &f.tshUm);

  allow = true;
  f.dbeNome.OnExit = [](TComponent&) { throw Exception("Nome inválido."); };
  Focus(f.dbeNome);
  EXPECT_FALSE(Page(f.tshDois));
  EXPECT_EQ(f.pgc.ActivePage(), &f.tshUm);
  EXPECT_EQ(f.ActiveControl(), &f.dbeNome);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Nome inválido."});
}

TEST_F(FocusTest, SettingThePageFromCodeMovesTheFocusOffButFiresNoPageHandlers) {
  BoxForm f;
  int exits = 0, handlers = 0;
  f.dbeNome.OnExit = [&](TComponent&) { ++exits; };
  f.pgc.OnChanging = [&](TComponent&, bool&) { ++handlers; };
  f.pgc.OnChange = [&](TComponent&) { ++handlers; };
  Focus(f.dbeNome);
  f.pgc.SetActivePage(f.tshDois);
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(handlers, 0);
  EXPECT_EQ(f.pgc.ActivePage(), &f.tshDois);
  EXPECT_NE(f.ActiveControl(), &f.dbeNome);

  // A failing exit keeps the page.
  f.pgc.SetActivePage(f.tshUm);
  Focus(f.dbeNome);
  f.dbeNome.OnExit = [](TComponent&) { Abort(); };
  EXPECT_THROW(f.pgc.SetActivePage(f.tshDois), EAbort);
  EXPECT_EQ(f.pgc.ActivePage(), &f.tshUm);
}

TEST_F(FocusTest, FocusingAControlThatCannotTakeItIsAnError) {
  BoxForm f;
  EXPECT_THROW(f.dbdData.SetFocus(), EInvalidOperation);  // on the inactive page
  f.dbeNome.SetEnabled(false);
  EXPECT_THROW(f.dbeNome.SetFocus(), EInvalidOperation);
  EXPECT_THROW(Focus(f.dbeNome), ui::EGestureError);
  f.tshUm.SetEnabled(false);
  EXPECT_THROW(f.dbeCodigo.SetFocus(), EInvalidOperation);
}

TEST_F(FocusTest, TabMovesToTheNextControlInTabOrder) {
  BoxForm f;
  f.dbeValor.SetTabOrder(0);
  f.dbeCodigo.SetTabOrder(1);
  f.dbeNome.SetTabOrder(2);
  Focus(f.dbeValor);
  ui::Gestures::Key(f.dbeValor, "tab");
  EXPECT_EQ(f.ActiveControl(), &f.dbeCodigo);
  ui::Gestures::Key(f.dbeCodigo, "tab");
  EXPECT_EQ(f.ActiveControl(), &f.dbeNome);
}

}  // namespace
}  // namespace ger::testing
