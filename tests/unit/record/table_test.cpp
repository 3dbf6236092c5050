// The host's declaration types on a table of no module: lookups by name, the field definitions
// and presentation a dataset gets from a table or from a dataset over it, and the checks code
// relies on at compile time.
#include "record/table.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "data/dataset.h"

namespace ger::record {
namespace {

// clang-format off
#define ITEM_COLUMNS(X) \
  X(CDITEM, FieldKind::String, 4) \
  X(NMITEM, FieldKind::String, 30) \
  X(VRITEM, FieldKind::Float, 0) \
  X(DSITEM, FieldKind::Memo, 0)
struct Item { ITEM_COLUMNS(GER_RECORD_COLUMN_NAME) };
// clang-format on

constexpr Column kItemColumns[] = {
    {Item::CDITEM, FieldKind::String, 4, kNoFlags, {.label = "Código", .mask = "9999;0; "}},
    {Item::NMITEM, FieldKind::String, 30, kDefaultFlags, {.displayWidth = 12, .required = true}},
    {Item::VRITEM, FieldKind::Float, 0, kInWhere, {.displayFormat = "#,##0.00"}},
    {Item::DSITEM, FieldKind::Memo, 0, kDefaultFlags, {.visible = false, .readOnly = true}},
};
constexpr std::string_view kItemKey[] = {Item::CDITEM};
constexpr Table kItem{"ITEM", kItemColumns, kItemKey};

constexpr DatasetField kPriceFields[] = {
    {&kItem, Item::VRITEM, {.label = "Preço"}, kNoFlags},
    {&kItem, Item::CDITEM, {.visible = false}},
};
constexpr Dataset kPrices{"cdsPrices", kPriceFields};
constexpr DatasetField kMisnamed[] = {{&kItem, "VRITEMS", {}}};
static_assert(Resolves(kPriceFields));
static_assert(!Resolves(kMisnamed));

TEST(Table, FindsColumnsAndKeysWhateverTheCase) {
  EXPECT_EQ(kItem.Find("nmitem"), &kItemColumns[1]);
  EXPECT_EQ(&kItem["VrItem"], &kItemColumns[2]);
  EXPECT_EQ(kItem.Find("NMITE"), nullptr);
  try {
    (void)kItem["NAOEXISTE"];
    ADD_FAILURE() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_EQ(std::string(e.what()), "table ITEM has no column NAOEXISTE");
  }
  EXPECT_TRUE(kItem.IsKey("cditem"));
  EXPECT_FALSE(kItem.IsKey(Item::NMITEM));

  const std::vector<FieldDef> fields = kItem.Fields();
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_EQ(fields[0], (FieldDef{"CDITEM", FieldKind::String, 4, kNoFlags}));
  EXPECT_EQ(fields[2], (FieldDef{"VRITEM", FieldKind::Float, 0, kInWhere}));
  EXPECT_EQ(fields[3].kind, FieldKind::Memo);

  const std::string name = Item::NMITEM;  // the controls keep their fields' names as strings
  EXPECT_EQ(name, "NMITEM");
}

TEST(Table, DefinesADatasetsFieldsWithTheirPresentation) {
  TClientDataSet table("cdsItem");
  DefineFields(table, kItem);
  ASSERT_EQ(table.FieldCount(), 4);
  EXPECT_EQ(table.Field(0).FieldName(), "CDITEM");
  EXPECT_EQ(table.Field(0).DisplayLabel(), "Código");
  EXPECT_EQ(table.Field(0).EditMask(), "9999;0; ");
  EXPECT_EQ(table.Field(0).Flags(), kNoFlags);
  EXPECT_EQ(table.FieldByName("NMITEM").DisplayLabel(), "NMITEM");  // no label: the name
  EXPECT_EQ(table.FieldByName("NMITEM").DisplayWidth(), 12);
  EXPECT_TRUE(table.FieldByName("NMITEM").Required());
  EXPECT_EQ(table.FieldByName("VRITEM").DisplayFormat(), "#,##0.00");
  EXPECT_FALSE(table.FieldByName("DSITEM").Visible());
  EXPECT_TRUE(table.FieldByName("DSITEM").ReadOnly());
  EXPECT_TRUE(table.FieldByName("CDITEM").Visible());

  // A dataset over the table: kind and size from the table, presentation and flags its own.
  TClientDataSet prices(std::string(kPrices.name));
  DefineFields(prices, kPrices);
  ASSERT_EQ(prices.FieldCount(), 2);
  EXPECT_EQ(prices.Field(0).FieldName(), "VRITEM");
  EXPECT_EQ(prices.Field(0).Kind(), FieldKind::Float);
  EXPECT_EQ(prices.Field(0).DisplayLabel(), "Preço");
  EXPECT_EQ(prices.Field(0).DisplayFormat(), "");
  EXPECT_EQ(prices.Field(0).Flags(), kNoFlags);
  EXPECT_EQ(prices.Field(1).Size(), 4);
  EXPECT_EQ(prices.Field(1).EditMask(), "");
  EXPECT_FALSE(prices.Field(1).Visible());
  EXPECT_EQ(prices.Field(1).Flags(), kDefaultFlags);
}

}  // namespace
}  // namespace ger::record
