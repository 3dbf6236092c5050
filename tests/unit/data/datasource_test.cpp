#include "data/datasource.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/exceptions.h"
#include "recorder.h"

namespace ger {
namespace {

using Log = std::vector<std::string>;

DataPacket TwoRows() {
  DataPacket p;
  p.fields = {{"CD", FieldKind::String, 2}, {"NM", FieldKind::String, 30}};
  p.rows = {{std::string("01"), std::string("Um")}, {std::string("02"), std::string("Dois")}};
  return p;
}

// A bound edit box as a control keeps it: its text, refreshed from the field, committed back.
struct Box {
  TFieldDataLink link;
  std::string text;
  int refreshes = 0;
  explicit Box(TDataSource& src, const char* field) {
    link.OnDataChange = [this] {
      ++refreshes;
      TField* f = link.Field();
      text = f ? f->Text() : "";
    };
    link.OnUpdateData = [this] { link.Field()->SetText(text); };
    link.SetDataSource(&src);
    link.SetFieldName(field);
  }
  void Type(std::string t) {
    if (!link.Edit()) return;  // refused while browsing without auto-edit
    text = std::move(t);
    link.Modified();
  }
};

TEST(DataSource, RelaysStateAndDataChanges) {
  TClientDataSet ds;
  TDataSource src;
  test::Recorder rec;
  rec.Hook(src);
  src.SetDataSet(&ds);
  EXPECT_TRUE(rec.Take().empty());  // inactive dataset: nothing to say
  ds.SetData(TwoRows());
  EXPECT_EQ(rec.Take(), (Log{"State:browse", "Data:*"}));
  ds.Next();
  EXPECT_EQ(rec.Take(), (Log{"Data:*"}));
  ds.Edit();
  ds.FieldByName("NM").SetAsString("x");
  ds.Post();
  EXPECT_EQ(rec.Take(), (Log{"State:edit", "Data:NM", "UpdateData", "State:browse", "Data:*"}));
  ds.Close();
  EXPECT_EQ(rec.Take(), (Log{"State:inactive"}));
  EXPECT_EQ(src.State(), DataSetState::Inactive);
}

TEST(DataSource, EditOnlyWithAutoEdit) {
  TClientDataSet ds;
  ds.SetData(TwoRows());
  TDataSource src;
  src.SetDataSet(&ds);
  EXPECT_FALSE(src.Edit());
  EXPECT_EQ(ds.State(), DataSetState::Browse);
  src.AutoEdit = true;
  EXPECT_TRUE(src.Edit());
  EXPECT_EQ(ds.State(), DataSetState::Edit);
  TDataSource unbound;
  EXPECT_FALSE(unbound.Edit());
}

TEST(FieldDataLink, ModifiedFlagFollowsTheUserAndTheField) {
  TClientDataSet ds;
  ds.SetData(TwoRows());
  TDataSource src;
  src.SetDataSet(&ds);
  Box name(src, "NM"), code(src, "CD");
  EXPECT_EQ(name.text, "Um");

  name.Type("Outro");  // browsing, no auto-edit: refused
  EXPECT_FALSE(name.link.IsModified());
  EXPECT_EQ(name.text, "Um");

  ds.Edit();
  name.Type("Outro");
  EXPECT_TRUE(name.link.IsModified());
  int before = name.refreshes;
  ds.FieldByName("CD").SetAsString("09");  // another field: the name box is left alone
  EXPECT_EQ(name.refreshes, before);
  EXPECT_TRUE(name.link.IsModified());
  EXPECT_EQ(code.text, "09");

  ds.FieldByName("NM").SetAsString("Do código");  // its own field: refreshed, flag cleared
  EXPECT_FALSE(name.link.IsModified());
  EXPECT_EQ(name.text, "Do código");
}

TEST(FieldDataLink, PostCommitsModifiedControlsBeforeBeforePost) {
  TClientDataSet ds;
  ds.SetData(TwoRows());
  TDataSource src;
  src.SetDataSet(&ds);
  Box name(src, "NM");
  std::string seenInBeforePost;
  ds.BeforePost = [&](TDataSet& d) { seenInBeforePost = d.FieldByName("NM").AsString(); };
  ds.Edit();
  name.Type("Digitado");
  EXPECT_EQ(ds.FieldByName("NM").AsString(), "Um") << "not committed while typing";
  ds.Post();
  EXPECT_EQ(seenInBeforePost, "Digitado");
  EXPECT_FALSE(name.link.IsModified());
  EXPECT_EQ(ds.GetChangeCount(), 1);
}

TEST(FieldDataLink, FailedCommitKeepsTheFlagAndTheEdit) {
  TClientDataSet ds;
  ds.AddField({"VR", FieldKind::Float});
  ds.Open();
  TDataSource src;
  src.SetDataSet(&ds);
  Box value(src, "VR");
  ds.Append();
  value.Type("abc");
  EXPECT_THROW(ds.Post(), EConvertError);
  EXPECT_TRUE(value.link.IsModified());
  EXPECT_EQ(ds.State(), DataSetState::Insert);
  value.Type("1,5");
  ds.Post();
  EXPECT_EQ(ds.FieldByName("VR").AsFloat(), 1.5);
}

TEST(FieldDataLink, MovingCommitsAModifiedControl) {
  TClientDataSet ds;
  ds.SetData(TwoRows());
  TDataSource src;
  src.SetDataSet(&ds);
  Box name(src, "NM");
  ds.Edit();
  name.Type("Trocado");
  ds.Next();  // check browse mode: the typed text is committed and posted
  ds.First();
  EXPECT_EQ(ds.FieldByName("NM").AsString(), "Trocado");
  EXPECT_EQ(name.text, "Trocado");
}

TEST(FieldDataLink, EscapeLikeResetRestoresTheFieldText) {
  TClientDataSet ds;
  ds.SetData(TwoRows());
  TDataSource src;
  src.SetDataSet(&ds);
  Box name(src, "NM");
  ds.Edit();
  name.Type("abc");
  name.link.Reset();
  EXPECT_EQ(name.text, "Um");
  EXPECT_FALSE(name.link.IsModified());
  ds.Cancel();
}

TEST(FieldDataLink, ActiveAndEditingNotifications) {
  TClientDataSet ds;
  TDataSource src;
  src.SetDataSet(&ds);
  TFieldDataLink link;
  Log log;
  link.OnActiveChange = [&] { log.push_back("active"); };
  link.OnEditingChange = [&] { log.push_back(link.Editing() ? "editing" : "not editing"); };
  link.SetDataSource(&src);
  link.SetFieldName("CD");
  EXPECT_EQ(link.Field(), nullptr);
  log.clear();
  ds.SetData(TwoRows());
  EXPECT_NE(link.Field(), nullptr);
  ds.Edit();
  ds.Insert();  // posts/cancels the edit first, then inserts
  ds.Cancel();
  ds.Close();
  EXPECT_EQ(log, (Log{"active", "editing", "not editing", "editing", "not editing", "active"}));
}

TEST(Lifetime, DataSetDestroyedBeforeItsSourceAndLinks) {
  auto ds = std::make_unique<TClientDataSet>();
  ds->SetData(TwoRows());
  TDataSource src;
  src.SetDataSet(ds.get());
  TFieldDataLink link;
  link.SetDataSource(&src);
  link.SetFieldName("CD");
  ds.reset();
  EXPECT_EQ(src.DataSet(), nullptr);
  EXPECT_EQ(src.State(), DataSetState::Inactive);
  EXPECT_EQ(link.Field(), nullptr);
  EXPECT_FALSE(link.Active());
  EXPECT_FALSE(src.Edit());
}

TEST(Lifetime, SourceDestroyedBeforeDataSetAndLinks) {
  TClientDataSet ds;
  ds.SetData(TwoRows());
  TFieldDataLink link;
  {
    TDataSource src;
    src.SetDataSet(&ds);
    link.SetDataSource(&src);
  }
  EXPECT_EQ(link.DataSource(), nullptr);
  ds.Next();  // must not reach the gone source
  ds.Edit();
  ds.FieldByName("NM").SetAsString("ok");
  ds.Post();
  EXPECT_EQ(ds.FieldByName("NM").AsString(), "ok");
}

TEST(Lifetime, LinkDestroyedFirstAndLinksRemovedDuringEvents) {
  TClientDataSet ds;
  ds.SetData(TwoRows());
  TDataSource src;
  src.SetDataSet(&ds);
  {
    TFieldDataLink gone;
    gone.SetDataSource(&src);
  }
  auto first = std::make_unique<TFieldDataLink>();
  auto second = std::make_unique<TFieldDataLink>();
  int secondCalls = 0;
  first->SetDataSource(&src);
  second->OnDataChange = [&] { ++secondCalls; };
  second->SetDataSource(&src);
  secondCalls = 0;
  // The first control's refresh destroys the second (a screen closing a panel, say).
  first->OnDataChange = [&] { second.reset(); };
  ds.Next();
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(secondCalls, 0);
}

TEST(Lifetime, MovingALinkAndASourceBetweenOwners) {
  TClientDataSet a, b;
  a.SetData(TwoRows());
  DataPacket other = TwoRows();
  std::get<std::string>(other.rows[0][1]) = "Outro";
  b.SetData(other);
  TDataSource src1, src2;
  src1.SetDataSet(&a);
  src2.SetDataSet(&a);
  Box name(src1, "NM");
  name.link.SetDataSource(&src2);
  src1.SetDataSet(nullptr);  // the link no longer belongs to src1
  EXPECT_EQ(name.link.DataSource(), &src2);
  src2.SetDataSet(&b);
  EXPECT_EQ(name.text, "Outro");
  src2.AddLink(&name.link);  // adding twice keeps one entry
  int before = name.refreshes;
  b.Next();
  EXPECT_EQ(name.refreshes, before + 1);
}

}  // namespace
}  // namespace ger
