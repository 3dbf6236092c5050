// The company screen in real hands: ger-host runs on its own Xvfb against a ger-server with the
// demo companies in a SQLite file (or on the test run's PostgreSQL, for the two-seat journeys that
// say so), and each journey drives it only with keys and clicks sent through the X server, as a
// user at 1024x768 would. What the journey did is read back from the database with SQL, and a
// window left open that the journey did not ask for (a message, a progress box that stays) fails
// it. A failing journey leaves a picture of the screen next to its logs (journeys/<journey>/ in
// the build folder).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include <unistd.h>

#include "db/database.h"
#include "launcher.h"
#include "xsession.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using journey::Window;

namespace {

constexpr const char* kMain = "Gerenciador Empresarial";

class Journey : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    name_ = info->name();
    dir_ = fs::path(GER_JOURNEY_OUT) / "journeys" / name_;
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    x_ = std::make_unique<journey::XSession>(dir_, screenWidth_);
    db_ = "sqlite:" + Database().string();
    if (postgres_) {
      // A schema of its own on the PostgreSQL of the test run.
      const char* url = std::getenv("GER_TEST_PG");
      ASSERT_TRUE(url && *url) << "GER_TEST_PG is not set (./ger test sets it)";
      pgUrl_ = url;
      schema_ = "journey_" + std::to_string(getpid());
      ger::db::Connection::Open(pgUrl_)->ExecuteScript("DROP SCHEMA IF EXISTS " + schema_ +
                                                       " CASCADE; CREATE SCHEMA " + schema_);
      db_ = pgUrl_ + (pgUrl_.find('?') == std::string::npos ? "?" : "&") +
            "options=-csearch_path%3D" + schema_;
    }
    server_ = StartServer("server.log", true);
    host_ = StartHost("host.log", server_->Port());
    main_ = x_->WaitFor(
        [](const Window& w) {
          return !w.popup && w.width >= 1000 && w.title.find(kMain) != std::string::npos;
        },
        30s);
    ASSERT_TRUE(main_) << "the main window did not open; see " << (dir_ / "host.log");
    // The screen has loaded its companies once the hourglass work is over; give the first
    // paint a moment.
    std::this_thread::sleep_for(1500ms);
    Step("opened");
  }

  void TearDown() override {
    if (HasFailure()) {
      const fs::path shot = dir_ / (name_ + ".png");
      if (x_ && x_->Screenshot(shot)) std::cerr << "screenshot: " << shot << "\n";
      if (x_)
        for (const Window& w : x_->Windows())
          std::cerr << "window: \"" << w.title << "\" " << w.width << "x" << w.height << "+" << w.x
                    << "+" << w.y << (w.popup ? " (pop-up)" : "") << "\n";
    }
    secondHost_.reset();
    host_.reset();
    secondServer_.reset();
    server_.reset();
    x_.reset();
    if (!schema_.empty())
      ger::db::Connection::Open(pgUrl_)->ExecuteScript("DROP SCHEMA IF EXISTS " + schema_ +
                                                       " CASCADE");
  }

  // A ger-server on the journey's database, its output in `log`; the first adds the demo
  // companies.
  std::unique_ptr<ger::server::ServerProcess> StartServer(const std::string& log, bool demo) {
    ger::server::LaunchOptions o;
    o.binary = GER_SERVER_BIN;
    o.args = {"--data-dir", dir_.string(), "--db", db_, "--data", GER_SOURCE_DIR "/data"};
    if (demo) o.args.push_back("--demo");
    o.log = dir_ / log;
    return std::make_unique<ger::server::ServerProcess>(o);
  }

  // A ger-host on the display against the server on `port`, its output in `log`.
  std::unique_ptr<journey::Child> StartHost(const std::string& log, int port) {
    auto env = x_->Environment();
    env["HOME"] = dir_.string();  // the file dialogs' folders and Qt's settings stay here
    env["LANG"] = "pt_BR.UTF-8";
    env["QT_QPA_PLATFORM"] = "xcb";
    // The live list only where a journey asks for it: the others show a seat's list as it was
    // read, until "Verificar" or a save reads it again.
    return std::make_unique<journey::Child>(
        std::vector<std::string>{GER_HOST_BIN, "--server-port", std::to_string(port), "--db", db_,
                                 "--live-list", liveList_ ? "1" : "0"},
        env, dir_ / log);
  }

  fs::path Database() const { return dir_ / "ger.db"; }

  // The first column of the first row, as text; nullopt for no row, "" for null.
  std::optional<std::string> Sql(const std::string& sql) {
    auto db = ger::db::Connection::Open(db_);
    ger::DataPacket p = db->Query(sql);
    if (p.rows.empty()) return std::nullopt;
    const ger::Value& v = p.rows.front().front();
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
      std::ostringstream out;
      out << *d;
      return out.str();
    }
    return std::string();
  }

  // A picture of each named step when GER_JOURNEY_STEPS is set, to see what the journey sees.
  void Step(const std::string& what) {
    if (std::getenv("GER_JOURNEY_STEPS")) x_->Screenshot(dir_ / (what + ".png"));
  }

  // Fails when a window other than the main one and those whose titles start as named is on the
  // screen, after a moment in which a box shown late (by a timer, say) would appear, and a
  // little more for one that is closing.
  void OnlyExpected(const std::vector<std::string>& also = {}) {
    auto unexpected = [&](const Window& w) {
      if ((main_ && w.id == main_->id) || w.tooltip) return false;
      for (const std::string& t : also)
        if (w.title.starts_with(t)) return false;
      return true;
    };
    std::this_thread::sleep_for(800ms);
    if (x_->WaitGone(unexpected, 2s)) return;
    std::string list;
    for (const Window& w : x_->Windows())
      if (unexpected(w))
        list += " \"" + w.title + "\" " + std::to_string(w.width) + "x" + std::to_string(w.height) +
                (w.popup ? " (pop-up)" : "") + ";";
    ADD_FAILURE() << "windows left open:" << list;
  }

  // Waits for a window whose title starts so; fails the journey when none comes.
  std::optional<Window> Expect(const std::string& title, std::chrono::milliseconds wait = 10s) {
    auto w = x_->WaitFor(
        [&](const Window& w) {
          return !w.popup && w.id != main_->id && w.title.starts_with(title);
        },
        wait);
    if (!w) ADD_FAILURE() << "no window \"" << title << "\" came";
    return w;
  }
  bool Gone(const std::string& title) {
    return x_->WaitGone(
        [&](const Window& w) { return w.id != main_->id && w.title.starts_with(title); }, 10s);
  }
  // A click at a point of a window (of the main one by default).
  void Click(int x, int y, const std::optional<Window>& in = std::nullopt, int button = 1) {
    const Window& w = in ? *in : *main_;
    x_->Click(w.x + x, w.y + y, button);
  }
  // The main window's tool buttons, where the toolbar shows them at 1024x768.
  void Tool(const std::string& name) {
    static const std::map<std::string, int> kLeft{
        {"Incluir", 30},   {"Alterar", 86},    {"Excluir", 143},
        {"Procurar", 207}, {"Confirmar", 347}, {"Cancelar", 420},
        {"Imprimir", 489}, {"Fechar", 605},    {"Notas Explicativas", 797}};
    Click(kLeft.at(name), 45);
    std::this_thread::sleep_for(300ms);
  }
  // A line of the company list on its first page (under the filter box).
  void Row(int line) { Click(100, 184 + 20 * (line - 1)); }
  // A main-menu item by its Alt letters, as "m" then "c" for Manutenção, Confirmar.
  void Menu(const std::string& top, const std::string& item) {
    x_->Key("Alt+" + top);
    std::this_thread::sleep_for(200ms);
    x_->Key(item);
    std::this_thread::sleep_for(500ms);
  }
  // Polls a query until it answers `want` (the server writes after the screen's call returns);
  // the last answer.
  std::optional<std::string> SqlSoon(const std::string& sql, const std::string& want) {
    std::optional<std::string> got;
    for (int i = 0; i < 40; ++i) {
      got = Sql(sql);
      if (got == want) break;
      std::this_thread::sleep_for(100ms);
    }
    return got;
  }
  std::string FileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::string name_;
  fs::path dir_;
  std::unique_ptr<journey::XSession> x_;
  std::unique_ptr<ger::server::ServerProcess> server_;
  std::unique_ptr<journey::Child> host_;
  std::unique_ptr<journey::Child> secondHost_;  // a second seat, for the journeys that have one
  std::unique_ptr<ger::server::ServerProcess> secondServer_;  // and its server, when it has one
  std::optional<Window> main_;
  int screenWidth_ = 1024;
  bool liveList_ = false;  // the seats follow each other's saves as they happen
  bool postgres_ = false;  // the database on the test run's PostgreSQL instead of a SQLite file
  std::string db_, pgUrl_, schema_;
};

