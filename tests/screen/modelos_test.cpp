// The receipt templates and the logo, driven through the user's gestures on a screen whose list is
// loaded by hand (no server: a post stays in the dataset's change log).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ger00200/ger00200.h"
#include "offline_fixture.h"
#include "picture_sample.h"
#include "ui/gestures.h"

namespace ger {
namespace {

namespace G = ui::Gestures;
namespace O = ui::Observe;
namespace fs = std::filesystem;

class Modelos : public OfflineScreen {
 protected:
  void SetUp() override {
    OfflineScreen::SetUp();
    Load({});
    f_->Show();
  }

  void Load(const std::vector<Values>& companies) { LoadCompanies(companies); }
  std::optional<std::string> Logo() {
    const TField& f = f_->cdsEmpresa.FieldByName("DSARQLOGOEMPCLOB");
    if (f.IsNull()) return std::nullopt;
    return f.AsBytes().data;
  }
  using Msgs = std::vector<std::string>;
};

TEST_F(Modelos, ATemplateChosenGoesIntoItsBoxAndACancelledChoiceOnlyStartsTheEdit) {
  Load({{}});
  f_->pgcPadrao.SetActivePage(f_->tshFinanceiro);
  dialogs_->File(std::nullopt);
  ASSERT_TRUE(G::Click(f_->btpPesqModelo));
  EXPECT_EQ(f_->cdsEmpresa.State(), DataSetState::Edit);
  EXPECT_TRUE(f_->ActiveControl() == &f_->dbeModelo);
  EXPECT_EQ(Stored("DSARQRECIBO"), std::nullopt);
  EXPECT_EQ(O::Text(f_->dbeModelo), "");

  dialogs_->File("/modelos/receber.qr2");
  ASSERT_TRUE(G::Click(f_->btnPesqReciRec));
  EXPECT_EQ(O::Text(f_->dbeReciRec), "/modelos/receber.qr2");
  ASSERT_TRUE(G::Focus(f_->dbeModelo));  // the column takes it when the box commits
  EXPECT_EQ(Stored("DSARQRECIREC"), "/modelos/receber.qr2");

  // A path longer than the column would be stored cut, naming another file.
  const std::string longPath = "/" + std::string(96, 'm') + ".qr2";
  dialogs_->File(longPath);
  EXPECT_FALSE(G::Click(f_->btpPesqModelo));
  EXPECT_EQ(Messages(),
            Msgs{"O caminho do arquivo tem mais de 100 caracteres: '" + longPath + "'."});
  EXPECT_EQ(O::Text(f_->dbeModelo), "");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(Modelos, TheTemplateMenuPopsUpUnderItsButtonExceptInModuleSlash) {
  Load({{}});
  ASSERT_TRUE(O::Enabled(f_->sbtEditModelo));
  // Ctrl+E's item clicks the button.
  ASSERT_TRUE(G::ShortCut(*f_, "Ctrl+E"));
  ASSERT_TRUE(f_->pmnEdtModelo.Shown());
  int left = 0, top = 0;
  for (const TControl* c = &f_->sbtEditModelo; c; c = c->Parent()) {
    left += c->Left();
    top += c->Top();
  }
  EXPECT_EQ(f_->pmnEdtModelo.PopupX(), left);
  EXPECT_EQ(f_->pmnEdtModelo.PopupY(), top + f_->sbtEditModelo.Height());
  f_->pmnEdtModelo.CloseUp();

  Application().Settings.moduloAtiv = "/";
  ASSERT_TRUE(G::Click(f_->sbtEditModelo));
  EXPECT_FALSE(f_->pmnEdtModelo.Shown());
  EXPECT_FALSE(f_->mnuEdit.Enabled());

  // While the record is edited the templates cannot be opened.
  Application().Settings.moduloAtiv = "G";
  f_->cdsEmpresa.Edit();
  EXPECT_FALSE(O::Enabled(f_->sbtEditModelo));
  EXPECT_FALSE(f_->mnuEdit.Enabled());
}

TEST_F(Modelos, ATemplateOpensInTheDesignerOnlyWhenNamedAndPresent) {
  const std::string pagar = Write("pagar.qr2", "modelo");
  Load({{{"DSARQRECIREC", std::string("*")}},
        {{"DSARQRECIBO", pagar}, {"DSARQRECIREC", std::string("*")}}});

  ASSERT_FALSE(G::Click(f_->mnuModelo));  // the payable template is null
  EXPECT_EQ(Messages(), Msgs{"Modelo de recibo de contas a pagar deve ser informado."});
  EXPECT_EQ(f_->pgcPadrao.ActivePage(), &f_->tshFinanceiro);
  EXPECT_TRUE(f_->ActiveControl() == &f_->dbeModelo);

  ASSERT_TRUE(G::Click(f_->mnuModeloREC));  // a stored "*" passes the check, but is no file
  EXPECT_EQ(Messages(), Msgs{"Arquivo informado não encontrado."});
  EXPECT_TRUE(dialogs_->ReportsEdited().empty());

  f_->cdsEmpresa.SetRecNo(2);
  const DateTime before = DateTime::Now();
  ASSERT_TRUE(G::Click(f_->mnuModelo));
  ASSERT_EQ(dialogs_->ReportsEdited().size(), 1u);
  EXPECT_EQ(dialogs_->ReportsEdited()[0].file, pagar);
  EXPECT_GE(dialogs_->ReportsEdited()[0].when.Millis(), before.Millis());
  EXPECT_LE(dialogs_->ReportsEdited()[0].when.Millis(), DateTime::Now().Millis());
  EXPECT_EQ(f_->cdsEmpresa.State(), DataSetState::Browse);
  EXPECT_EQ(f_->cdsEmpresa.GetChangeCount(), 0);
  EXPECT_TRUE(Messages().empty());

  // Without the file: the error, no designer.
  fs::remove(pagar);
  ASSERT_TRUE(G::Click(f_->mnuModelo));
  EXPECT_EQ(Messages(), Msgs{"Arquivo informado não encontrado."});
  EXPECT_EQ(dialogs_->ReportsEdited().size(), 1u);
}

// The receivable template's menu item: demanded like the payable one, with its own box.
TEST_F(Modelos, TheReceivableTemplateIsDemandedInItsOwnBoxAndThenOpened) {
  const std::string receber = Write("receber.qr2", "modelo");
  Load({{{"DSARQRECIBO", std::string("*")}}, {{"DSARQRECIREC", receber}}});
  f_->pgcPadrao.SetActivePage(f_->tshFormulario);

  ASSERT_FALSE(G::Click(f_->mnuModeloREC));
  EXPECT_EQ(Messages(), Msgs{"Modelo de recibo de contas a receber deve ser informado."});
  EXPECT_EQ(f_->pgcPadrao.ActivePage(), &f_->tshFinanceiro);
  EXPECT_TRUE(f_->ActiveControl() == &f_->dbeReciRec);
  EXPECT_TRUE(dialogs_->ReportsEdited().empty());

  f_->cdsEmpresa.SetRecNo(2);
  ASSERT_TRUE(G::Click(f_->mnuModeloREC));
  ASSERT_EQ(dialogs_->ReportsEdited().size(), 1u);
  EXPECT_EQ(dialogs_->ReportsEdited()[0].file, receber);
  EXPECT_EQ(f_->cdsEmpresa.State(), DataSetState::Browse);
  EXPECT_TRUE(Messages().empty());
}

// The help button opens the host's help at the company screen's own topic.
TEST_F(Modelos, TheHelpButtonAsksForTheCompanyScreensTopic) {
  ASSERT_TRUE(G::Click(f_->sbtAjuda));
  EXPECT_EQ(dialogs_->HelpRequests(),
            (std::vector<std::pair<std::string, int>>{{"Gerhelp.hlp", 12400200}}));
}

TEST_F(Modelos, ALogoChosenStoresItsPathAndBytesAndABadFileStoresNothing) {
  const std::string old = Write("antigo.bmp", Bmp());
  Load({{{"DSARQLOGOEMP", old}, {"DSARQLOGOEMPCLOB", Bytes{"antes"}}}});
  ASSERT_TRUE(G::Page(f_->tshEndeEmp));
  ASSERT_FALSE(f_->imgLayout.Empty());

  std::string bad[] = {Write("texto.bmp", "não é imagem"),
                       Write("cortada.bmp", Bmp().substr(0, 60)),
                       (dir_ / "nao_existe.bmp").string(), dir_.string()};
  const std::string big = (dir_ / "grande.bmp").string();
  {
    std::ofstream(big, std::ios::binary) << Bmp();
    fs::resize_file(big, 5 * 1024 * 1024 + 1);
  }
  for (const std::string& path : bad) {
    dialogs_->File(path);
    EXPECT_FALSE(G::Click(f_->sbtAbrir)) << path;
  }
  dialogs_->File(big);
  EXPECT_FALSE(G::Click(f_->sbtAbrir));
  EXPECT_EQ(Messages(), (Msgs{"Arquivo não é uma imagem BMP ou JPEG válida.",
                              "Arquivo não é uma imagem BMP ou JPEG válida.",
                              "Não foi possível ler o arquivo '" + bad[2] + "'.",
                              "Não foi possível ler o arquivo '" + bad[3] + "'.",
                              "O arquivo '" + big + "' tem mais de 5 MB."}));
  EXPECT_EQ(Stored("DSARQLOGOEMP"), old);
  EXPECT_EQ(Logo(), "antes");
  EXPECT_EQ(O::Text(f_->dbeArqLogoEmpr), old);
  EXPECT_FALSE(f_->imgLayout.Empty());

  // Exactly 5 MB is still taken.
  const std::string novo = Write("novo.bmp", Bmp());
  dialogs_->File(novo);
  ASSERT_TRUE(G::Click(f_->sbtAbrir));
  EXPECT_EQ(f_->cdsEmpresa.State(), DataSetState::Edit);
  EXPECT_EQ(Stored("DSARQLOGOEMP"), novo);
  EXPECT_EQ(Logo(), Bmp());
  EXPECT_EQ(O::Text(f_->dbeArqLogoEmpr), novo);
  EXPECT_EQ(f_->imgLayout.PictureBytes(), Bmp());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(Modelos, TheLogoLimitIsFiveMegabytesExactly) {
  Load({{}});
  ASSERT_TRUE(G::Page(f_->tshEndeEmp));
  std::string big = Bmp();
  big.resize(5 * 1024 * 1024, '\0');  // a whole picture followed by padding
  const std::string path = Write("cinco.bmp", big);
  dialogs_->File(path);
  ASSERT_TRUE(G::Click(f_->sbtAbrir));
  EXPECT_EQ(Logo()->size(), big.size());
  EXPECT_TRUE(Messages().empty());
  // The loader named for the post's logo step refuses the same files, keeping the field.
  EXPECT_THROW(f_->CarregaLogo(Write("texto.jpg", "texto")), Exception);
  EXPECT_EQ(Logo()->size(), big.size());
}

TEST_F(Modelos, ThePreviewFollowsThePathBoxAndAMissingFileIsReported) {
  const std::string a = Write("a.bmp", Bmp());
  const std::string missing = (dir_ / "sumiu.bmp").string();
  Load({{{"DSARQLOGOEMP", a}, {"DSARQLOGOEMPCLOB", Bytes{"bytes de a"}}},
        {{"DSARQLOGOEMP", missing}},
        {}});
  ASSERT_TRUE(G::Click(f_->mnuLogotipo));
  EXPECT_FALSE(f_->imgLayout.Empty());

  // Moving to a company whose logo file is gone, while the page is shown.
  EXPECT_FALSE(Application().Guard([&] { f_->cdsEmpresa.SetRecNo(2); }));
  EXPECT_EQ(Messages(), Msgs{"Arquivo informado não foi encontrado."});
  EXPECT_TRUE(f_->imgLayout.Empty());
  EXPECT_TRUE(f_->ActiveControl() == &f_->dbeArqLogoEmpr);

  // A company with no logo shows none and says nothing.
  f_->cdsEmpresa.SetRecNo(3);
  EXPECT_TRUE(f_->imgLayout.Empty());
  EXPECT_TRUE(Messages().empty());

  // A path typed by hand: the preview at exit, the bytes only when posted.
  f_->cdsEmpresa.SetRecNo(1);
  f_->cdsEmpresa.Edit();
  const std::string b = Write("b.bmp", Bmp());
  ASSERT_TRUE(G::Paste(f_->dbeArqLogoEmpr, b));
  EXPECT_TRUE(f_->imgLayout.Empty());  // any change clears it first
  ASSERT_TRUE(G::Focus(f_->pgcPadrao));
  EXPECT_FALSE(f_->imgLayout.Empty());
  EXPECT_EQ(Stored("DSARQLOGOEMP"), b);
  EXPECT_EQ(Logo(), "bytes de a");

  // A path to a missing file keeps the user in the box; clearing it is quiet.
  ASSERT_TRUE(G::Paste(f_->dbeArqLogoEmpr, missing));
  EXPECT_FALSE(G::Focus(f_->pgcPadrao));
  EXPECT_EQ(Messages(), Msgs{"Arquivo informado não foi encontrado."});
  EXPECT_TRUE(f_->ActiveControl() == &f_->dbeArqLogoEmpr);
  ASSERT_TRUE(G::Clear(f_->dbeArqLogoEmpr));
  ASSERT_TRUE(G::Focus(f_->pgcPadrao));
  EXPECT_TRUE(f_->imgLayout.Empty());
  EXPECT_TRUE(Messages().empty());

  // A file that is no picture: the loader's message, page and focus.
  ASSERT_TRUE(G::Paste(f_->dbeArqLogoEmpr, Write("nao.jpg", "texto")));
  EXPECT_FALSE(G::Page(f_->tshEndereco));
  EXPECT_EQ(Messages(), Msgs{"Arquivo não é uma imagem BMP ou JPEG válida."});
  EXPECT_EQ(f_->pgcPadrao.ActivePage(), &f_->tshEndeEmp);
  EXPECT_TRUE(f_->ActiveControl() == &f_->dbeArqLogoEmpr);
}

TEST_F(Modelos, ACancelledPictureChoiceStillReloadsThePreview) {
  Load({{{"DSARQLOGOEMP", (dir_ / "sumiu.bmp").string()}}});
  f_->pgcPadrao.SetActivePage(f_->tshEndeEmp);  // the page's own load is not under test here
  dialogs_->File(std::nullopt);
  EXPECT_FALSE(G::Click(f_->sbtAbrir));
  EXPECT_EQ(Messages(), Msgs{"Arquivo informado não foi encontrado."});
  EXPECT_EQ(f_->pgcPadrao.ActivePage(), &f_->tshEndeEmp);
  EXPECT_EQ(f_->cdsEmpresa.State(), DataSetState::Browse);
}

}  // namespace
}  // namespace ger
