#include "data/field.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "core/exceptions.h"
#include "data/dataset.h"
#include "data/datasource.h"

namespace ger {
namespace {

class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.AddField({"NM", FieldKind::String, 5});
    ds.AddField({"VR", FieldKind::Float});
    ds.AddField({"NR", FieldKind::Integer});
    ds.AddField({"DT", FieldKind::DateTime});
    ds.AddField({"LOGO", FieldKind::Blob});
    ds.AddField({"DS", FieldKind::Memo});
    ds.Open();
    ds.Append();
  }
  TField& F(const char* name) { return ds.FieldByName(name); }
  TClientDataSet ds;
};

TEST_F(FieldTest, TextIsCutToSizeInCharactersNotBytes) {
  F("NM").SetAsString("Ação Çé");  // 7 characters, 10 bytes
  EXPECT_EQ(F("NM").AsString(), "Ação ");
  F("NM").SetAsString("ééééééé");
  EXPECT_EQ(F("NM").AsString(), "ééééé");
  F("NM").SetValue(std::string("日本語テキスト"));
  EXPECT_EQ(F("NM").AsString(), "日本語テキ");
  F("DS").SetAsString(std::string(3000, 'x'));  // a memo has no size limit
  EXPECT_EQ(F("DS").AsString().size(), 3000u);
}

TEST_F(FieldTest, EmptyTextMakesNullAndNullReadsEmpty) {
  F("NM").SetAsString("abc");
  F("NM").SetAsString("");
  EXPECT_TRUE(F("NM").IsNull());
  EXPECT_EQ(F("NM").AsString(), "");
  F("VR").SetAsString("2,5");
  F("VR").SetAsString("  ");
  EXPECT_TRUE(F("VR").IsNull());
  EXPECT_EQ(F("VR").AsFloat(), 0.0);
  EXPECT_EQ(F("NR").AsInteger(), 0);
  EXPECT_EQ(F("DT").AsString(), "");
}

TEST_F(FieldTest, NumbersReadAndWritePtBr) {
  F("VR").SetAsString("1234,5");
  EXPECT_EQ(F("VR").AsFloat(), 1234.5);
  EXPECT_EQ(F("VR").AsString(), "1234,5");
  F("VR").SetDisplayFormat("#,##0.000");
  EXPECT_EQ(F("VR").DisplayText(), "1.234,500");
  EXPECT_EQ(F("VR").Text(), "1234,5") << "the edit text ignores the display format";
  F("NR").SetAsString("-42");
  EXPECT_EQ(F("NR").AsInteger(), -42);
  F("NR").SetAsFloat(7.0);
  EXPECT_EQ(F("NR").GetValue(), Value{std::int64_t{7}});
  F("VR").SetAsInteger(3);
  EXPECT_EQ(F("VR").GetValue(), Value{3.0});
}

TEST_F(FieldTest, BadTextsRaiseConversionErrorsAndKeepTheValue) {
  F("VR").SetAsString("2,5");
  try {
    F("VR").SetAsString("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' não é um valor numérico válido.");
  }
  EXPECT_THROW(F("VR").SetAsString("1.5"), EConvertError);
  EXPECT_EQ(F("VR").AsFloat(), 2.5);
  try {
    F("DT").SetAsString("31/02/2005");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'31/02/2005' não é uma data válida.");
  }
  EXPECT_THROW(F("NR").SetAsString("1,5"), EConvertError);
}

TEST_F(FieldTest, DatesAsText) {
  F("DT").SetAsString("28/02/2005");
  EXPECT_EQ(F("DT").AsDateTime(), DateTime::FromParts(2005, 2, 28));
  EXPECT_EQ(F("DT").AsString(), "28/02/2005");
  F("DT").SetAsDateTime(DateTime::FromParts(2005, 2, 28, 13, 45, 0));
  EXPECT_EQ(F("DT").AsString(), "28/02/2005 13:45:00");
}