// Imprimir, Vídeo, Executar: the preview opens with no progress box over it, its Salvar writes a
// PDF, the "saved" message closes with Enter and nothing is left over the preview, whose Fechar
// then works.
TEST_F(Journey, ReportToPreviewThenPdf) {
  Tool("Imprimir");
  auto launcher = Expect("Empresa");
  ASSERT_TRUE(launcher);
  x_->Key("Alt+e");  // Executar, with Vídeo chosen
  ASSERT_TRUE(Expect("Visualização"));
  OnlyExpected({"Empresa", "Visualização"});
  x_->Key("Alt+s");
  ASSERT_TRUE(Expect("Salvar relatório"));
  const fs::path pdf = dir_ / "empresas.pdf";
  x_->Key("ctrl+a");
  x_->Type(pdf.string() + "\n");
  ASSERT_TRUE(Expect("Informação"));  // "Relatório salvo em ..."
  OnlyExpected({"Empresa", "Visualização", "Informação"});
  x_->Key("Return");
  OnlyExpected({"Empresa", "Visualização"});
  x_->Key("Alt+f");
  EXPECT_TRUE(Gone("Visualização"));
  x_->Key("Alt+f");
  EXPECT_TRUE(Gone("Empresa"));
  OnlyExpected();
  const std::string text = FileText(pdf);
  EXPECT_TRUE(text.starts_with("%PDF-")) << pdf;
  EXPECT_GT(text.size(), 1000u);
}

