#include "data/dataset.h"

#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "recorder.h"

namespace ger {
namespace {

using Log = std::vector<std::string>;

DataPacket Companies(int n) {
  DataPacket p;
  p.fields = {{"CDEMPRESA", FieldKind::String, 2, ProviderFlags::None()},
              {"NMEMPRESA", FieldKind::String, 40, ProviderFlags::InWhere()},
              {"VRPEMULEMPR", FieldKind::Float, 0, ProviderFlags::Default()}};
  for (int i = 1; i <= n; ++i) {
    char code[3] = {static_cast<char>('0' + i / 10), static_cast<char>('0' + i % 10), 0};
    p.rows.push_back({std::string(code), "Empresa " + std::string(code), i * 1.5});
  }
  return p;
}

std::string Codes(const TDataSet& ds) {
  std::string out;
  for (const Row& r : ds.Data().rows) {
    if (!out.empty()) out += ",";
    out += IsNull(r[0]) ? "-" : std::get<std::string>(r[0]);
  }
  return out;
}

class DataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.SetData(Companies(3));
    rec.Hook(ds);
  }
  TField& Code() { return ds.FieldByName("CDEMPRESA"); }
  TField& Name() { return ds.FieldByName("NMEMPRESA"); }
  TClientDataSet ds{"cdsEmpresa"};
  test::Recorder rec;
};

// ---------------------------------------------------------------------------------------------
// Event order

TEST(DataSetEvents, SetDataOnAClosedDataSetOpensIt) {
  TClientDataSet ds;
  test::Recorder rec;
  rec.Hook(ds);
  ds.SetData(Companies(2));
  EXPECT_EQ(rec.Take(), (Log{"BeforeOpen/inactive", "AfterOpen/browse", "AfterScroll/browse"}));
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_TRUE(ds.Bof());
  ds.SetData(Companies(0));
  EXPECT_EQ(rec.Take(), (Log{"BeforeOpen/browse", "AfterOpen/browse"}));  // empty: no scroll
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.RecNo(), 0);
}

TEST_F(DataSetTest, InsertEventOrderAndPosition) {
  ds.Next();  // on "02"
  rec.Take();
  ds.OnNewRecord = [&](TDataSet&) {
    rec.log.push_back("NewRecord/" + std::string(StateName(ds.State())));
    Name().SetAsString("padrão");
  };
  ds.Insert();
  EXPECT_EQ(rec.Take(), (Log{"BeforeInsert/browse", "BeforeScroll/browse", "NewRecord/insert",
                             "AfterInsert/insert", "AfterScroll/insert"}));
  EXPECT_EQ(ds.RecNo(), 2);  // before the row that was current
  EXPECT_FALSE(ds.Modified()) << "defaults set on a new record do not count as a change";
  EXPECT_EQ(Name().AsString(), "padrão");
  Code().SetAsString("09");
  ds.Post();
  EXPECT_EQ(Codes(ds), "01,09,02,03");
  ds.Append();
  rec.Take();
  Code().SetAsString("10");
  ds.Post();
  EXPECT_EQ(Codes(ds), "01,09,02,03,10");
  EXPECT_EQ(ds.RecNo(), 5);
}

TEST_F(DataSetTest, EditPostAndCancelEventOrder) {
  ds.Edit();
  EXPECT_EQ(rec.Take(), (Log{"BeforeEdit/browse", "AfterEdit/edit"}));
  ds.Edit();  // already editing: nothing
  EXPECT_TRUE(rec.Take().empty());
  Name().SetAsString("Outra");
  ds.Post();
  EXPECT_EQ(rec.Take(), (Log{"BeforePost/edit", "AfterPost/browse"}));
  ds.Edit();
  rec.Take();
  ds.Cancel();
  EXPECT_EQ(rec.Take(), (Log{"BeforeCancel/edit", "AfterCancel/browse"}));
  ds.Cancel();  // in browse: nothing
  ds.Post();
  EXPECT_TRUE(rec.Take().empty());
}