TEST_F(FieldTest, GetAndSetTextHandlers) {
  std::vector<bool> flags;
  F("NM").OnGetText = [&](TField& f, std::string& text, bool display) {
    flags.push_back(display);
    text = f.AsString() == "*" ? "" : f.AsString();
  };
  F("NM").OnSetText = [](TField& f, const std::string& text) {
    f.SetAsString(text == "Sim" ? "S" : "N");
  };
  F("NM").SetText("Sim");
  EXPECT_EQ(F("NM").AsString(), "S");
  F("NM").SetAsString("*");
  EXPECT_EQ(F("NM").DisplayText(), "");
  EXPECT_EQ(F("NM").Text(), "");
  EXPECT_EQ(flags, (std::vector<bool>{true, false}));
  F("VR").SetText("3,25");  // no handler: pt-BR conversion
  EXPECT_EQ(F("VR").AsFloat(), 3.25);
}

TEST_F(FieldTest, ValidCharactersByKind) {
  for (char32_t c : U"0123456789+-,eE") EXPECT_TRUE(F("VR").IsValidChar(c) || c == 0);
  EXPECT_FALSE(F("VR").IsValidChar(U'.'));
  EXPECT_FALSE(F("VR").IsValidChar(U'a'));
  EXPECT_TRUE(F("NR").IsValidChar(U'-'));
  EXPECT_FALSE(F("NR").IsValidChar(U','));
  EXPECT_FALSE(F("NR").IsValidChar(U'e'));
  EXPECT_TRUE(F("NM").IsValidChar(U'ç'));
}

TEST_F(FieldTest, WriteNotifiesThenRunsOnChange) {
  std::vector<std::string> order;
  TDataSource src;
  src.SetDataSet(&ds);
  src.OnDataChange = [&](TDataSource&, TField* f) {
    order.push_back("data:" + (f ? f->FieldName() : std::string("*")));
  };
  F("NM").OnChange = [&](TField& f) { order.push_back("change:" + f.FieldName()); };
  F("NM").SetAsString("x");
  EXPECT_EQ(order, (std::vector<std::string>{"data:NM", "change:NM"}));
  EXPECT_TRUE(ds.Modified());
}

TEST_F(FieldTest, ReadOnlyFieldRefusesWrites) {
  F("NM").SetReadOnly(true);
  EXPECT_THROW(F("NM").SetAsString("x"), EDatabaseError);
  EXPECT_TRUE(F("NM").IsNull());
}

TEST_F(FieldTest, BlobsFromFilesAndBadFiles) {
  std::string path = ::testing::TempDir() + "ger_field_blob.bin";
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  std::ofstream(path, std::ios::binary) << bytes;
  F("LOGO").LoadFromFile(path);
  EXPECT_EQ(F("LOGO").AsBytes().data, bytes);
  EXPECT_EQ(F("LOGO").DisplayText(), "(BLOB)");
  std::remove(path.c_str());
  EXPECT_THROW(F("LOGO").LoadFromFile(path), EDatabaseError);
  EXPECT_EQ(F("LOGO").AsBytes().data, bytes) << "a failed load keeps the old contents";
}

TEST_F(FieldTest, DefinitionChangesAreLayoutChanges) {
  int layouts = 0;
  TDataSource src;
  src.SetDataSet(&ds);
  struct Link : TDataLink {
    int* n;
    void LayoutChanged() override { ++*n; }
  } link;
  link.n = &layouts;
  link.SetDataSource(&src);
  F("NM").SetEditMask(">aa;0; ");
  F("NM").SetDisplayLabel("Nome");
  F("NM").SetVisible(false);
  F("VR").SetDisplayFormat("#,##0.00");
  EXPECT_EQ(layouts, 4);
  EXPECT_EQ(F("NM").DisplayLabel(), "Nome");
  EXPECT_EQ(F("VR").DisplayLabel(), "VR");
  EXPECT_EQ(F("NM").DisplayWidth(), 5);
}

}  // namespace
}  // namespace ger