// Imprimir, Arquivo, Executar: a CSV with every company read from the database.
TEST_F(Journey, ReportToCsv) {
  Tool("Imprimir");
  auto launcher = Expect("Empresa");
  ASSERT_TRUE(launcher);
  Click(40, 139, launcher);  // Arquivo
  x_->Key("Alt+e");
  ASSERT_TRUE(Expect("Salvar relatório"));
  const fs::path csv = dir_ / "empresas.csv";
  x_->Key("ctrl+a");
  x_->Type(csv.string() + "\n");
  ASSERT_TRUE(Expect("Informação"));
  OnlyExpected({"Empresa", "Informação"});
  x_->Key("Return");
  OnlyExpected({"Empresa"});
  x_->Key("Alt+f");
  EXPECT_TRUE(Gone("Empresa"));
  OnlyExpected();
  const std::string text = FileText(csv);
  for (const char* code : {"01", "02", "03"}) {
    auto name = Sql(std::string("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '") + code + "'");
    ASSERT_TRUE(name);
    EXPECT_NE(text.find(*name), std::string::npos) << *name << " is not in\n" << text;
  }
}

// A new company by keyboard: Manutenção, Incluir, the boxes in their tab order, the address page
// from the Operação menu, Manutenção, Confirmar.
TEST_F(Journey, IncludeByKeyboard) {
  Menu("m", "i");
  x_->Type("07\tSétima\tSétima Comércio Ltda\t\t\t11444777000161");
  Menu("o", "e");
  Click(34, 161);  // País, the page's first box
  x_->Type("1058\tSP\t5030\t");
  Menu("m", "c");
  EXPECT_EQ(SqlSoon("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '07'", "Sétima"), "Sétima");
  EXPECT_EQ(Sql("SELECT NMRAZSOCEMPR || '|' || NRINSJUREMPR || '|' || CDPAIS || '|' || SGESTADO "
                "|| '|' || CDMUNICIPIO FROM EMPRESA WHERE CDEMPRESA = '07'"),
            "Sétima Comércio Ltda|11444777000161|1058|SP|5030");
  OnlyExpected();
}

// Altering a company: a name typed over the old one, copied with Ctrl+C and pasted with Ctrl+V
// into one box and with the context menu's Colar into another, a month and a yes/no chosen in
// their lists by typing, a rate typed.
TEST_F(Journey, AlterTypingAndPasting) {
  Row(2);
  Menu("m", "a");  // the cursor lands in Nome
  x_->Key("ctrl+a");
  x_->Type("Serra Verde Nova");
  x_->Key("ctrl+a");
  x_->Key("ctrl+c");
  Click(380, 249);  // Complemento
  x_->Key("ctrl+v");
  Menu("o", "d");
  Click(160, 205);    // Titular
  x_->Key("ctrl+a");  // its blank, which stands for no text
  Click(160, 205, std::nullopt, 3);
  auto menu = x_->WaitFor([](const Window& w) { return w.popup && !w.tooltip; }, 5s);
  ASSERT_TRUE(menu) << "no context menu";
  x_->Key("o");  // C&olar
  EXPECT_TRUE(x_->WaitGone([](const Window& w) { return w.popup && !w.tooltip; }, 5s));
  Click(60, 337);     // Nr. Proprietários
  x_->Type("\tD\t");  // Mês Data-Base: Dezembro
  x_->Type("2,75");   // Taxa Infraero %
  Menu("o", "n");
  Click(318, 315);  // Contas a Receber; the next box is the list
  x_->Type("\tN");  // Gera Contabilização na Baixa: Não
  Menu("m", "c");
  EXPECT_EQ(SqlSoon("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '02'", "Serra Verde Nova"),
            "Serra Verde Nova");
  EXPECT_EQ(Sql("SELECT NMCOMPRZSEMP || '|' || NMTITUEMPR FROM EMPRESA WHERE CDEMPRESA = '02'"),
            "Serra Verde Nova|Serra Verde Nova");
  EXPECT_EQ(Sql("SELECT MEDATABASE FROM EMPRESA WHERE CDEMPRESA = '02'"), "12");
  EXPECT_EQ(Sql("SELECT VRPETXADMPOR FROM EMPRESA WHERE CDEMPRESA = '02'"), "2.75");
  EXPECT_EQ(Sql("SELECT IDCTBBAIXAEMPR FROM EMPRESA WHERE CDEMPRESA = '02'"), "N");
  OnlyExpected();
}

