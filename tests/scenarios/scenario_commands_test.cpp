// The scenario language's commands, one small scenario each, played by the interpreter against a
// form built for them: each must change what it names (and a check must fail when what it
// checks differs), so a command that did nothing cannot hide a fault in the scenarios that use it.
#include <unistd.h>

#include <filesystem>

#include "interpreter.h"
#include "routines/routines.h"
#include "ui_fixture.h"

namespace ger::testing {
namespace {

namespace fs = std::filesystem;

struct CommandsForm : TForm {
  TClientDataSet cdsDados{"cdsDados"};
  TDataSource dtsDados{"dtsDados"};
  TDBGrid dbgDados{this, "dbgDados"};
  TEdit edtUm{this, "edtUm"};
  TEdit edtDois{this, "edtDois"};
  TEdit edtArquivo{this, "edtArquivo"};
  TComboBox cbxTipo{this, "cbxTipo"};
  TRadioGroup rdgSaida{this, "rdgSaida"};
  TCheckBox chkAtivo{this, "chkAtivo"};
  TButton btnPesquisar{this, "btnPesquisar"};
  TButton btnAbrir{this, "btnAbrir"};
  TButton btnCarregar{this, "btnCarregar"};
  TImage imgLogo{this, "imgLogo"};
  TOpenDialog opdArquivo{this, "opdArquivo"};

  int doubleClicks = 0, enters = 0, typeChanges = 0, ticks = 0, cellButtons = 0;

  CommandsForm() : TForm("frmComandos") {
    cdsDados.AddField({"CODIGO", FieldKind::String, 2});
    cdsDados.AddField({"NOME", FieldKind::String, 10});
    cdsDados.AddField({"ATIVO", FieldKind::String, 1});
    cdsDados.AddField({"VALOR", FieldKind::Float, 0});
    cdsDados.SetData(DataPacket{cdsDados.FieldDefs(),
                                {{std::string("01"), std::string("Um"), std::string("S"), 1.5},
                                 {std::string("02"), std::string("Dois"), std::string("S"), 2.0},
                                 {std::string("03"), std::string("Três"), std::string("S"), 3.0}}});
    cdsDados.FieldByName("CODIGO").SetEditMask(">aa;0; ");
    cdsDados.FieldByName("VALOR").SetDisplayFormat("#,##0.000");
    dtsDados.AutoEdit = true;
    dtsDados.SetDataSet(&cdsDados);
    RegisterDataSet(cdsDados);

    for (TControl* c : std::initializer_list<TControl*>{
             &dbgDados, &edtUm, &edtDois, &edtArquivo, &cbxTipo, &rdgSaida, &chkAtivo,
             &btnPesquisar, &btnAbrir, &btnCarregar, &imgLogo})
      c->SetParent(this);
    dbgDados.SetDataSource(dtsDados);
    dbgDados.AddColumn("CODIGO");
    dbgDados.AddColumn("NOME");
    dbgDados.AddColumn("ATIVO").PickList = {"S", "N"};
    dbgDados.AddColumn("VALOR").ButtonStyle = TColumnButtonStyle::cbsEllipsis;
    dbgDados.OnEditButtonClick = [this](TComponent&) { ++cellButtons; };
    edtUm.SetText("Um");
    edtUm.OnDblClick = [this](TComponent&) { ++doubleClicks; };
    edtDois.SetText("Dois");
    edtDois.OnEnter = [this](TComponent&) { ++enters; };
    cbxTipo.SetStyle(TComboBoxStyle::csDropDownList);
    cbxTipo.SetItems({"CNPJ", "CPF", "Outros"});
    cbxTipo.OnChange = [this](TComponent&) { ++typeChanges; };
    rdgSaida.SetItems({"Vídeo", "Impressora", "Arquivo"});
    chkAtivo.OnClick = [this](TComponent&) { ++ticks; };
    btnPesquisar.OnClick = [this](TComponent&) {
      Pesquisa::Pesquisar(dtsDados, "Dados|Nenhum dado.", false, true);
    };
    btnAbrir.OnClick = [this](TComponent&) {
      edtArquivo.SetText(opdArquivo.Execute() ? opdArquivo.FileName : "cancelado");
    };
    btnCarregar.OnClick = [this](TComponent&) { imgLogo.LoadFromFile(edtArquivo.Text()); };
    Show();
  }
};

class ScenarioCommands : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    tmp_ = fs::temp_directory_path() /
           ("ger-commands-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(tmp_);
  }
  void TearDown() override {
    fs::remove_all(tmp_);
    UiTest::TearDown();
  }
  // Plays the lines; "" when all held, else "LINE: what did not hold".
  std::string Play(const std::string& text) {
    scenario::World world;
    world.tmp = tmp_;
    scenario::Interpreter interpreter(world);
    try {
      interpreter.Play(scenario::Parse(text));
    } catch (const scenario::LineFailure& f) {
      return std::to_string(f.line) + ": " + f.what();
    }
    return "";
  }

