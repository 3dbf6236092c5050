// Grid gestures, pictures and the query over the shared database.
#include <filesystem>
#include <fstream>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "db/database.h"
#include "routines/components.h"
#include "routines/routines.h"
#include "ui_fixture.h"

namespace ger::testing {
namespace {

class ComponentsTest : public UiTest {};

struct GridForm : TForm {
  TClientDataSet cds{"cdsRepresentante"};
  TDataSource dts{"dtsRepresentante"};
  TDBGrid dbg{this, "dbgRepresentante"};
  TEdit edtOutro{this, "edtOutro"};
  GridForm() : TForm("frmGrade") {
    cds.AddField({"CDREPRES", FieldKind::String, 2});
    cds.AddField({"NMREPRES", FieldKind::String, 30});
    cds.AddField({"IDATIVO", FieldKind::String, 1});
    cds.SetData({cds.FieldDefs(),
                 {{std::string("01"), std::string("Ana"), std::string("S")},
                  {std::string("02"), std::string("Bia"), std::string("N")}}});
    dts.SetDataSet(&cds);
    dbg.SetParent(this);
    edtOutro.SetParent(this);
    dbg.SetDataSource(dts);
    dbg.AddColumn("CDREPRES", "Código").ButtonStyle = TColumnButtonStyle::cbsEllipsis;
    dbg.AddColumn("NMREPRES", "Nome").ReadOnly = true;
    dbg.AddColumn("IDATIVO", "Utilizado").PickList = {"S", "N"};
    Show();
  }
};

TEST_F(ComponentsTest, AGridCommitsTheCellBeforeColumnEnterAndHonoursItsHandlers) {
  GridForm f;
  f.cds.Edit();
  std::vector<std::string> seen;
  f.dbg.OnColEnter = [&](TComponent&) {
    seen.push_back(f.dbg.SelectedField()->FieldName() + " code " +
                   f.cds.FieldByName("CDREPRES").AsString());
  };
  ui::Gestures::GridType(f.dbg, "7");
  EXPECT_EQ(f.cds.FieldByName("CDREPRES").AsString(), "01");  // still in the cell editor
  ui::Gestures::GridCol(f.dbg, "IDATIVO");
  EXPECT_EQ(seen, std::vector<std::string>{"IDATIVO code 7"});
  f.dbg.OnKeyPress = [](TComponent&, char32_t& key) { key = 0; };  // typed keys discarded
  ui::Gestures::GridType(f.dbg, "N");
  ui::Gestures::GridChoose(f.dbg, "N");
  f.cds.Post();
  EXPECT_EQ(f.cds.FieldByName("IDATIVO").AsString(), "N");
  EXPECT_EQ(Consiste::IndiceCol(f.dbg, "idativo"), 2);
  EXPECT_EQ(Consiste::IndiceCol(f.dbg, "XX"), -1);
}

TEST_F(ComponentsTest, AGridButtonAndCtrlDeleteWithConfirmation) {
  GridForm f;
  int buttons = 0;
  f.dbg.OnEditButtonClick = [&](TComponent&) { ++buttons; };
  ui::Gestures::GridButton(f.dbg);
  EXPECT_EQ(buttons, 1);
  ui::Gestures::GridCol(f.dbg, "NMREPRES");
  EXPECT_THROW(ui::Gestures::GridButton(f.dbg), ui::EGestureError);
  ui::Gestures::GridRow(f.dbg, 1);
  Dialogs().Answer(TModalResult::mrCancel);
  ui::Gestures::Key(f.dbg, "ctrl+delete");
  EXPECT_EQ(f.cds.RecordCount(), 2);
  Dialogs().Answer(TModalResult::mrOk);
  ui::Gestures::Key(f.dbg, "ctrl+delete");
  EXPECT_EQ(f.cds.RecordCount(), 1);
  EXPECT_EQ(f.cds.FieldByName("CDREPRES").AsString(), "01");
}

TEST_F(ComponentsTest, LeavingTheGridCancelsAnUntouchedNewRow) {
  GridForm f;
  ui::Gestures::Focus(f.dbg);
  f.cds.Insert();
  ui::Gestures::Focus(f.edtOutro);
  EXPECT_EQ(f.cds.State(), DataSetState::Browse);
  EXPECT_EQ(f.cds.RecordCount(), 2);
}

std::string Bmp1x1() {
  // 1x1 24-bit BMP: file header, info header, one pixel padded to four bytes.
  std::string b = "BM";
  auto u32 = [&](unsigned v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  auto u16 = [&](unsigned v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
  };
  u32(58);
  u32(0);
  u32(54);
  u32(40);
  u32(1);
  u32(1);
  u16(1);
  u16(24);
  u32(0);
  u32(4);
  u32(2835);
  u32(2835);
  u32(0);
  u32(0);
  b += std::string("\x00\x00\xFF\x00", 4);
  return b;
}

TEST_F(ComponentsTest, AnImageLoadsBmpAndRefusesAnythingElseKeepingItsPicture) {
  TImage img(nullptr, "imgLogo");
  std::string dir = ::testing::TempDir();
  std::ofstream(dir + "/logo.bmp", std::ios::binary) << Bmp1x1();
  std::ofstream(dir + "/logo.txt") << "não é imagem";
  std::ofstream(dir + "/cortada.bmp", std::ios::binary) << Bmp1x1().substr(0, 30);
  img.LoadFromFile(dir + "/logo.bmp");
  EXPECT_FALSE(img.Empty());
  EXPECT_EQ(img.PictureFormat(), "bmp");
  EXPECT_EQ(img.PictureWidth(), 1);
  for (const char* bad : {"/logo.txt", "/cortada.bmp"}) {
    try {
      img.LoadFromFile(dir + bad);
      ADD_FAILURE() << bad << " loaded";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Arquivo não é uma imagem BMP ou JPEG válida.");
    }
  }
  EXPECT_EQ(img.PictureBytes(), Bmp1x1());  // the old picture stays
  EXPECT_THROW(img.LoadFromFile(dir + "/nao_existe.bmp"), Exception);
}

std::string Jpeg(int w, int h) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(w * h * 3));
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>(i * 37);
  std::string bytes;
  auto sink = [](void* ctx, void* data, int size) {
    static_cast<std::string*>(ctx)->append(static_cast<const char*>(data), size);
  };
  EXPECT_TRUE(stbi_write_jpg_to_func(sink, &bytes, w, h, 3, rgb.data(), 90));
  return bytes;
}

// The decoder alone takes a file cut short (what is missing reads as zeros): each cut here is
// refused, and the whole file and a size limit of its own size are taken.
TEST_F(ComponentsTest, APictureFileCutShortOrOverItsLimitIsRefused) {
  const std::string dir = ::testing::TempDir();
  const std::string jpeg = Jpeg(64, 48);
  std::string bmp = Bmp1x1();
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    return dir + "/" + name;
  };
  EXPECT_EQ(LoadPictureFile(write("inteira.jpg", jpeg)), jpeg);
  EXPECT_EQ(LoadPictureFile(write("inteira.bmp", bmp), bmp.size()), bmp);
  const std::vector<std::pair<std::string, std::string>> cut = {
      {"sem_fim.jpg", jpeg.substr(0, jpeg.size() - 2)},
      {"metade.jpg", jpeg.substr(0, jpeg.size() / 2)},
      {"cabecalho.jpg", jpeg.substr(0, 200)},
      {"pixels.bmp", bmp.substr(0, bmp.size() - 1)},
      {"vazia.bmp", ""},
  };
  for (const auto& [name, bytes] : cut) {
    try {
      LoadPictureFile(write(name, bytes));
      ADD_FAILURE() << name << " loaded";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Arquivo não é uma imagem BMP ou JPEG válida.") << name;
    }
  }
  // Over the limit: refused by its size, before it is read.
  const std::string big = write("grande.jpg", jpeg);
  std::filesystem::resize_file(big, 3 * 1024 * 1024 + 1);
  try {
    LoadPictureFile(big, 3 * 1024 * 1024);
    ADD_FAILURE() << "over the limit";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "O arquivo '" + big + "' tem mais de 3 MB.");
  }
  try {
    LoadPictureFile(dir);
    ADD_FAILURE() << "a folder";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Não foi possível ler o arquivo '" + dir + "'.");
  }
}