// The notes: written and confirmed; changed and closed by the close box, answering Sim (stored),
// then Não (dropped), then Cancelar (the editor stays with the text).
TEST_F(Journey, NotesConfirmedAndClosedWithChanges) {
  const std::string note =
      "SELECT REPLACE(DSOBSERVEMP, char(10), '|') FROM NOTASEXPLICATIVAS "
      "WHERE CDEMPRESA = '02'";
  Row(2);
  Tool("Notas Explicativas");
  auto notes = Expect("Notas Explicativas");
  ASSERT_TRUE(notes);
  Click(160, 95, notes);
  x_->Type("Balanço auditado\nSem ressalvas");
  x_->Key("Alt+c");  // Confirmar
  EXPECT_TRUE(Gone("Notas Explicativas"));
  EXPECT_EQ(SqlSoon(note, "Balanço auditado|Sem ressalvas"), "Balanço auditado|Sem ressalvas");
  OnlyExpected();

  auto changeAndClose = [&](const std::string& more) {
    Tool("Notas Explicativas");
    notes = Expect("Notas Explicativas");
    if (!notes) return false;
    Click(160, 95, notes);
    x_->Key("ctrl+End");
    x_->Type(more);
    x_->CloseBox(*notes);
    return Expect("Confirmação").has_value();  // "Deseja salvar as alterações?"
  };
  ASSERT_TRUE(changeAndClose(" (revisado)"));
  x_->Key("Alt+s");  // Sim
  EXPECT_TRUE(Gone("Notas Explicativas"));
  EXPECT_EQ(SqlSoon(note, "Balanço auditado|Sem ressalvas (revisado)"),
            "Balanço auditado|Sem ressalvas (revisado)");
  OnlyExpected();

  ASSERT_TRUE(changeAndClose(" e descartado"));
  x_->Key("Alt+n");  // Não
  EXPECT_TRUE(Gone("Notas Explicativas"));
  OnlyExpected();
  EXPECT_EQ(Sql(note), "Balanço auditado|Sem ressalvas (revisado)");

  ASSERT_TRUE(changeAndClose(" e guardado"));
  x_->Key("Escape");  // Cancelar: the editor stays
  EXPECT_TRUE(Gone("Confirmação"));
  OnlyExpected({"Notas Explicativas"});
  x_->Key("Alt+c");
  EXPECT_TRUE(Gone("Notas Explicativas"));
  EXPECT_EQ(SqlSoon(note, "Balanço auditado|Sem ressalvas (revisado) e guardado"),
            "Balanço auditado|Sem ressalvas (revisado) e guardado");
  OnlyExpected();
}

// A representative linked by typing its code in the new row (the register fills the rest), then
// removed with Excluir and its question.
TEST_F(Journey, RepresentativeAddedAndRemoved) {
  const std::string linked =
      "SELECT IDATIVO FROM EMPRREPRES WHERE CDEMPRESA = '02' AND CDREPRES = '03'";
  ASSERT_EQ(Sql(linked), std::nullopt);
  Row(2);
  Menu("o", "s");  // Signatários: the representatives' page
  Tool("Incluir");
  Click(500, 400);  // into the list, below its rows: the new row keeps the cursor
  x_->Type("3\t");  // Código; leaving it fills the name from the register
  Menu("m", "c");
  EXPECT_EQ(SqlSoon(linked, "N"), "N");
  OnlyExpected();
  // The list is read again in code order: 02, then 03 (the representatives' grid has no filter
  // box above it).
  Click(100, 178);
  Tool("Excluir");
  ASSERT_TRUE(Expect("Confirmação"));  // "Confirma exclusão ?"
  x_->Key("Alt+s");
  EXPECT_TRUE(Gone("Confirmação"));
  for (int i = 0; i < 40 && Sql(linked); ++i) std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Sql(linked), std::nullopt);
  EXPECT_EQ(Sql("SELECT IDATIVO FROM EMPRREPRES WHERE CDEMPRESA = '02' AND CDREPRES = '02'"), "S");
  OnlyExpected();
}

