// The seam between the model and a toolkit: a control's view is found along its class chain, is
// told what changed, and learns when its control goes away.
#include <memory>
#include <string>
#include <vector>

#include "routines/components.h"
#include "ui_fixture.h"

namespace ger::testing {
namespace {

using Maker = std::string (*)();

// A view that writes down what it was told.
struct RecordingView : IControlView {
  std::vector<ViewAspect> changes;
  bool gone = false;
  void Changed(ViewAspect aspect) override { changes.push_back(aspect); }
  void Gone() override { gone = true; }
  int Count(ViewAspect aspect) const {
    return static_cast<int>(std::count(changes.begin(), changes.end(), aspect));
  }
};

class ViewSeamTest : public UiTest {};

TEST_F(ViewSeamTest, AClassWithoutAMakerOfItsOwnIsDrawnByItsNearestBase) {
  ViewRegistry<Maker> registry;
  registry.Register(TControl::ClassInfo, [] { return std::string("container"); });
  registry.Register(TCustomEdit::ClassInfo, [] { return std::string("edit"); });
  registry.Register(TMemo::ClassInfo, [] { return std::string("memo"); });
  registry.Register(TSpeedButton::ClassInfo, [] { return std::string("tool"); });
  TForm form("frmTeste");
  TDBEdit edit(&form, "dbe");
  TDBMemo memo(&form, "dbm");
  TBtnPesquisa search(&form, "btp");
  TGroupBox group(&form, "grb");
  auto made = [&](const TComponent& c) {
    const Maker* maker = registry.Find(c.Class());
    return maker ? (*maker)() : std::string("none");
  };
  EXPECT_EQ(made(edit), "edit");
  EXPECT_EQ(made(memo), "memo");  // TDBMemo -> TMemo, not TCustomEdit
  EXPECT_EQ(made(search), "tool");
  EXPECT_EQ(made(group), "container");
  EXPECT_EQ(made(form), "container");
  TMainMenu menu(&form, "mnu");
  EXPECT_EQ(made(menu), "none");  // not a control: nothing draws it as one
  EXPECT_EQ(search.ClassName(), "TBtnPesquisa");
  EXPECT_TRUE(search.Class().InheritsFrom(TSpeedButton::ClassInfo));
  EXPECT_FALSE(edit.Class().InheritsFrom(TMemo::ClassInfo));
}

TEST_F(ViewSeamTest, AControlTellsItsViewWhatChangedAndThatItIsGone) {
  BoxForm f;
  f.cds.Edit();
  RecordingView view;
  auto edit = std::make_unique<TEdit>(&f, "edtLivre");
  edit->SetParent(&f.tshUm);
  edit->SetView(&view);

  edit->SetBounds(1, 2, 30, 21);
  EXPECT_EQ(view.Count(ViewAspect::Look), 1);
  edit->SetText("abc");
  EXPECT_GE(view.Count(ViewAspect::Content), 1);
  view.changes.clear();
  ui::Gestures::Focus(*edit);  // the caret goes to the end: the current position changed
  EXPECT_GE(view.Count(ViewAspect::Current), 1);
  EXPECT_EQ(view.Count(ViewAspect::Content), 0);

  // A grid is told when its rows change, so that a view reads them again only then.
  RecordingView gridView;
  TDBGrid grid(&f, "grd");
  grid.SetParent(&f.tshUm);
  grid.SetDataSource(f.dts);
  grid.SetView(&gridView);
  f.cds.FieldByName("NOME").SetAsString("Outro");
  EXPECT_GE(gridView.Count(ViewAspect::Content), 1);

  edit.reset();
  EXPECT_TRUE(view.gone);
}

// A pop-up menu is drawn through the seam too: its view hears that it opened, that an item
// changed and that it closed; choosing an item closes it before the item's handler runs.
TEST_F(ViewSeamTest, APopupMenuTellsItsViewAndAChoiceClosesIt) {
  BoxForm f;
  RecordingView view;  // outlives the menu, which tells it that it is gone
  TPopupMenu menu(&f, "pmnTeste");
  TMenuItem first(&menu, "mnuPrimeiro", "&Primeiro");
  TMenuItem second(&menu, "mnuSegundo", "&Segundo");
  menu.SetView(&view);
  bool openWhenClicked = true;
  first.OnClick = [&](TComponent&) { openWhenClicked = menu.Shown(); };

  menu.Popup(10, 20);
  EXPECT_TRUE(menu.Shown());
  EXPECT_EQ(view.Count(ViewAspect::Current), 1);
  second.SetEnabled(false);
  EXPECT_EQ(view.Count(ViewAspect::Look), 1);
  EXPECT_THROW(ui::Gestures::Click(second), ui::EGestureError);
  EXPECT_TRUE(menu.Shown());
  EXPECT_TRUE(ui::Gestures::Click(first));
  EXPECT_FALSE(openWhenClicked);
  EXPECT_FALSE(menu.Shown());
  EXPECT_EQ(view.Count(ViewAspect::Current), 2);

  menu.Popup(10, 20);
  EXPECT_TRUE(ui::Gestures::CloseMenu(menu));
  EXPECT_FALSE(menu.Shown());
  EXPECT_EQ(view.Count(ViewAspect::Current), 4);
  EXPECT_TRUE(ui::Gestures::CloseMenu(menu));  // closed already: nothing to tell
  EXPECT_EQ(view.Count(ViewAspect::Current), 4);
}

// The navigator moves only between records, never away from one being edited: a move would
// post the record without the screen's confirm checks, or cancel it unasked.
TEST_F(ViewSeamTest, TheNavigatorDoesNotMoveAwayFromARecordBeingEdited) {
  BoxForm f;
  TDBNavigator nav(&f, "nav");
  nav.SetParent(&f);
  nav.SetDataSource(f.dts);
  EXPECT_TRUE(nav.ButtonEnabled(TNavigateBtn::nbNext));
  f.cds.Insert();
  f.cds.FieldByName("CODIGO").SetAsString("03");
  for (TNavigateBtn b :
       {TNavigateBtn::nbFirst, TNavigateBtn::nbPrior, TNavigateBtn::nbNext, TNavigateBtn::nbLast})
    EXPECT_FALSE(nav.ButtonEnabled(b)) << NavigateBtnName(b);
  nav.ClickButton(TNavigateBtn::nbFirst);
  EXPECT_EQ(f.cds.State(), DataSetState::Insert);
  EXPECT_EQ(f.cds.RecordCount(), 3);
  EXPECT_EQ(f.cds.FieldByName("CODIGO").AsString(), "03");
  f.cds.Cancel();
  f.cds.First();
  f.cds.Edit();
  EXPECT_FALSE(nav.ButtonEnabled(TNavigateBtn::nbNext));
  f.cds.Cancel();
  EXPECT_TRUE(nav.ButtonEnabled(TNavigateBtn::nbNext));
}

}  // namespace
}  // namespace ger::testing