TEST_F(DataSetTest, DeleteEventOrderAndCursor) {
  ds.Last();
  rec.Take();
  ds.Delete();
  EXPECT_EQ(rec.Take(), (Log{"BeforeDelete/browse", "BeforeScroll/browse", "AfterDelete/browse",
                             "AfterScroll/browse"}));
  EXPECT_EQ(ds.RecNo(), 2);  // the last row went: the new last is current
  EXPECT_EQ(Code().AsString(), "02");
  ds.First();
  ds.Delete();
  EXPECT_EQ(Code().AsString(), "02");
}

// At either end the previous and the next row may be the same one; in the middle they are not.
TEST_F(DataSetTest, DeletingTheMiddleRowLeavesTheCursorOnTheNextRow) {
  ds.SetRecNo(2);
  ds.Delete();
  EXPECT_EQ(Code().AsString(), "03");
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_FALSE(ds.Bof());
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(Codes(ds), "01,03");
}

TEST_F(DataSetTest, MovesRunCheckBrowseModeThenScrollEvents) {
  ds.Edit();
  Name().SetAsString("Alterada");
  rec.Take();
  ds.Next();  // a modified edit is posted before moving
  EXPECT_EQ(rec.Take(), (Log{"BeforePost/edit", "AfterPost/browse", "BeforeScroll/browse",
                             "AfterScroll/browse"}));
  ds.Edit();
  rec.Take();
  ds.Prior();  // an untouched edit is cancelled
  EXPECT_EQ(rec.Take(), (Log{"BeforeCancel/edit", "AfterCancel/browse", "BeforeScroll/browse",
                             "AfterScroll/browse"}));
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_EQ(Name().AsString(), "Alterada");
  ds.Prior();
  EXPECT_TRUE(ds.Bof());
  ds.Last();
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 3);
  ds.SetRecNo(2);
  EXPECT_EQ(Code().AsString(), "02");
  rec.Take();
  ds.SetRecNo(9);  // out of range: no move at all
  EXPECT_TRUE(rec.Take().empty());
  EXPECT_EQ(ds.RecNo(), 2);
}

TEST_F(DataSetTest, RefusedPostKeepsTheEdit) {
  ds.BeforePost = [](TDataSet&) { throw EAbort(); };
  ds.Edit();
  Name().SetAsString("Nova");
  EXPECT_THROW(ds.Post(), EAbort);
  EXPECT_EQ(ds.State(), DataSetState::Edit);
  EXPECT_EQ(Name().AsString(), "Nova");
  EXPECT_EQ(ds.GetChangeCount(), 0);
}

TEST_F(DataSetTest, RequiredFieldRefusesThePost) {
  Name().SetRequired(true);
  ds.Edit();
  Name().Clear();
  EXPECT_THROW(ds.Post(), EDatabaseError);
  EXPECT_EQ(ds.State(), DataSetState::Edit);
}

TEST_F(DataSetTest, WritingOutsideEditAndDeletingNothingAreErrors) {
  try {
    Name().SetAsString("x");
    FAIL() << "write in browse accepted";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Conjunto de dados não está em modo de edição ou inserção.");
  }
  EXPECT_THROW(ds.FieldByName("VRPEMULEMPR").SetAsString("abc"), EDatabaseError);
  TClientDataSet empty;
  empty.SetData(Companies(0));
  try {
    empty.Delete();
    FAIL() << "delete on an empty dataset accepted";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Operação não permitida em um conjunto de dados vazio.");
  }
  TClientDataSet closed;
  EXPECT_THROW(closed.First(), EDatabaseError);
}

TEST(DataSetEvents, EditOnAnEmptyDataSetInserts) {
  TClientDataSet ds;
  ds.SetData(Companies(0));
  test::Recorder rec;
  rec.Hook(ds);
  ds.Edit();
  EXPECT_EQ(ds.State(), DataSetState::Insert);
  EXPECT_EQ(rec.Take(), (Log{"BeforeInsert/browse", "BeforeScroll/browse", "NewRecord/insert",
                             "AfterInsert/insert", "AfterScroll/insert"}));
  EXPECT_EQ(ds.RecordCount(), 1);
  ds.Cancel();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.RecNo(), 0);
}

