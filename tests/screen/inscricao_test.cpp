// The registration check run by a confirm started on another page: the person type and the
// number are still derived and tested, but the mask of the hidden box is left as it was.
#include "screen_fixture.h"

namespace ger {
namespace {

namespace G = ui::Gestures;

TEST_F(EmpresaScreen, TheRegistrationCheckOnAnotherPageDerivesButLeavesTheMask) {
  TfrmEmpresa& f = Open();
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  ASSERT_TRUE(G::Type(f.dbeCGCEmpresa, "39053344705"));
  TField& number = f.cdsEmpresa.FieldByName("NRINSJUREMPR");
  ASSERT_EQ(number.EditMask(), Consiste::PictPess("I"));

  // Leaving the page leaves the box first (derived while the main page still shows); then the
  // derivation is undone so that only the confirm's check, on the other page, redoes it.
  f.pgcPadrao.SetActivePage(f.tshEndereco);
  ASSERT_EQ(number.EditMask(), Consiste::PictPess("F"));
  f.cdsEmpresa.FieldByName("IDTPIJUREMPR").Clear();
  number.SetEditMask(Consiste::PictPess("I"));
  f.Vd_Inscricao(false);
  EXPECT_EQ(f.cdsEmpresa.FieldByName("IDTPIJUREMPR").AsString(), "F");
  EXPECT_EQ(number.AsString(), "39053344705");
  EXPECT_EQ(number.EditMask(), Consiste::PictPess("I"));

  f.pgcPadrao.SetActivePage(f.tshFormulario);
  f.Vd_Inscricao(false);
  EXPECT_EQ(number.EditMask(), Consiste::PictPess("F"));
  EXPECT_EQ(Messages(), std::vector<std::string>{});
}

}  // namespace
}  // namespace ger