  fs::path tmp_;
};

TEST_F(ScenarioCommands, DblclickRunsTheDoubleClickOfTheControlItFocuses) {
  CommandsForm f;
  EXPECT_EQ(Play("dblclick edtUm\n"
                 "expect focus edtUm\n"),
            "");
  EXPECT_EQ(f.doubleClicks, 1);
}

TEST_F(ScenarioCommands, FocusEntersTheControlWithTheCaretAtTheEnd) {
  CommandsForm f;
  EXPECT_EQ(Play("focus edtDois\n"
                 "expect focus edtDois\n"),
            "");
  EXPECT_EQ(f.ActiveControl(), &f.edtDois);
  EXPECT_EQ(f.enters, 1);
  EXPECT_EQ(f.edtDois.SelStart(), 4);
}

TEST_F(ScenarioCommands, SelectPicksAnEntryByNumberOrByText) {
  CommandsForm f;
  EXPECT_EQ(Play("select cbxTipo 1\n"
                 "expect text cbxTipo \"CPF\"\n"
                 "select cbxTipo \"Outros\"\n"
                 "select rdgSaida \"Arquivo\"\n"),
            "");
  EXPECT_EQ(f.cbxTipo.ItemIndex(), 2);
  EXPECT_EQ(f.typeChanges, 2);
  EXPECT_EQ(f.rdgSaida.ItemIndex(), 2);
  EXPECT_EQ(Play("select cbxTipo \"RG\"\n"),
            "1: select cbxTipo \"RG\": 'cbxTipo' has no entry \"RG\".");
}

TEST_F(ScenarioCommands, CheckTicksAndUnticks) {
  CommandsForm f;
  EXPECT_EQ(Play("check chkAtivo on\n"
                 "expect checked chkAtivo true\n"),
            "");
  EXPECT_TRUE(f.chkAtivo.Checked());
  EXPECT_EQ(Play("check chkAtivo off\n"
                 "check chkAtivo off\n"),  // already off: no click
            "");
  EXPECT_FALSE(f.chkAtivo.Checked());
  EXPECT_EQ(f.ticks, 2);
}

TEST_F(ScenarioCommands, GridMovesRowAndColumnTypesChoosesAndPressesTheCellButton) {
  CommandsForm f;
  EXPECT_EQ(Play("grid dbgDados row 2\n"
                 "expect field cdsDados.CODIGO \"03\"\n"
                 "grid dbgDados col NOME\n"
                 "grid dbgDados type \"Outro\"\n"
                 "grid dbgDados col ATIVO\n"
                 "grid dbgDados choose \"N\"\n"
                 "grid dbgDados col VALOR\n"
                 "grid dbgDados button\n"
                 "grid dbgDados row 0\n"),
            "");
  EXPECT_EQ(f.dbgDados.SelectedIndex(), 3);
  EXPECT_EQ(f.cellButtons, 1);
  EXPECT_EQ(f.cdsDados.FieldByName("CODIGO").AsString(), "01");
  f.cdsDados.Last();
  EXPECT_EQ(f.cdsDados.FieldByName("NOME").AsString(), "Outro");  // typing replaces the cell
  EXPECT_EQ(f.cdsDados.FieldByName("ATIVO").AsString(), "N");
}

TEST_F(ScenarioCommands, PickAnswersTheNextPickListByRowByValueOrCancels) {
  CommandsForm f;
  EXPECT_EQ(Play("pick 2\n"
                 "click btnPesquisar\n"
                 "expect field cdsDados.CODIGO \"03\"\n"
                 "pick \"02\"\n"
                 "click btnPesquisar\n"
                 "expect field cdsDados.CODIGO \"02\"\n"
                 "pick cancel\n"
                 "click btnPesquisar\n"
                 "expect field cdsDados.CODIGO \"02\"\n"),
            "");
  EXPECT_EQ(Dialogs().PickTitles(), (std::vector<std::string>{"Dados", "Dados", "Dados"}));
  EXPECT_TRUE(Dialogs().QueuesEmpty());
}

TEST_F(ScenarioCommands, FileAnswersTheNextFileDialogWithAPathOrCancels) {
  CommandsForm f;
  EXPECT_EQ(Play("file \"$TMP/logo.bmp\"\n"
                 "click btnAbrir\n"
                 "expect text edtArquivo \"$TMP/logo.bmp\"\n"
                 "file cancel\n"
                 "click btnAbrir\n"
                 "expect text edtArquivo \"cancelado\"\n"),
            "");
  EXPECT_TRUE(Dialogs().QueuesEmpty());
}

TEST_F(ScenarioCommands, PictureWritesAFileThatLoadsAndExpectPictureSeesIt) {
  CommandsForm f;
  EXPECT_EQ(Play("expect picture imgLogo empty\n"
                 "picture \"$TMP/logo.jpg\"\n"
                 "file \"$TMP/logo.jpg\"\n"
                 "click btnAbrir\n"
                 "click btnCarregar\n"
                 "expect picture imgLogo loaded\n"),
            "");
  EXPECT_EQ(f.imgLogo.PictureFormat(), "jpeg");
  EXPECT_EQ(f.imgLogo.PictureWidth(), 8);
  EXPECT_EQ(Play("expect picture imgLogo empty\n"),
            "1: expected picture imgLogo empty, found it loaded");
}

TEST_F(ScenarioCommands, ReportdirSetsTheHostsTemplateFolder) {
  CommandsForm f;
  EXPECT_EQ(Play("reportdir \"$TMP/modelos\"\n"), "");
  EXPECT_EQ(Zembrat::ReportDir(), (tmp_ / "modelos").string());
}

TEST_F(ScenarioCommands, ExpectDisplayReadsTheFieldsDisplayText) {
  CommandsForm f;
  EXPECT_EQ(Play("expect display cdsDados.VALOR \"1,500\"\n"), "");
  EXPECT_EQ(Play("expect display cdsDados.VALOR \"1,5\"\n"),
            "1: expected display of cdsDados.VALOR \"1,5\", found \"1,500\"");
}

TEST_F(ScenarioCommands, ExpectMaskReadsTheFieldsEditMask) {
  CommandsForm f;
  EXPECT_EQ(Play("expect mask cdsDados.CODIGO \">aa;0; \"\n"), "");
  EXPECT_EQ(Play("expect mask cdsDados.NOME \">aa;0; \"\n"),
            "1: expected mask of cdsDados.NOME \">aa;0; \", found \"\"");
}

TEST_F(ScenarioCommands, ExpectItemsReadsTheEntriesOfAList) {
  CommandsForm f;
  EXPECT_EQ(Play("expect items cbxTipo \"CNPJ|CPF|Outros\"\n"
                 "expect items rdgSaida \"Vídeo|Impressora|Arquivo\"\n"),
            "");
  EXPECT_EQ(Play("expect items cbxTipo \"CNPJ|CPF\"\n"),
            "1: expected items of cbxTipo \"CNPJ|CPF\", found \"CNPJ|CPF|Outros\"");
}

}  // namespace
}  // namespace ger::testing
