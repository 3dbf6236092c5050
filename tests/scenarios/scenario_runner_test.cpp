// ger-scenario as its users meet it: the program is run on small scenario files, and its report
// lines, totals and exit status are checked. Each file gets a real server and the real module.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db/database.h"
#include "ui/stdctrls.h"

namespace fs = std::filesystem;

namespace {

struct Played {
  std::string output;
  int status = -1;
};

fs::path ScenarioBin() {
  return fs::read_symlink("/proc/self/exe").parent_path() / "ger-scenario";
}

class ScenarioRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ger-scenario-test-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_TRUE(fs::exists(ScenarioBin())) << ScenarioBin() << " is not built";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    fs::path p = dir_ / name;
    std::ofstream(p) << text;
    return p.string();
  }

  Played Play(const std::vector<std::string>& files, const std::string& options = "") {
    std::string cmd = ScenarioBin().string() + " --data " GER_SOURCE_DIR "/data " + options;
    for (const auto& f : files) cmd += " '" + f + "'";
    cmd += " 2>/dev/null";
    Played run;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe) return run;
    char buf[512];
    while (fgets(buf, sizeof buf, pipe)) run.output += buf;
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  fs::path dir_;
};

}  // namespace

TEST_F(ScenarioRunner, ReportsEachFileThenTheTotalsAndExitsZeroOnlyWhenAllPassed) {
  std::string good = Write("good.scn",
                           "# comment line\n"
                           "\n"
                           "expect global boStCriado \"false\"   # trailing comment\n"
                           "module \"/\"\n");
  std::string bad = Write("bad.scn",
                          "expect nomessage\n"
                          "expect global boIdCriado \"true\"\n"
                          "expect global boStCriado \"false\"\n");
  Played both = Play({good, bad});
  EXPECT_EQ(both.output, "PASS " + good + "\nFAIL " + bad +
                             ":2: expected global boIdCriado \"true\", found \"false\"\n"
                             "1 passed, 1 failed\n");
  EXPECT_EQ(both.status, 1);

  Played one = Play({good});
  EXPECT_EQ(one.output, "PASS " + good + "\n1 passed, 0 failed\n");
  EXPECT_EQ(one.status, 0);
}

TEST_F(ScenarioRunner, BadLinesFailWithTheirLineAndAPlainReason) {
  struct Case {
    std::string text;
    std::string report;
  } cases[] = {
      {"expect nomessage\nsql \"SELECT 1\n", ":2: text without its closing quote"},
      {"frobnicate dbeCdEmpresa\n", ":1: unknown command 'frobnicate'"},
      {"expect message \"Olá\"\n", ":1: expected message \"Olá\", found no unread message"},
      {"call CriaNada\n", ":1: the module has no entry point 'CriaNada'"},
      {"click sbtConfirma\n", ":1: no form is open (looking for 'sbtConfirma')"},
      {"expect count cdsEmpresa x\n", ":1: usage: expect count DATASET N ('x' is not a number)"},
      {"sql \"INSERT INTO TABELA_QUE_NAO_EXISTE VALUES (1)\"\n",
       ":1: sql \"INSERT INTO TABELA_QUE_NAO_EXISTE VALUES (1)\": "},
      {"expect sql \"SELECT CDEMPRESA FROM EMPRESA\" \"01\"\n",
       ":1: expected first value of the query \"01\", found \"none\""},
      {"expect global frmEmpresa \"frmEmpresa\"\n",
       ":1: expected global frmEmpresa \"frmEmpresa\", found \"nil\""},
  };
  int i = 0;
  for (const Case& c : cases) {
    std::string file = Write("case" + std::to_string(i++) + ".scn", c.text);
    Played run = Play({file});
    EXPECT_NE(run.output.find("FAIL " + file + c.report), std::string::npos)
        << c.text << "gave: " << run.output;
    EXPECT_EQ(run.status, 1) << c.text;
  }
}

TEST_F(ScenarioRunner, LinesAfterAModalCallRunInsideItsLoop) {
  // The lines after the call act on the open launcher; the call returns when it closes. A file
  // that ends first fails at the call that never returned.
  std::string ok = Write("modal.scn",
                         "call CriaRelEmpresa\n"
                         "expect text lblCodRel \"Ger002\"\n"
                         "click sbtFechar\n"
                         "expect form frmRelEmpresa false\n"
                         "expect result \"\"\n");
  std::string unknown = Write("unknown.scn",
                              "call CriaRelEmpresa\n"
                              "type dbeCdEmpresa \"01\"\n");
  std::string open = Write("open.scn",
                           "call CriaRelEmpresa\n"
                           "expect form frmRelEmpresa true\n");
  Played run = Play({ok, unknown, open});
  EXPECT_EQ(run.output,
            "PASS " + ok + "\n" + "FAIL " + unknown +
                ":2: no control 'dbeCdEmpresa' on the active form 'frmRelEmpresa'\n" + "FAIL " +
                open + ":1: the file ended while the modal form 'frmRelEmpresa' was still open\n" +
                "1 passed, 2 failed\n");
}

