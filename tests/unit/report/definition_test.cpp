// Report definitions: the shipped company list, what a broken definition is told, and how a code
// finds its file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/exceptions.h"
#include "report/definition.h"

namespace ger::report {
namespace {

namespace fs = std::filesystem;

TEST(ReportDefinition, TheCompanyListReadsAsItsColumnsInOrder) {
  Definition d = LoadDefinition(GER_SOURCE_DIR "/Ger00201/Ger002.json");
  EXPECT_EQ(d.code, "Ger002");
  EXPECT_EQ(d.title, "Empresa");
  EXPECT_EQ(d.source.object, "GER00200.rdmEmpresa");
  EXPECT_EQ(d.source.method, "GetEmpresa");
  ASSERT_EQ(d.order.size(), 1u);
  EXPECT_EQ(d.order[0].field, "CDEMPRESA");
  std::vector<std::string> titles;
  for (const ColumnDef& c : d.columns) titles.push_back(c.title);
  EXPECT_EQ(titles,
            (std::vector<std::string>{"Código", "Nome", "Razão Social", "Inscrição",
                                      "Inscrição Estadual", "Município/UF", "Telefone", "E-mail"}));
  EXPECT_EQ(d.columns[3].format, "registration");
  EXPECT_EQ(d.columns[3].fields, (std::vector<std::string>{"NRINSJUREMPR", "IDTPIJUREMPR"}));
  EXPECT_EQ(d.columns[6].overflow, Overflow::Ellipsis);
}

TEST(ReportDefinition, ABrokenDefinitionNamesItsFileAndTheFault) {
  const std::string base = R"("code":"X","title":"T","source":{"object":"O","method":"M"})";
  struct Case {
    std::string json, fragment;
  };
  const Case cases[] = {
      {"{", "not JSON"},
      {"[]", "must be an object"},
      {"{" + base + "}", "\"columns\" must list at least one column"},
      {"{" + base + R"(,"columns":[]})", "\"columns\" must list"},
      {R"({"title":"T","source":{"object":"O","method":"M"},"columns":[{"field":"A"}]})",
       "has no \"code\""},
      {"{" + base + R"(,"columns":[{"title":"A"}]})", "column 1 names no field"},
      {"{" + base + R"(,"columns":[{"field":"A","format":"money"}]})", "unknown format \"money\""},
      {"{" + base + R"(,"columns":[{"field":"A","format":"registration"}]})", "takes 2 field(s)"},
      {"{" + base + R"(,"columns":[{"field":"A","width":0}]})", "\"width\" must lie between"},
      {"{" + base + R"(,"columns":[{"field":"A","align":"middle"}]})", "left, right or center"},
      {"{" + base + R"(,"orientation":"sideways","columns":[{"field":"A"}]})",
       "auto, portrait or landscape"},
      {"{" + base + R"(,"order":["-"],"columns":[{"field":"A"}]})", "empty field name"},
  };
  for (const Case& c : cases) {
    try {
      ParseDefinition(c.json, "X.json");
      ADD_FAILURE() << "accepted: " << c.json;
    } catch (const Exception& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("X.json"), std::string::npos) << what;
      EXPECT_NE(what.find(c.fragment), std::string::npos) << c.json << " → " << what;
    }
  }
}

TEST(ReportDefinition, DescendingOrderAndGroupAreRead) {
  Definition d = ParseDefinition(
      R"({"code":"X","title":"T","source":{"object":"O","method":"M","params":["T"]},
          "order":["-NM","CD"],"group":{"label":"Estado","field":"UF"},
          "columns":[{"field":"NM","format":"number","display":"0.00"}]})");
  ASSERT_EQ(d.order.size(), 2u);
  EXPECT_TRUE(d.order[0].descending);
  EXPECT_EQ(d.order[0].field, "NM");
  EXPECT_FALSE(d.order[1].descending);
  ASSERT_TRUE(d.group);
  EXPECT_EQ(d.group->label, "Estado");
  EXPECT_EQ(d.group->value.fields, std::vector<std::string>{"UF"});
  EXPECT_EQ(d.source.params, std::vector<std::string>{"T"});
  EXPECT_EQ(d.columns[0].align, Align::Right);  // numbers line up on the right unless told
}

TEST(ReportDefinition, ACodeFindsItsFileInTheFirstFolderThatHasIt) {
  const fs::path root = fs::temp_directory_path() / ("ger-defs-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "a");
  fs::create_directories(root / "b");
  std::ofstream(root / "b" / "Ger002.json") << "{}";
  std::ofstream(root / "Ger009.json") << "{}";
  EXPECT_EQ(FindDefinition("Ger002", {root / "a", root / "b"}), root / "b" / "Ger002.json");
  std::ofstream(root / "a" / "Ger002.json") << "{}";
  EXPECT_EQ(FindDefinition("Ger002", {root / "a", root / "b"}), root / "a" / "Ger002.json");
  EXPECT_FALSE(FindDefinition("Ger003", {root / "a", root / "b"}));
  // A code is a name, never a way out of the folders.
  EXPECT_FALSE(FindDefinition("../Ger009", {root / "a"}));
  EXPECT_FALSE(FindDefinition("", {root / "a"}));
  fs::remove_all(root);
}

}  // namespace
}  // namespace ger::report
