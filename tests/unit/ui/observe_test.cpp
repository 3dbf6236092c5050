// What the user sees of a component and what a click does are each class's own answers: the
// gestures and the scenario runner ask the component, so a new control needs no case elsewhere.
#include <string>

#include "ui/stdctrls.h"
#include "ui_fixture.h"

namespace ger::testing {
namespace {

// A control the gestures never heard of: it shows a count and counts up when clicked.
class TCounter : public TControl {
 public:
  using TControl::TControl;
  int count = 0;
  std::string ObservedText() const override { return std::to_string(count); }
  bool ObservedChecked() const override { return count > 0; }
  bool ClickByUser() override {
    ++count;
    return true;
  }
  bool GrowsDown() const override { return true; }
};

class ObserveTest : public UiTest {};

TEST_F(ObserveTest, ANewControlIsObservedAndClickedThroughItsOwnClass) {
  TForm form("frmTeste");
  TCounter counter(&form, "cnt");
  EXPECT_EQ(ui::Observe::Text(counter), "0");
  EXPECT_FALSE(ui::Observe::Checked(counter));
  EXPECT_TRUE(ui::Gestures::Click(counter));
  EXPECT_EQ(ui::Observe::Text(counter), "1");
  EXPECT_TRUE(ui::Observe::Checked(counter));
  EXPECT_TRUE(ui::Observe::Visible(counter));
  EXPECT_TRUE(ui::Observe::Enabled(counter));
}

TEST_F(ObserveTest, EachStockClassAnswersWhatItShows) {
  BoxForm f;
  TLabel label(&f, "lbl");
  label.SetCaption("&Nome");
  TComboBox combo(&f, "cbx");
  combo.SetItems({"Matriz", "Filial"});
  combo.SetItemIndex(1);
  TRadioGroup radio(&f, "rgp");
  TCheckBox check(&f, "chk");
  TMainMenu bar(&f, "mnuPrincipal");
  TMenuItem item(&bar, "mnuArquivo", "&Arquivo");

  EXPECT_EQ(ui::Observe::Text(label), "&Nome");
  EXPECT_EQ(ui::Observe::Text(combo), "Filial");
  EXPECT_EQ(ui::Observe::Items(combo), (std::vector<std::string>{"Matriz", "Filial"}));
  EXPECT_EQ(ui::Observe::Text(radio), "");  // nothing chosen
  radio.SetItems({"Sim", "Não"});
  radio.SetItemIndex(1);
  EXPECT_EQ(ui::Observe::Text(radio), "Não");
  EXPECT_EQ(ui::Observe::Text(item), "&Arquivo");
  EXPECT_TRUE(ui::Observe::Items(item).empty());
  EXPECT_EQ(ui::Observe::Text(f.dbdData), "");

  // A page is seen by its tab; a menu item by its own flags.
  f.tshDois.SetTabVisible(false);
  EXPECT_FALSE(ui::Observe::Visible(f.tshDois));
  EXPECT_TRUE(ui::Observe::Visible(f.tshUm));
  item.SetEnabled(false);
  item.SetChecked(true);
  EXPECT_FALSE(ui::Observe::Enabled(item));
  EXPECT_TRUE(ui::Observe::Checked(item));
  EXPECT_TRUE(ui::Observe::Visible(item));

  check.SetState(TCheckBoxState::cbGrayed);
  EXPECT_TRUE(ui::Observe::Grayed(check));
  EXPECT_FALSE(ui::Observe::Checked(check));
  check.SetChecked(true);
  EXPECT_TRUE(ui::Observe::Checked(check));
  EXPECT_FALSE(ui::Observe::Grayed(check));

  // What grows with a taller window: grids, pages and memos; boxes of one line do not.
  EXPECT_TRUE(f.pgc.GrowsDown());
  EXPECT_TRUE(f.dbmNota.GrowsDown());
  EXPECT_FALSE(f.dbeNome.GrowsDown());
  EXPECT_FALSE(f.tshUm.GrowsDown());
}

TEST_F(ObserveTest, EachStockClassTakesAClickItsOwnWay) {
  BoxForm f;
  f.Show();
  TLabel label(&f, "lbl");
  label.SetCaption("&Nome");
  label.FocusControl = &f.dbeNome;
  TCheckBox check(&f, "chk");
  TOpenDialog dialog(&f, "dlgAbrir");
  int clicks = 0;
  f.btnOk.OnClick = [&](TComponent&) { ++clicks; };

  // A label moves the focus on to its box.
  EXPECT_TRUE(ui::Gestures::Click(label));
  EXPECT_EQ(f.ActiveControl(), &f.dbeNome);
  // A check box toggles, a button runs its handler, a page comes forward.
  EXPECT_TRUE(ui::Gestures::Click(check));
  EXPECT_TRUE(check.Checked());
  EXPECT_TRUE(ui::Gestures::Click(check));
  EXPECT_FALSE(check.Checked());
  EXPECT_TRUE(ui::Gestures::Click(f.btnOk));
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(ui::Gestures::Click(f.tshDois));
  EXPECT_EQ(f.pgc.ActivePage(), &f.tshDois);
  // Hidden or disabled controls, and components that are not controls, cannot be clicked.
  f.btnOk.SetEnabled(false);
  EXPECT_THROW(ui::Gestures::Click(f.btnOk), ui::EGestureError);
  EXPECT_EQ(clicks, 1);
  EXPECT_THROW(ui::Gestures::Click(dialog), ui::EGestureError);
}

}  // namespace
}  // namespace ger::testing