TEST_F(DataSetTest, DeleteWhileInsertingIsACancel) {
  ds.Insert();
  rec.Take();
  ds.Delete();
  EXPECT_EQ(rec.Take(), (Log{"BeforeCancel/insert", "AfterCancel/browse"}));
  EXPECT_EQ(Codes(ds), "01,02,03");
  EXPECT_EQ(ds.GetChangeCount(), 0);
}

TEST_F(DataSetTest, CancelOfAnInsertReturnsToThePreviousRow) {
  ds.SetRecNo(2);
  ds.Insert();
  ds.Cancel();
  EXPECT_EQ(Code().AsString(), "02");
  ds.Append();
  EXPECT_EQ(ds.RecNo(), 4);
  ds.Cancel();
  EXPECT_EQ(Code().AsString(), "02");
  EXPECT_EQ(ds.RecordCount(), 3);
}

TEST_F(DataSetTest, FailingNewRecordLeavesNoRow) {
  ds.OnNewRecord = [](TDataSet&) { throw EDatabaseError("sem padrão"); };
  EXPECT_THROW(ds.Insert(), EDatabaseError);
  EXPECT_EQ(ds.State(), DataSetState::Browse);
  EXPECT_EQ(Codes(ds), "01,02,03");
  EXPECT_EQ(Code().AsString(), "01");
}

TEST_F(DataSetTest, UntouchedInsertIsCancelledByAMove) {
  ds.Insert();
  ds.Last();
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_EQ(ds.GetChangeCount(), 0);
}

TEST_F(DataSetTest, CloseAndReopen) {
  ds.Close();
  EXPECT_EQ(rec.Take(), (Log{"BeforeClose/browse", "AfterClose/inactive"}));
  EXPECT_FALSE(ds.Active());
  EXPECT_TRUE(Code().IsNull()) << "an inactive dataset reads as null";
  ds.Open();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(rec.Take(), (Log{"BeforeOpen/inactive", "AfterOpen/browse"}));
  EXPECT_THROW(ds.AddField({"NOVO", FieldKind::String, 1}), EDatabaseError);
}

// ---------------------------------------------------------------------------------------------
// Change log and delta

TEST_F(DataSetTest, ChangeLogFollowsTheOrderRowsWereFirstChanged) {
  ds.SetRecNo(3);
  ds.Edit();
  Name().SetAsString("Três");
  ds.Post();
  ds.First();
  ds.Delete();  // "01"
  ds.Append();
  Code().SetAsString("04");
  ds.Post();
  ds.First();  // "02"
  ds.Edit();
  Name().SetAsString("Dois");
  ds.Post();
  ds.Last();  // "04" again: still one insert with the latest values
  ds.Edit();
  Name().SetAsString("Quatro");
  ds.Post();
  ds.SetRecNo(2);  // "03" again: still one update, old values are the loaded ones
  ds.Edit();
  Name().SetAsString("Três de novo");
  ds.Post();

  EXPECT_EQ(ds.GetChangeCount(), 4);
  ChangeSet delta = ds.GetDelta();
  EXPECT_EQ(delta.fields, Companies(0).fields);
  ASSERT_EQ(delta.changes.size(), 4u);
  EXPECT_EQ(delta.changes[0], (Change{ChangeKind::Update,
                                      {std::string("03"), std::string("Empresa 03"), 4.5},
                                      {std::string("03"), std::string("Três de novo"), 4.5}}));
  EXPECT_EQ(delta.changes[1],
            (Change{ChangeKind::Delete, {std::string("01"), std::string("Empresa 01"), 1.5}, {}}));
  EXPECT_EQ(delta.changes[2],
            (Change{ChangeKind::Insert, {}, {std::string("04"), std::string("Quatro"), Value{}}}));
  EXPECT_EQ(delta.changes[3].kind, ChangeKind::Update);
  EXPECT_EQ(Codes(ds), "02,03,04");
}

