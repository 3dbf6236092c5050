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
#include "offline_fixture.h"
#include "picture_sample.h"
#include "ui/gestures.h"

namespace ger {
namespace {

namespace fs = std::filesystem;

class BeforePost : public OfflineScreen {
 protected:
  void Load(const Values& values) {
    LoadCompanies({values});
    f_->Show();
  }
  // A post the way the list's move or any other caller than the confirm makes it.
  void EditAndPost(const char* field, const std::string& value) {
    f_->cdsEmpresa.Edit();
    F(field).SetAsString(value);
    f_->cdsEmpresa.Post();
  }
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
