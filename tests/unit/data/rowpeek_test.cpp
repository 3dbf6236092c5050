// Reading another row through TDataSet::RowPeek: values and get-text handlers of that row, with
// the cursor, the state and the edit buffer untouched, no event fired and every write refused.
#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "data/dataset.h"
#include "recorder.h"

namespace ger {
namespace {

using Log = std::vector<std::string>;

DataPacket Representatives() {
  DataPacket p;
  p.fields = {{"CDREPRES", FieldKind::Integer, 0, ProviderFlags::Default()},
              {"NMREPRES", FieldKind::String, 30, ProviderFlags::Default()},
              {"IDUTILIZADO", FieldKind::String, 1, ProviderFlags::Default()}};
  p.rows = {{std::int64_t{1}, "Ana", "S"},
            {std::int64_t{2}, "Bruno", "N"},
            {std::int64_t{3}, "Carla", Value{}}};
  return p;
}

class RowPeekTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.SetData(Representatives());
    Used().OnGetText = [](TField& f, std::string& text, bool) {
      text = f.IsNull() ? "?" : f.AsString() == "S" ? "Sim" : "Não";
    };
    ds.SetRecNo(2);
    rec.Hook(ds);
    rec.Hook(source);
    source.SetDataSet(&ds);
    rec.Take();
  }
  TField& Code() { return ds.FieldByName("CDREPRES"); }
  TField& Name() { return ds.FieldByName("NMREPRES"); }
  TField& Used() { return ds.FieldByName("IDUTILIZADO"); }
  // Every row as "code:name:display" read through peeks.
  std::string Peeked() {
    std::string out;
    for (int r = 0; r < ds.RecordCount(); ++r) {
      TDataSet::RowPeek peek(ds, r);
      out +=
          (r ? "," : "") + Code().AsString() + ":" + Name().AsString() + ":" + Used().DisplayText();
    }
    return out;
  }
  TClientDataSet ds{"cdsRepresentante"};
  TDataSource source;
  test::Recorder rec;
};

TEST_F(RowPeekTest, FieldsReadThePeekedRowAndTheCursorStaysWithoutAnyEvent) {
  EXPECT_EQ(Peeked(), "1:Ana:Sim,2:Bruno:Não,3:Carla:?");
  {
    TDataSet::RowPeek peek(ds, 2);
    EXPECT_TRUE(Used().IsNull());
    EXPECT_TRUE(IsNull(Used().GetValue()));
    EXPECT_EQ(ds.RecNo(), 2);  // the cursor did not move
  }
  // After the peek the fields read the current row again.
  EXPECT_EQ(Name().AsString(), "Bruno");
  EXPECT_EQ(Used().DisplayText(), "Não");
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(ds.State(), DataSetState::Browse);
  EXPECT_TRUE(rec.Take().empty());  // no scroll, no data change, no state change
}

TEST_F(RowPeekTest, PeeksNestAndTheInnerOneEndsFirst) {
  TDataSet::RowPeek outer(ds, 0);
  EXPECT_EQ(Name().AsString(), "Ana");
  {
    TDataSet::RowPeek inner(ds, 2);
    EXPECT_EQ(Name().AsString(), "Carla");
  }
  EXPECT_EQ(Name().AsString(), "Ana");
}

TEST_F(RowPeekTest, WhileEditingOtherRowsShowTheirStoredValuesAndTheCurrentRowItsBuffer) {
  ds.Edit();
  Name().SetValue(std::string("Bruno Alterado"));
  Used().SetValue(std::string("S"));
  rec.Take();
  EXPECT_EQ(Peeked(), "1:Ana:Sim,2:Bruno Alterado:Sim,3:Carla:?");
  EXPECT_EQ(ds.State(), DataSetState::Edit);
  EXPECT_TRUE(ds.Modified());
  EXPECT_TRUE(rec.Take().empty());
  // The edit goes on untouched: posting stores what was typed.
  ds.Post();
  EXPECT_EQ(Name().AsString(), "Bruno Alterado");
  EXPECT_EQ(ds.GetChangeCount(), 1);
}

TEST_F(RowPeekTest, OldValuesAreThoseOfThePeekedRow) {
  ds.Edit();
  Name().SetValue(std::string("Bruno Alterado"));
  ds.Post();
  ds.First();
  {
    TDataSet::RowPeek peek(ds, 1);
    EXPECT_EQ(std::get<std::string>(Name().OldValue()), "Bruno");
    EXPECT_EQ(Name().AsString(), "Bruno Alterado");
  }
  EXPECT_EQ(std::get<std::string>(Name().OldValue()), "Ana");
}

TEST_F(RowPeekTest, DuringAnInsertEveryStoredRowAndTheNewOneCanBeRead) {
  ds.First();
  ds.Insert();  // the new row goes before Ana
  Code().SetValue(std::int64_t{9});
  Name().SetValue(std::string("Nova"));
  EXPECT_EQ(ds.RecordCount(), 4);
  EXPECT_EQ(Peeked(), "9:Nova:?,1:Ana:Sim,2:Bruno:Não,3:Carla:?");
  EXPECT_EQ(ds.State(), DataSetState::Insert);
}

TEST_F(RowPeekTest, WritingAnyFieldDuringAPeekIsRefusedAndChangesNothing) {
  ds.Edit();
  rec.Take();
  for (int row : {0, 1}) {  // another row, and the current one
    TDataSet::RowPeek peek(ds, row);
    EXPECT_THROW(Name().SetValue(std::string("X")), EDatabaseError);
    EXPECT_THROW(Name().SetAsString("X"), EDatabaseError);
    EXPECT_THROW(Used().SetText("S"), EDatabaseError);
    EXPECT_THROW(Code().Clear(), EDatabaseError);
  }
  EXPECT_FALSE(ds.Modified());
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_EQ(Peeked(), "1:Ana:Sim,2:Bruno:Não,3:Carla:?");
  // Writes work again once the peek is over.
  Name().SetValue(std::string("Bruno B"));
  EXPECT_EQ(Name().AsString(), "Bruno B");
}

TEST_F(RowPeekTest, ARowThatDoesNotExistOrAClosedDataSetIsRefused) {
  EXPECT_THROW(TDataSet::RowPeek(ds, -1), EDatabaseError);
  EXPECT_THROW(TDataSet::RowPeek(ds, 3), EDatabaseError);
  EXPECT_EQ(Name().AsString(), "Bruno");  // a refused peek leaves no peek behind
  TClientDataSet closed;
  EXPECT_THROW(TDataSet::RowPeek(closed, 0), EDatabaseError);
}

TEST_F(RowPeekTest, RowsDeletedDuringAPeekReadAsNullInsteadOfOutOfRange) {
  TDataSet::RowPeek peek(ds, 2);
  ds.EmptyDataSet();
  EXPECT_TRUE(Name().IsNull());
  EXPECT_EQ(Used().DisplayText(), "?");
}

}  // namespace
}  // namespace ger