TEST_F(DataSetTest, InsertThenDeleteLeavesNothing) {
  ds.Insert();
  Code().SetAsString("07");
  ds.Post();
  EXPECT_EQ(ds.GetChangeCount(), 1);
  ds.Delete();
  EXPECT_EQ(ds.GetChangeCount(), 0);
  EXPECT_TRUE(ds.GetDelta().changes.empty());
}

TEST_F(DataSetTest, EditThenDeleteSendsTheOriginalValues) {
  ds.Edit();
  Code().SetAsString("XX");
  Name().SetAsString("Mudou");
  ds.Post();
  ds.Delete();
  ChangeSet delta = ds.GetDelta();
  ASSERT_EQ(delta.changes.size(), 1u);
  EXPECT_EQ(delta.changes[0],
            (Change{ChangeKind::Delete, {std::string("01"), std::string("Empresa 01"), 1.5}, {}}));
}

TEST_F(DataSetTest, EditingBackToTheOriginalLeavesNothingPending) {
  ds.Edit();
  Name().SetAsString("Mudou");
  ds.Post();
  ds.Edit();
  Name().SetAsString("Empresa 01");
  ds.Post();
  EXPECT_EQ(ds.GetChangeCount(), 0);
  ds.Edit();
  ds.Post();  // posting without a change logs nothing either
  EXPECT_EQ(ds.GetChangeCount(), 0);
}

TEST_F(DataSetTest, OldValueIsTheBaseValue) {
  ds.Edit();
  Name().SetAsString("Nova");
  EXPECT_EQ(Name().OldValue(), Value{std::string("Empresa 01")});
  ds.Post();
  EXPECT_EQ(Name().OldValue(), Value{std::string("Empresa 01")});
  EXPECT_EQ(Name().AsString(), "Nova");
  ds.MergeChangeLog();
  EXPECT_EQ(Name().OldValue(), Value{std::string("Nova")});
  ds.Append();
  Name().SetAsString("Inserida");
  EXPECT_TRUE(IsNull(Name().OldValue()));
  ds.Post();
  EXPECT_TRUE(IsNull(Name().OldValue())) << "an inserted row has no base until merged";
}

TEST_F(DataSetTest, MergeMakesTheChangesTheBase) {
  ds.Edit();
  Name().SetAsString("Nova");
  ds.Post();
  ds.Last();
  ds.Delete();
  ds.Append();
  Code().SetAsString("05");
  ds.Post();
  ds.MergeChangeLog();
  EXPECT_EQ(ds.GetChangeCount(), 0);
  EXPECT_TRUE(ds.GetDelta().changes.empty());
  ds.CancelUpdates();  // nothing left to undo
  EXPECT_EQ(Codes(ds), "01,02,05");
  ds.First();
  EXPECT_EQ(Name().AsString(), "Nova");
  ds.Delete();  // a merged insert is now an ordinary row: its delete is logged
  EXPECT_EQ(ds.GetChangeCount(), 1);
}

TEST_F(DataSetTest, CancelUpdatesRestoresBaseRowsInOrder) {
  ds.SetRecNo(2);
  ds.Delete();  // "02"
  ds.First();
  ds.Edit();
  Name().SetAsString("Mudou");
  ds.Post();
  ds.Insert();  // before "01"
  Code().SetAsString("00");
  ds.Post();
  ds.Last();
  ds.Append();
  Code().SetAsString("99");
  ds.Post();
  EXPECT_EQ(Codes(ds), "00,01,03,99");
  ds.SetRecNo(3);  // "03" stays current
  ds.CancelUpdates();
  EXPECT_EQ(Codes(ds), "01,02,03");
  EXPECT_EQ(Code().AsString(), "03");
  EXPECT_EQ(ds.GetChangeCount(), 0);
  ds.First();
  EXPECT_EQ(Name().AsString(), "Empresa 01");
}