TEST_F(ScenarioRunner, TmpStandsForTheFilesOwnFolderAndEachFileStartsAfresh) {
  // The database is new for every file: a row inserted by the first is not seen by the second.
  std::string first =
      Write("first.scn",
            "sql \"INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES ('01', 'A')\"\n"
            "expect sql \"SELECT COUNT(*) FROM EMPRESA\" \"1\"\n"
            "textfile \"$TMP/nota.txt\" \"conteúdo\"\n"
            "expect sql \"SELECT 1 WHERE '$TMP' LIKE '/%ger-scenario-%'\" \"1\"\n"
            "remove \"$TMP/nota.txt\"\n"
            "remove \"$TMP/nota.txt\"\n"
            "picture \"" +
                (dir_ / "logo.bmp").string() +
                "\"\n"
                "picture \"" +
                (dir_ / "logo.jpg").string() + "\"\n");
  std::string second = Write("second.scn",
                             "expect sql \"SELECT COUNT(*) FROM EMPRESA\" \"0\"\n"
                             "expect sql \"SELECT NMEMPRESA FROM EMPRESA\" null\n");
  Played run = Play({first, second});
  EXPECT_EQ(run.output, "PASS " + first + "\nFAIL " + second +
                            ":2: expected first value of the query null, found \"none\"\n"
                            "1 passed, 1 failed\n");
  // The pictures are real ones, as the host's picture control reads them.
  for (const char* name : {"logo.bmp", "logo.jpg"}) {
    ger::TImage image;
    ASSERT_NO_THROW(image.LoadFromFile((dir_ / name).string())) << name;
    EXPECT_EQ(image.PictureWidth(), 8) << name;
  }
}

// With --pg each file gets a database of its own on that server, seeded by its own application
// server, and the database is gone afterwards, also when the file had to be stopped.
TEST_F(ScenarioRunner, OnPostgreSqlEachFileHasItsOwnDatabaseDroppedAfterwards) {
  const char* pg = std::getenv("GER_TEST_PG");
  if (!pg || !*pg) GTEST_SKIP() << "GER_TEST_PG is not set";
  std::string first =
      Write("first.scn",
            "sql \"INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES ('01', 'A')\"\n"
            "expect sql \"SELECT COUNT(*) FROM EMPRESA\" \"1\"\n"
            "expect sql \"SELECT COUNT(*) FROM MUNICIPIO\" \"5570\"\n"
            "expect sql \"SELECT version()\" \"?\"\n");
  std::string second = Write("second.scn",
                             "expect sql \"SELECT COUNT(*) FROM EMPRESA\" \"0\"\n"
                             "expect sql \"SELECT current_database()\" \"?\"\n");
  std::string stuck = Write("stuck.scn", "sql \"SELECT pg_sleep(600)\"\n");
  // Runs the program on the files; the first output line is its process id (exec keeps the
  // shell's), which names its databases.
  auto run = [&](const std::string& options, const std::vector<std::string>& files) {
    std::string cmd = "sh -c 'echo $$; exec " + ScenarioBin().string() +
                      " --data " GER_SOURCE_DIR "/data " + options + " --pg \"$0\" \"$@\"' '" + pg +
                      "'";
    for (const auto& f : files) cmd += " '" + f + "'";
    std::string output;
    if (FILE* pipe = popen((cmd + " 2>/dev/null").c_str(), "r")) {
      char buf[512];
      while (fgets(buf, sizeof buf, pipe)) output += buf;
      pclose(pipe);
    }
    return output;
  };
  auto left = [&](const std::string& output) {
    const std::string prefix = "ger_scenario_" + output.substr(0, output.find('\n')) + "_";
    ger::DataPacket names = ger::db::Connection::Open(pg)->Query(
        "SELECT datname FROM pg_database WHERE datname LIKE :P", {{"P", prefix + "%"}});
    return names.rows.empty() ? std::string() : std::get<std::string>(names.rows[0][0]);
  };

  // The first file ran on PostgreSQL, the second on a database of its own.
  std::string both = run("", {first, second});
  const std::string pid = both.substr(0, both.find('\n'));
  EXPECT_NE(both.find(first + ":4: expected first value of the query \"?\", found \"PostgreSQL "),
            std::string::npos)
      << both;
  EXPECT_NE(both.find("FAIL " + second + ":2: expected first value of the query \"?\", found " +
                      "\"ger_scenario_" + pid + "_2\""),
            std::string::npos)
      << both;
  EXPECT_EQ(left(both), "");
  // A file stopped by the time limit (at whichever line a loaded machine had reached).
  std::string stopped = run("--timeout 10", {stuck});
  EXPECT_NE(stopped.find("FAIL " + stuck + ":"), std::string::npos) << stopped;
  EXPECT_NE(stopped.find(": timed out after 10 s"), std::string::npos) << stopped;
  EXPECT_EQ(left(stopped), "");
}
