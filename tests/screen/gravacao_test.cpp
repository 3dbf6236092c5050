// Every post of the company, whatever started it, fills the none codes, splits the address line
// and keeps the logo's bytes in step with its path. No server here: a post stays in the
// dataset's change log, and a record without a neighbourhood needs none.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "Ger00200/ger00200.h"
#include "picture_sample.h"
#include "ui/gestures.h"

namespace ger {
namespace {

namespace fs = std::filesystem;

class BeforePost : public ::testing::Test {
 protected:
  void SetUp() override {
    Application().Reset();
    Application().SetDialogs(std::make_shared<ui::ScriptedDialogs>());
    auto form = std::make_unique<TfrmEmpresa>();
    f_ = form.get();
    Application().Adopt(std::move(form));
    f_->cdsEmpresa.AfterPost = nullptr;
    dir_ = fs::temp_directory_path() / ("ger-gravacao-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    Application().Reset();
    fs::remove_all(dir_);
  }

  void Load(const std::vector<std::pair<std::string, Value>>& values) {
    TClientDataSet& cds = f_->cdsEmpresa;
    DataPacket packet{cds.FieldDefs(), {}};
    std::vector<Value> row(packet.fields.size());
    row[cds.FieldByName("CDEMPRESA").Index()] = std::string("01");
    for (const auto& [name, value] : values) row[cds.FieldByName(name).Index()] = value;
    packet.rows.push_back(std::move(row));
    cds.SetData(packet);
    f_->Show();
  }
  TField& F(const char* name) { return f_->cdsEmpresa.FieldByName(name); }
  std::string Write(const char* name, const std::string& bytes) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  // A post the way the list's move or any other caller than the confirm makes it.
  void EditAndPost(const char* field, const std::string& value) {
    f_->cdsEmpresa.Edit();
    F(field).SetAsString(value);
    f_->cdsEmpresa.Post();
  }

  TfrmEmpresa* f_ = nullptr;
  fs::path dir_;
};

TEST_F(BeforePost, AnyPostFillsNoneCodesAndSplitsTheAddressKeepingWhatIsSet) {
  Load({{"IDNATUOPEREMPR", std::string("01")}, {"NRLOGRADEMPR", std::string("999")}});
  EditAndPost("DSENDEEMPR", "Rua A, 10-B");
  EXPECT_EQ(F("IDNATUOPEREMPR").AsString(), "01");
  EXPECT_EQ(F("IDREGESPTRIBEMP").AsString(), "99");
  EXPECT_EQ(F("IDREGIMEICMSST").AsString(), "0");
  EXPECT_EQ(F("IDFORMAPUR").AsString(), "I");
  EXPECT_EQ(F("IDCUMUPICOEMP").AsString(), "T");
  EXPECT_EQ(F("IDINCENTCULTURA").AsString(), "N");
  EXPECT_EQ(F("DSLOGRADEMPR").AsString(), "Rua A");
  EXPECT_EQ(F("NRLOGRADEMPR").AsString(), "10");
  EXPECT_EQ(F("DSCMPLOGEMPR").AsString(), "B");

  // A line without a comma leaves no street in the six-character number, nor an old number.
  EditAndPost("DSENDEEMPR", "Rodovia BR-101 km 5");
  EXPECT_EQ(F("DSLOGRADEMPR").AsString(), "");
  EXPECT_EQ(F("NRLOGRADEMPR").AsString(), "");
  EXPECT_EQ(F("DSCMPLOGEMPR").AsString(), "");
}

TEST_F(BeforePost, TheLogoIsReadWhenThePathChangesAndDroppedWhenItIsEmptied) {
  Load({});
  const std::string first = Write("a.bmp", Bmp('\x10'));
  EditAndPost("DSARQLOGOEMP", first);
  EXPECT_EQ(F("DSARQLOGOEMPCLOB").AsBytes().data, Bmp('\x10'));
  f_->cdsEmpresa.MergeChangeLog();  // as after a save the server took

  // The same path: the stored picture stays, even when the file changed meanwhile.
  Write("a.bmp", Bmp('\x20'));
  EditAndPost("NMEMPRESA", "Outro nome");
  EXPECT_EQ(F("DSARQLOGOEMPCLOB").AsBytes().data, Bmp('\x10'));
  f_->cdsEmpresa.MergeChangeLog();

  EditAndPost("DSARQLOGOEMP", Write("b.bmp", Bmp('\x30')));
  EXPECT_EQ(F("DSARQLOGOEMPCLOB").AsBytes().data, Bmp('\x30'));
  f_->cdsEmpresa.MergeChangeLog();

  EditAndPost("DSARQLOGOEMP", "");
  EXPECT_TRUE(F("DSARQLOGOEMPCLOB").IsNull());
}

// A picture stored without a path (older programs kept it so) is no emptied path.
TEST_F(BeforePost, APathEmptyBeforeAndAfterLeavesTheStoredPictureAsItWas) {
  Load({{"DSARQLOGOEMPCLOB", Bytes{"de um programa antigo"}}});
  EditAndPost("NMEMPRESA", "Outro nome");
  EXPECT_EQ(F("DSARQLOGOEMPCLOB").AsBytes().data, "de um programa antigo");
  f_->cdsEmpresa.MergeChangeLog();

  // A file chosen in this edit (its bytes in the record) and its path cleared again.
  f_->cdsEmpresa.Edit();
  F("DSARQLOGOEMP").SetAsString(Write("c.bmp", Bmp('\x50')));
  F("DSARQLOGOEMPCLOB").SetAsBytes(Bytes{Bmp('\x50')});
  F("DSARQLOGOEMP").SetAsString("");
  f_->cdsEmpresa.Post();
  EXPECT_EQ(F("DSARQLOGOEMPCLOB").AsBytes().data, "de um programa antigo");
}

}  // namespace
}  // namespace ger