TEST_F(DataSetTest, CancelUpdatesWhileInsertingDropsTheNewRow) {
  ds.Insert();
  Code().SetAsString("55");
  ds.CancelUpdates();
  EXPECT_EQ(ds.State(), DataSetState::Browse);
  EXPECT_EQ(Codes(ds), "01,02,03");
  EXPECT_EQ(ds.RecNo(), 1);
}

TEST_F(DataSetTest, CancelUpdatesWhenTheCurrentRowGoesKeepsThePosition) {
  ds.Last();
  ds.Append();
  Code().SetAsString("04");
  ds.Post();
  ds.CancelUpdates();
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_EQ(Code().AsString(), "03");
}

TEST_F(DataSetTest, DataShowsPendingChangesAndCopyFromTakesThemAsBase) {
  ds.Edit();
  Name().SetAsString("Mudou");
  ds.Post();
  ds.Append();
  Code().SetAsString("04");
  ds.Post();
  ds.Append();  // not posted: not part of the rows as shown
  Code().SetAsString("05");
  DataPacket data = ds.Data();
  ASSERT_EQ(data.rows.size(), 4u);
  EXPECT_EQ(data.rows[0][1], Value{std::string("Mudou")});

  TClientDataSet mirror;
  mirror.CopyFrom(ds);
  EXPECT_EQ(Codes(mirror), "01,02,03,04");
  EXPECT_EQ(mirror.GetChangeCount(), 0);
  mirror.First();
  EXPECT_EQ(mirror.FieldByName("NMEMPRESA").AsString(), "Mudou");
  EXPECT_TRUE(IsNull(mirror.FieldByName("NMEMPRESA").OldValue()) == false);
}

TEST_F(DataSetTest, EmptyDataSetDropsRowsAndLog) {
  ds.Delete();
  ds.EmptyDataSet();
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_EQ(ds.GetChangeCount(), 0);
  EXPECT_TRUE(ds.Active());
}

// ---------------------------------------------------------------------------------------------
// SetData with persistent fields

class PersistentFieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.AddField({"CDEMPRESA", FieldKind::String, 2, ProviderFlags::None()});
    ds.AddField({"NMEMPRESA", FieldKind::Memo, 0, ProviderFlags::InWhere()});
    ds.AddField({"VRPEMULEMPR", FieldKind::Integer, 0});
  }
  TClientDataSet ds;
};

TEST_F(PersistentFieldsTest, MapsColumnsByNameAndIgnoresExtras) {
  DataPacket p;
  p.fields = {{"extra", FieldKind::Blob},
              {"vrpemulempr", FieldKind::Float},
              {"cdempresa", FieldKind::String, 2},
              {"NmEmpresa", FieldKind::String, 40}};
  p.rows = {{Bytes{"x"}, 3.0, std::string("01"), std::string("Um")}};
  ds.SetData(p);
  ASSERT_EQ(ds.FieldCount(), 3);
  EXPECT_EQ(ds.FieldByName("cdEmpresa").AsString(), "01");
  EXPECT_EQ(ds.FieldByName("NMEMPRESA").AsString(), "Um");
  EXPECT_EQ(ds.FieldByName("VRPEMULEMPR").GetValue(), Value{std::int64_t{3}});
  EXPECT_EQ(ds.Data().fields[1].kind, FieldKind::Memo);
}