// A logo chosen with the page's open button and the file dialog, then confirmed.
TEST_F(Journey, LogoChosen) {
  // A 4x4 24-bit picture, red.
  const fs::path logo = dir_ / "logo.bmp";
  {
    std::string bmp = "BM";
    auto le = [&bmp](std::uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) bmp.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    le(54 + 48, 4), le(0, 4), le(54, 4), le(40, 4), le(4, 4), le(4, 4), le(1, 2), le(24, 2);
    le(0, 4), le(48, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
    for (int i = 0; i < 16; ++i) bmp += std::string("\0\0\xff", 3);
    std::ofstream(logo, std::ios::binary) << bmp;
  }
  Row(2);
  Menu("m", "a");
  Menu("o", "t");
  Click(632, 183);  // the open button beside Arquivo
  ASSERT_TRUE(Expect("Abrir"));
  x_->Key("ctrl+a");
  x_->Type(logo.string() + "\n");
  EXPECT_TRUE(Gone("Abrir"));
  OnlyExpected();
  Menu("m", "c");
  EXPECT_EQ(SqlSoon("SELECT DSARQLOGOEMP FROM EMPRESA WHERE CDEMPRESA = '02'", logo.string()),
            logo.string());
  OnlyExpected();
}

// Closing the screen while a company is being changed asks "Deseja salvar as alterações?".
class CloseWithChanges : public Journey {
 protected:
  static constexpr const char* kName = "SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '02'";
  void SetUp() override {
    Journey::SetUp();
    if (HasFatalFailure()) return;
    Row(2);
    Menu("m", "a");
    x_->Key("ctrl+a");
    x_->Type("Serra Verde Alterada");
  }
  // The screen is shown while the main window's title names it (besides the program's name).
  bool ScreenShown() {
    for (const Window& w : x_->Windows())
      if (w.id == main_->id) {
        std::string title = w.title;
        for (auto at = title.find(kMain); at != std::string::npos; at = title.find(kMain))
          title.erase(at, std::string(kMain).size());
        return title.find("Empresa") != std::string::npos;
      }
    return false;
  }
};

// Sim through the main window's close box: the change is confirmed and the program ends.
TEST_F(CloseWithChanges, MainWindowClosedAnsweringYes) {
  x_->CloseBox(*main_);
  ASSERT_TRUE(Expect("Confirmação"));
  x_->Key("Alt+s");
  EXPECT_EQ(SqlSoon(kName, "Serra Verde Alterada"), "Serra Verde Alterada");
  int status = -1;
  for (int i = 0; i < 100 && host_->Running(&status); ++i) std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(host_->Running());
  EXPECT_EQ(status, 0);
}

// Não through Fechar: the change is dropped and the screen closes.
TEST_F(CloseWithChanges, FecharAnsweringNo) {
  Tool("Fechar");
  ASSERT_TRUE(Expect("Confirmação"));
  x_->Key("Alt+n");
  EXPECT_TRUE(Gone("Confirmação"));
  for (int i = 0; i < 50 && ScreenShown(); ++i) std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(ScreenShown());
  OnlyExpected();
  EXPECT_EQ(Sql(kName), "Serra Verde Indústria");
}

// Cancelar (Escape): the screen stays with the change, which Confirmar then stores.
TEST_F(CloseWithChanges, FecharAnsweringCancel) {
  Tool("Fechar");
  ASSERT_TRUE(Expect("Confirmação"));
  x_->Key("Escape");
  EXPECT_TRUE(Gone("Confirmação"));
  OnlyExpected();
  EXPECT_TRUE(ScreenShown());
  EXPECT_EQ(Sql(kName), "Serra Verde Indústria");
  Menu("m", "c");
  EXPECT_EQ(SqlSoon(kName, "Serra Verde Alterada"), "Serra Verde Alterada");
  OnlyExpected();
}

// Two seats on one server, as two people in one office: seat A (the first ger-host) on the left
// of a screen twice as wide, seat B on its right, each with the company list read when it opened.
// What a seat shows is read as its user would copy it: a box's text with Ctrl+A, Ctrl+C, a
// message's with Ctrl+C.
class TwoSeats : public Journey {
 protected:
  static constexpr const char* kConflict =
      "Registro alterado por outro usuário. Atualize os dados e tente novamente.";
  static constexpr const char* kChanged =
      "Campos alterados pelo outro usuário, já mostrados como estão gravados: ";
  static constexpr const char* kSerra = "Serra Verde Indústria";  // company 02, between 01 and 03

  TwoSeats() { screenWidth_ = 2048; }
  void SetUp() override {
    Journey::SetUp();
    if (HasFatalFailure()) return;
    a_ = *main_;
    if (twoServers_) secondServer_ = StartServer("server-b.log", false);
    secondHost_ = StartHost("host-b.log", (secondServer_ ? secondServer_ : server_)->Port());
    auto b = x_->WaitFor(
        [&](const Window& w) {
          return !w.popup && w.id != a_.id && w.width >= 1000 &&
                 w.title.find(kMain) != std::string::npos;
        },
        30s);
    ASSERT_TRUE(b) << "seat B's window did not open; see " << (dir_ / "host-b.log");
    std::this_thread::sleep_for(1500ms);
    x_->Move(*b, 1024, 0);
    b_ = x_->WaitFor([&](const Window& w) { return w.id == b->id && w.x == 1024; }).value_or(*b);
    ASSERT_EQ(b_.x, 1024) << "seat B's window did not move";
    // The demo companies each have a branch, which keeps them from being deleted; company 02's
    // is closed (in the branches' own screen, which is not this program's).
    ger::db::Connection::Open(db_)->Execute("DELETE FROM FILIAL WHERE CDEMPRESA = '02'");
    Step("two seats");
  }

  // The seat the next keys and clicks go to.
  void Seat(const Window& seat) {
    main_ = seat;
    x_->Activate(seat);
  }
  // Both main windows may stay open, besides what `also` names.
  void OnlySeats(std::vector<std::string> also = {}) {
    also.push_back(std::string("Empresa — ") + kMain);
    OnlyExpected(also);
  }
  // The text of the message box titled so over the current seat, copied with Ctrl+C; the box is
  // then closed with Enter. Empty (and the journey failed) when none came.
  std::string Message(const std::string& title) {
    auto box = Expect(title);
    if (!box) return {};
    EXPECT_TRUE(box->x >= main_->x && box->x < main_->x + main_->width)
        << "the message \"" << title << "\" is over the other seat";
    x_->Key("ctrl+c");
    const std::string copied = x_->TakeClipboard().value_or("");
    x_->Key("Return");
    EXPECT_TRUE(Gone(title));
    // Title, text and buttons between lines of dashes.
    const std::string line = "---------------------------\n";
    std::vector<std::string> parts;
    for (std::size_t at = 0, next; (next = copied.find(line, at)) != std::string::npos;
         at = next + line.size())
      parts.push_back(copied.substr(at, next - at));
    if (parts.size() < 3 || parts[1] != title + "\n") {
      ADD_FAILURE() << "the message's copy is not its title and text: \"" << copied << "\"";
      return {};
    }
    return parts[2].substr(0, parts[2].size() - 1);
  }
  // The text of a box of the current seat's shown page, selected and copied.
  std::string Box(int x, int y) {
    Click(x, y);
    x_->Key("ctrl+a");
    x_->Key("ctrl+c");
    return x_->TakeClipboard().value_or("");
  }
  // The Formulário page's Nome and Email.
  std::string Name() { return Box(200, 161); }
  std::string Email() { return Box(200, 337); }
  void FormPage() { Menu("o", "o"); }
  // The names of the seat's list, walked with the navigator from its first row; the cursor is
  // then on the last.
  std::vector<std::string> Names() {
    FormPage();
    Click(321, 86);  // first
    std::vector<std::string> names{Name()};
    for (int i = 0; i < 10; ++i) {
      Click(370, 86);  // next
      std::string name = Name();
      if (name == names.back()) break;
      names.push_back(name);
    }
    return names;
  }
  void Confirm(const std::string& title = "Confirmação") {
    ASSERT_TRUE(Expect(title));
    x_->Key("Alt+s");
    EXPECT_TRUE(Gone(title));
  }

  // Seat A saves a new e-mail for a company; seat B, whose list still holds the old row, deletes
  // it: nothing is deleted, B is told the row changed and which field, and shows the company as
  // stored now. Deleted again, now that B holds what is stored, it goes, and its neighbour is
  // current.
  void StaleDelete() {
    const std::string email = "SELECT DSEMAILEMPRESA FROM EMPRESA WHERE CDEMPRESA = '02'";
    Seat(b_);
    Row(2);
    Seat(a_);
    Row(2);
    Menu("m", "a");
    Click(200, 337);  // Email
    x_->Key("ctrl+a");
    x_->Type("financeiro@serraverde.ind.br");
    Menu("m", "c");
    ASSERT_EQ(SqlSoon(email, "financeiro@serraverde.ind.br"), "financeiro@serraverde.ind.br");
    OnlySeats();

    Seat(b_);
    Tool("Excluir");
    Confirm();
    EXPECT_EQ(Message("Erro"), std::string(kConflict) + "\n" + kChanged + "Email (Formulário).");
    OnlySeats();
    EXPECT_EQ(Sql(email), "financeiro@serraverde.ind.br");
    FormPage();
    EXPECT_EQ(Name(), kSerra);
    EXPECT_EQ(Email(), "financeiro@serraverde.ind.br");

    Tool("Excluir");
    Confirm();
    OnlySeats();
    for (int i = 0; i < 40 && Sql(email); ++i) std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Sql(email), std::nullopt);
    EXPECT_EQ(Name(), "Araucária Serviços");
    EXPECT_EQ(Names(), (std::vector<std::string>{"Andrade Comércio", "Araucária Serviços"}));
  }

  // Seat A deletes a company; seat B, whose list still holds it, saves a change to it: B is told
  // another user deleted it, the company leaves B's list and its neighbour is current.
  void SaveOfADeletedCompany() {
    const std::string name = "SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '02'";
    Seat(b_);
    Row(2);
    Seat(a_);
    Row(2);
    Tool("Excluir");
    Confirm();
    for (int i = 0; i < 40 && Sql(name); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_EQ(Sql(name), std::nullopt);
    OnlySeats();

    Seat(b_);
    Menu("m", "a");
    x_->Key("ctrl+a");
    x_->Type("Serra Verde de B");
    Menu("m", "c");
    EXPECT_EQ(Message("Erro"), "Empresa excluída por outro usuário.");
    OnlySeats();
    EXPECT_EQ(Name(), "Araucária Serviços");
    EXPECT_EQ(Sql(name), std::nullopt);
    EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '03'"), "Araucária Serviços");
    EXPECT_EQ(Names(), (std::vector<std::string>{"Andrade Comércio", "Araucária Serviços"}));
  }

  Window a_, b_;
  bool twoServers_ = false;  // seat B on a server of its own, on the same database
};

TEST_F(TwoSeats, ADeleteFromAStaleListIsRefusedUntilTheSeatSeesTheChange) {
  StaleDelete();
}

TEST_F(TwoSeats, ASaveOfACompanyAnotherSeatDeletedSaysSoAndDropsIt) {
  SaveOfADeletedCompany();
}

// The same on PostgreSQL, each seat on a server of its own, as seats behind one proxy would be:
// the delete is held against the row whichever server takes it. (The names differ from the
// SQLite ones: each journey's logs have a folder of their own.)
class TwoSeatsTwoServers : public TwoSeats {
 protected:
  TwoSeatsTwoServers() {
    postgres_ = true;
    twoServers_ = true;
  }
};

TEST_F(TwoSeatsTwoServers, ADeleteFromAStaleListIsRefusedWhicheverServerTakesIt) {
  StaleDelete();
}

TEST_F(TwoSeatsTwoServers, ASaveOfACompanyDeletedThroughTheOtherServerSaysSo) {
  SaveOfADeletedCompany();
}

// Seat B alters a company's name while seat A saves a new name for it: B's Confirmar is refused
// naming the field, and B is back on that company showing A's name; B's Alterar then alters that
// same company.
TEST_F(TwoSeats, ARefusedSaveLeavesTheSeatOnTheCompanyAsStoredNow) {
  const std::string name = "SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '02'";
  Seat(b_);
  Row(2);
  Menu("m", "a");  // the cursor lands in Nome
  x_->Key("ctrl+a");
  x_->Type("Serra Verde de B");
  Seat(a_);
  Row(2);
  Menu("m", "a");
  x_->Key("ctrl+a");
  x_->Type("Serra Verde de A");
  Menu("m", "c");
  ASSERT_EQ(SqlSoon(name, "Serra Verde de A"), "Serra Verde de A");
  OnlySeats();

  Seat(b_);
  Menu("m", "c");
  EXPECT_EQ(Message("Erro"), std::string(kConflict) + "\n" + kChanged + "Nome (Formulário).");
  OnlySeats();
  EXPECT_EQ(Sql(name), "Serra Verde de A");
  EXPECT_EQ(Name(), "Serra Verde de A");
  Step("refused");

  // Alterar again: the same company, as stored now; B's name is saved over A's.
  Menu("m", "a");
  EXPECT_EQ(Name(), "Serra Verde de A");
  x_->Key("ctrl+a");
  x_->Type("Serra Verde de B");
  Menu("m", "c");
  OnlySeats();
  EXPECT_EQ(SqlSoon(name, "Serra Verde de B"), "Serra Verde de B");
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '01'"), "Andrade Comércio");
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '03'"), "Araucária Serviços");
}

// Verificar, which the conflict message asks for, shows what seat A saved on the company seat B
// is on without leaving it; only when the company is gone does B go to the first one.
TEST_F(TwoSeats, VerificarKeepsTheCompanyCurrent) {
  const std::string email = "SELECT DSEMAILEMPRESA FROM EMPRESA WHERE CDEMPRESA = '02'";
  Seat(b_);
  Row(2);
  Seat(a_);
  Row(2);
  Menu("m", "a");
  Click(200, 337);  // Email
  x_->Key("ctrl+a");
  x_->Type("diretoria@serraverde.ind.br");
  Menu("m", "c");
  ASSERT_EQ(SqlSoon(email, "diretoria@serraverde.ind.br"), "diretoria@serraverde.ind.br");
  OnlySeats();

  Seat(b_);
  Menu("m", "v");
  FormPage();
  EXPECT_EQ(Name(), kSerra);
  EXPECT_EQ(Email(), "diretoria@serraverde.ind.br");
  OnlySeats();

  Seat(a_);
  Tool("Excluir");
  Confirm();
  for (int i = 0; i < 40 && Sql(email); ++i) std::this_thread::sleep_for(100ms);
  ASSERT_EQ(Sql(email), std::nullopt);
  Seat(b_);
  Menu("m", "v");
  EXPECT_EQ(Name(), "Andrade Comércio");
  OnlySeats();
}

// The live list: each seat shows the other's save and delete within a second, without any action
// of its user; a company being altered is not replaced under its user, and what changed meanwhile
// shows when the edit ends. (One journey for all three: two seats take 8 s to open.)
class TwoSeatsLive : public TwoSeats {
 protected:
  TwoSeatsLive() { liveList_ = true; }
  // The name on the current seat's Formulário page, read again until it is `want` or a second has
  // passed since `since` (when the other seat's change was stored); the last one read.
  std::string NameBy(const std::string& want, std::chrono::steady_clock::time_point since) {
    std::string got;
    do {
      got = Name();
    } while (got != want && std::chrono::steady_clock::now() < since + 1s);
    return got;
  }

  // Seat A saves a new name for company 02, which seat B shows; B then deletes it, and A is on
  // the company that took its place.
  void SaveAndDelete() {
    const std::string name = "SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '02'";
    Seat(b_);
    Row(2);
    FormPage();
    Seat(a_);
    Row(2);
    Menu("m", "a");
    x_->Key("ctrl+a");
    x_->Type("Serra Verde ao Vivo");
    Menu("m", "c");
    ASSERT_EQ(SqlSoon(name, "Serra Verde ao Vivo"), "Serra Verde ao Vivo");
    auto stored = std::chrono::steady_clock::now();
    Seat(b_);
    EXPECT_EQ(NameBy("Serra Verde ao Vivo", stored), "Serra Verde ao Vivo");

    Tool("Excluir");
    Confirm();
    for (int i = 0; i < 40 && Sql(name); ++i) std::this_thread::sleep_for(100ms);
    ASSERT_EQ(Sql(name), std::nullopt);
    stored = std::chrono::steady_clock::now();
    Seat(a_);  // on the Formulário page since its save
    EXPECT_EQ(NameBy("Araucária Serviços", stored), "Araucária Serviços");
  }
};

// Then seat B alters that company's name while seat A saves another name for it: B's typing
// stays, and once B gives the edit up B shows what A saved.
TEST_F(TwoSeatsLive, EachSeatShowsTheOthersSaveAndDeleteAndAnAlteredCompanyStays) {
  SaveAndDelete();
  const std::string name = "SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '03'";
  Seat(b_);
  Menu("m", "a");  // the cursor lands in Nome
  x_->Key("ctrl+a");
  x_->Type("Araucária de B");
  Seat(a_);
  Menu("m", "a");
  x_->Key("ctrl+a");
  x_->Type("Araucária de A");
  Menu("m", "c");
  ASSERT_EQ(SqlSoon(name, "Araucária de A"), "Araucária de A");
  std::this_thread::sleep_for(1s);

  Seat(b_);
  EXPECT_EQ(Name(), "Araucária de B");
  Tool("Cancelar");
  EXPECT_EQ(NameBy("Araucária de A", std::chrono::steady_clock::now()), "Araucária de A");
  OnlySeats();
}

// Two servers on one PostgreSQL: a change through one reaches the seat of the other.
class TwoSeatsLiveTwoServers : public TwoSeatsLive {
 protected:
  TwoSeatsLiveTwoServers() {
    postgres_ = true;
    twoServers_ = true;
  }
};

TEST_F(TwoSeatsLiveTwoServers, EachSeatShowsTheOthersSaveAndDeleteThroughTheOtherServer) {
  SaveAndDelete();
  OnlySeats();
}

// Finding a company from the keyboard: Ctrl+F with part of a CNPJ typed punctuated lands on its
// company, which is then altered; Ctrl+L with a legal name typed without its accents lists only
// its company, whose line (the first one listed) is then altered.
TEST_F(Journey, FindAndFilterFromTheKeyboard) {
  x_->Key("ctrl+f");
  ASSERT_TRUE(Expect("Procurar"));
  x_->Type("77.888.999");
  x_->Key("Return");
  ASSERT_TRUE(Gone("Procurar"));
  Menu("m", "a");  // the cursor lands in Nome
  x_->Key("ctrl+a");
  x_->Type("Achada");
  Menu("m", "c");
  EXPECT_EQ(SqlSoon("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '03'", "Achada"), "Achada");
  x_->Key("ctrl+l");
  std::this_thread::sleep_for(300ms);
  x_->Type("metalurgica");
  std::this_thread::sleep_for(300ms);
  Row(1);
  Menu("m", "a");
  x_->Key("ctrl+a");
  x_->Type("Filtrada");
  Menu("m", "c");
  EXPECT_EQ(SqlSoon("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '02'", "Filtrada"),
            "Filtrada");
  EXPECT_EQ(Sql("SELECT NMEMPRESA FROM EMPRESA WHERE CDEMPRESA = '01'"), "Andrade Comércio");
  OnlyExpected();
}

// Help in the box: F1 in the registration box of a new company opens the help window at the
// topic about the registration; closed, the screen is as it was, and the Ajuda menu opens the
// screen's topic.
TEST_F(Journey, HelpInTheRegistrationBox) {
  Menu("m", "i");
  x_->Type("07\tSétima\tSétima Comércio Ltda\t\t\t");  // the cursor in the registration
  x_->Key("F1");
  auto help = Expect("Ajuda - Inscrição (CNPJ");
  ASSERT_TRUE(help);
  Step("help");
  x_->CloseBox(*help);
  EXPECT_TRUE(Gone("Ajuda"));
  x_->Type("11444777000161");
  Menu("u", "t");  // Ajuda › Ajuda desta tela
  auto screen = Expect("Ajuda - A tela Empresa");
  ASSERT_TRUE(screen);
  x_->CloseBox(*screen);
  EXPECT_TRUE(Gone("Ajuda"));
  // The box kept the number typed after the help closed.
  Menu("o", "e");
  Click(34, 161);  // País, the page's first box
  x_->Type("1058\tSP\t5030\t");
  Menu("m", "c");
  EXPECT_EQ(SqlSoon("SELECT NRINSJUREMPR FROM EMPRESA WHERE CDEMPRESA = '07'", "11444777000161"),
            "11444777000161");
  OnlyExpected();
}

}  // namespace