TEST_F(ComponentsTest, AQueryBindsItsParametersAndFillsItsInnerDataset) {
  std::string path = ::testing::TempDir() + "/ui_query.db";
  std::remove(path.c_str());
  Application().Settings.databaseUrl = "sqlite:" + path;
  dtmDBGeral().Close();
  db::Connection::Open("sqlite:" + path)
      ->ExecuteScript(
          "CREATE TABLE ESTADO (SGESTADO VARCHAR(2), CDPAIS VARCHAR(3), NMESTADO VARCHAR(30));"
          "INSERT INTO ESTADO VALUES ('SP','105','São Paulo');"
          "INSERT INTO ESTADO VALUES ('RJ','105','Rio de Janeiro');"
          "INSERT INTO ESTADO VALUES ('XX','249','Outro')");
  TADOIBQuery qry(nullptr, "qryEstado");
  qry.SQL = "SELECT SGESTADO, NMESTADO FROM ESTADO WHERE CDPAIS = :CDPAIS ORDER BY SGESTADO";
  qry.ParamByName("cdpais").SetAsString("105");
  qry.Open();
  EXPECT_EQ(qry.Query.RecordCount(), 2);
  EXPECT_EQ(qry.FieldByName("NMESTADO").AsString(), "Rio de Janeiro");
  qry.Close();
  qry.ParamByName("CDPAIS").SetAsString("' OR 1=1 --");  // bound, never spliced
  qry.Open();
  EXPECT_TRUE(qry.IsEmpty());
  TDataSource dts("dtsEstado");
  dts.SetDataSet(&qry.Query);
  EXPECT_EQ(dts.State(), DataSetState::Browse);

  TADOIBQuery broken(nullptr, "qryQuebrada");
  broken.SQL = "SELECT * FROM TABELA_QUE_NAO_EXISTE";
  EXPECT_THROW(broken.Open(), EDatabaseError);

  // Settings that name another database (a new session of the host) are followed.
  std::string other = ::testing::TempDir() + "/ui_query_other.db";
  std::remove(other.c_str());
  Application().Settings.databaseUrl = "sqlite:" + other;
  qry.Close();
  EXPECT_THROW(qry.Open(), EDatabaseError);  // no ESTADO there
  dtmDBGeral().Close();
}

}  // namespace
}  // namespace ger::testing