TEST_F(PersistentFieldsTest, AnyMismatchLeavesTheDataSetAsItWas) {
  DataPacket good;
  good.fields = {{"CDEMPRESA", FieldKind::String, 2},
                 {"NMEMPRESA", FieldKind::String, 40},
                 {"VRPEMULEMPR", FieldKind::Integer}};
  good.rows = {{std::string("01"), std::string("Um"), std::int64_t{1}},
               {std::string("02"), std::string("Dois"), std::int64_t{2}}};
  ds.SetData(good);
  ds.Next();
  ds.Edit();
  ds.FieldByName("NMEMPRESA").SetAsString("Editando");
  ds.Post();
  test::Recorder rec;
  rec.Hook(ds);

  auto expectError = [&](const DataPacket& p, const std::string& message) {
    try {
      ds.SetData(p);
      ADD_FAILURE() << "accepted: " << message;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.what(), message);
    }
    EXPECT_TRUE(rec.Take().empty()) << "no event may run for a refused packet";
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(ds.GetChangeCount(), 1);
    EXPECT_EQ(ds.FieldByName("NMEMPRESA").AsString(), "Editando");
  };
  DataPacket missing = good;
  missing.fields.erase(missing.fields.begin() + 1);
  for (Row& r : missing.rows) r.erase(r.begin() + 1);
  expectError(missing, "Campo 'NMEMPRESA' não encontrado no pacote de dados.");

  DataPacket wrongKind = good;
  wrongKind.fields[2].kind = FieldKind::DateTime;
  expectError(wrongKind,
              "Campo 'VRPEMULEMPR' é do tipo integer e o pacote de dados o traz como datetime.");

  DataPacket shortRow = good;
  shortRow.rows[1].pop_back();
  expectError(shortRow, "Pacote de dados inválido: linha 2 tem 2 valores, esperados 3.");

  DataPacket badValue = good;
  badValue.rows[0][2] = 2.5;  // not an integer
  expectError(badValue,
              "Pacote de dados inválido: linha 1, campo 'VRPEMULEMPR': valor incompatível com o "
              "tipo integer.");

  DataPacket twice = good;
  twice.fields[1].name = "cdempresa";
  expectError(twice, "Pacote de dados inválido: o campo 'cdempresa' aparece mais de uma vez.");
}

TEST_F(PersistentFieldsTest, SetDataWhileEditingCancelsFirst) {
  DataPacket p;
  p.fields = {{"CDEMPRESA", FieldKind::String, 2},
              {"NMEMPRESA", FieldKind::String, 40},
              {"VRPEMULEMPR", FieldKind::Integer}};
  p.rows = {{std::string("01"), std::string("Um"), Value{}}};
  ds.SetData(p);
  TField& keep = ds.FieldByName("CDEMPRESA");
  ds.Edit();
  ds.FieldByName("NMEMPRESA").SetAsString("x");
  test::Recorder rec;
  rec.Hook(ds);
  ds.SetData(p);
  EXPECT_EQ(rec.Take(), (Log{"BeforeCancel/edit", "AfterCancel/browse", "BeforeOpen/browse",
                             "AfterOpen/browse", "AfterScroll/browse"}));
  EXPECT_EQ(&ds.FieldByName("CDEMPRESA"), &keep) << "persistent fields survive a reload";
  EXPECT_EQ(ds.GetChangeCount(), 0);
}

TEST(DynamicFields, FieldsComeFromThePacketAndSurviveTheSameLayout) {
  TClientDataSet ds;
  ds.SetData(Companies(1));
  TField* code = &ds.FieldByName("CDEMPRESA");
  code->SetDisplayLabel("Código");
  ds.SetData(Companies(2));
  EXPECT_EQ(&ds.FieldByName("CDEMPRESA"), code);
  EXPECT_EQ(code->DisplayLabel(), "Código");
  DataPacket other;
  other.fields = {{"X", FieldKind::Integer}};
  other.rows = {{std::int64_t{5}}};
  ds.SetData(other);
  EXPECT_EQ(ds.FieldCount(), 1);
  EXPECT_EQ(ds.FindField("CDEMPRESA"), nullptr);
  EXPECT_EQ(ds.FieldByName("x").AsInteger(), 5);
  try {
    ds.FieldByName("Y");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Campo 'Y' não encontrado.");
  }
}

// ---------------------------------------------------------------------------------------------
// Locate and bookmarks

TEST(Locate, KeysCaseAndPartialMatch) {
  TClientDataSet ds;
  DataPacket p;
  p.fields = {{"CDEMPRESA", FieldKind::String, 2},
              {"CDREPRES", FieldKind::String, 2},
              {"NMREPRES", FieldKind::String, 30},
              {"VR", FieldKind::Float}};
  p.rows = {{std::string("01"), std::string("10"), std::string("José"), 1.5},
            {std::string("01"), std::string("11"), std::string("ÁLVARO Souza"), 2.0},
            {std::string("02"), std::string("10"), Value{}, Value{}}};
  ds.SetData(p);
  EXPECT_TRUE(ds.Locate("CDEMPRESA;CDREPRES", {std::string("02"), std::string("10")}));
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_FALSE(ds.Locate("NMREPRES", {std::string("josé")}));
  EXPECT_EQ(ds.RecNo(), 3) << "a failed locate does not move";
  EXPECT_TRUE(ds.Locate("NMREPRES", {std::string("josé")}, {.caseInsensitive = true}));
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_TRUE(ds.Locate("nmrepres", {std::string("álvaro")},
                        {.caseInsensitive = true, .partialKey = true}));
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_FALSE(ds.Locate("NMREPRES", {std::string("ÁLVARO")}));
  EXPECT_TRUE(ds.Locate("NMREPRES", {Value{}}));
  EXPECT_EQ(ds.RecNo(), 3);
  EXPECT_TRUE(ds.Locate("VR", {std::string("1,5")}));  // a typed number reads pt-BR
  EXPECT_EQ(ds.RecNo(), 1);
  EXPECT_TRUE(ds.Locate("VR", {std::int64_t{2}}));
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_FALSE(ds.Locate("VR", {std::string("abc")}));
  EXPECT_THROW(ds.Locate("CDEMPRESA;CDREPRES", {std::string("01")}), EDatabaseError);
  EXPECT_THROW(ds.Locate("NADA", {std::string("01")}), EDatabaseError);
}

TEST_F(DataSetTest, LocateFiresScrollEventsOnlyWhenFound) {
  ASSERT_TRUE(ds.Locate("CDEMPRESA", {std::string("03")}));
  EXPECT_EQ(rec.Take(), (Log{"BeforeScroll/browse", "AfterScroll/browse"}));
  ASSERT_FALSE(ds.Locate("CDEMPRESA", {std::string("09")}));
  EXPECT_TRUE(rec.Take().empty());
}

TEST_F(DataSetTest, BookmarksSurviveInsertsAndDeletes) {
  ds.SetRecNo(3);
  TDataSet::Bookmark third = ds.GetBookmark();
  ds.First();
  TDataSet::Bookmark first = ds.GetBookmark();
  ds.Insert();
  Code().SetAsString("00");
  ds.Post();
  ds.SetRecNo(3);  // "02"
  ds.Delete();
  ASSERT_TRUE(ds.BookmarkValid(third));
  ds.GotoBookmark(third);
  EXPECT_EQ(Code().AsString(), "03");
  ds.GotoBookmark(first);
  EXPECT_EQ(Code().AsString(), "01");
  ds.Delete();
  EXPECT_FALSE(ds.BookmarkValid(first));
  EXPECT_THROW(ds.GotoBookmark(first), EDatabaseError);
  EXPECT_FALSE(ds.BookmarkValid(std::nullopt));
  ds.SetData(Companies(3));
  EXPECT_FALSE(ds.BookmarkValid(third)) << "a reload makes new rows";
}

// ---------------------------------------------------------------------------------------------
// Controls disabled

TEST_F(DataSetTest, DisabledControlsHearOneChangeAtTheEnd) {
  TDataSource src;
  src.SetDataSet(&ds);
  test::Recorder srcRec;
  srcRec.Hook(src);
  ds.DisableControls();
  ds.DisableControls();
  ds.Next();
  ds.Edit();
  ds.EnableControls();
  EXPECT_TRUE(srcRec.log.empty());
  EXPECT_TRUE(ds.ControlsDisabled());
  ds.EnableControls();
  EXPECT_EQ(srcRec.Take(), (Log{"State:edit", "Data:*"}));
  ds.EnableControls();  // unbalanced: harmless
  EXPECT_FALSE(ds.ControlsDisabled());
}

}  // namespace
}  // namespace ger
