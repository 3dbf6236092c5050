// Two seats on one company: the company screen of the real module and another user on a
// connection of his own, who reads the list and saves or deletes through the server as a second
// screen does. On PostgreSQL the other user talks to a second server on the same database, as
// seats behind one proxy would; on SQLite both talk to the one server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../screen/picture_sample.h"

#include "Ger00200/ger00200.h"
#include "contract/rdm_empresa.h"
#include "fault_support.h"
#include "module/module.h"
#include "routines/routines.h"
#include "ui/dialogs.h"
#include "ui/gestures.h"

using namespace gerfault;
namespace G = ger::ui::Gestures;
using ger::Application;
using ger::TfrmEmpresa;

namespace {

const std::string kConflict =
    "Registro alterado por outro usuário. Atualize os dados e tente novamente.";
const std::string kChanged =
    "Campos alterados pelo outro usuário, já mostrados como estão gravados: ";
const std::string kGone = "Empresa excluída por outro usuário.";

// A picture as older programs stored it: bytes without a path.
const ger::Bytes kLogo{std::string("BM\x3e\0\0\0legado", 12)};

// The other user: his own connection and his own copy of the list, read when he starts.
class OtherSeat {
 public:
  explicit OtherSeat(int port) : rdm_(net_) {
    net_.Port = port;
    Read();
  }
  void Read() { list_.SetData(ger::codec::DecodePacket(Payload(rdm_.GetEmpresa()).Text())); }
  void Save(const std::string& code, const std::vector<std::pair<std::string, std::string>>& to) {
    Find(code);
    list_.Edit();
    for (const auto& [column, value] : to) list_.FieldByName(column).SetAsString(value);
    list_.Post();
    Payload(rdm_.SetEmpresa(list_.GetDelta(), false, false, false, false, false, false));
    list_.MergeChangeLog();
  }
  // As the screen deletes: the server's Delete held against his row, then the change set.
  void Delete(const std::string& code) {
    Find(code);
    list_.Delete();
    const ger::ChangeSet delta = list_.GetDelta();
    Payload(rdm_.Delete(code, delta));
    Payload(rdm_.SetEmpresa(delta, false, false, false, false, false, false));
    list_.MergeChangeLog();
  }
  // Links a representative to the company, as the representatives page sends it.
  void Link(const std::string& company, const std::string& repres) {
    ger::TClientDataSet links("cdsRepresentante");
    links.SetData(ger::codec::DecodePacket(Payload(rdm_.getRepresentante(company, "")).Text()));
    links.Append();
    links.FieldByName("CDEMPRESA").SetAsString(company);
    links.FieldByName("CDREPRES").SetAsString(repres);
    links.FieldByName("IDATIVO").SetAsString("N");
    links.Post();
    Payload(rdm_.setRepresentante(links.GetDelta()));
  }

 private:
  static ger::ServerPayload Payload(const ger::ServerAnswer& a) {
    if (!a.ok()) throw std::runtime_error("the other user's call failed: " + a.error);
    return *a.payload;
  }
  void Find(const std::string& code) {
    if (!list_.Locate("CDEMPRESA", {ger::Value(code)}))
      throw std::runtime_error("the other user's list has no company " + code);
  }
  ger::TNetConnection net_;
  ger::TRdmEmpresa rdm_;
  ger::TClientDataSet list_{"cdsOutroUsuario"};
};

class TwoSeats : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<ServerChild>(db_.Url());
    // The embedded database serves one server; PostgreSQL serves the other user through another.
    if (db_.IsPg()) otherServer_ = std::make_unique<ServerChild>(db_.Url());
    Application().Reset();
    dialogs_ = std::make_shared<ger::ui::ScriptedDialogs>();
    Application().SetDialogs(dialogs_);
    Application().Settings.webUrl = "127.0.0.1";
    Application().Settings.webPort = server_->Port();
    Application().Settings.databaseUrl = db_.Url();
    Application().Settings.moduloAtiv = "G";
    module_ = std::make_unique<ger::TLoadedModule>("Pkg_Ger00200");
  }
  void TearDown() override {
    if (module_) {
      module_->Unload();
      module_.reset();
    }
    Application().Reset();
  }

  // A company as a save of the screen leaves it (none codes, placeholders), so that a later save
  // writes only what its user changed.
  void AddCompany(const std::string& code, const std::string& name, ger::Value logo = {}) {
    Db()->Execute(
        "INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA, NMRAZSOCEMPR, IDTPIJUREMPR, NRINSJUREMPR, "
        "CDPAIS, SGESTADO, CDMUNICIPIO, DSEMAILEMPRESA, DSARQLOGOEMPCLOB, IDNATUOPEREMPR, "
        "IDREGESPTRIBEMP, IDREGIMEICMSST, IDFORMAPUR, IDCUMUPICOEMP, IDINCENTCULTURA, "
        "NRINSCESTA, NRCEPEMPR, DSENDEEMPR, NRREGJUNCOM, NMTITUEMPR, DSARQRECIBO, DSARQRECIREC, "
        "NMBAIREMPR) "
        "VALUES (:C, :N, :N, 'J', '11222333000181', '1058', 'SP', '5030', :E, :L, '99', '99', "
        "'0', 'I', 'T', 'N', '*', '*', '*', '*', '*', '*', '*', '*')",
        {{"C", code}, {"N", name}, {"E", "contato" + code + "@empresa.com.br"}, {"L", logo}});
  }
  TfrmEmpresa& Open(const std::string& code) {
    module_->Call("CriaEmpresa");
    EXPECT_EQ(Messages(), std::vector<std::string>{});
    TfrmEmpresa& f = *module_->Global<TfrmEmpresa*>("frmEmpresa");
    EXPECT_TRUE(f.cdsEmpresa.Locate("CDEMPRESA", {ger::Value(code)}));
    return f;
  }
  OtherSeat Other() { return OtherSeat(otherServer_ ? otherServer_->Port() : server_->Port()); }
  std::unique_ptr<ger::db::Connection> Db() { return ger::db::Connection::Open(db_.Url()); }
  std::string Stored(const std::string& code, const std::string& column) {
    auto p = Db()->Query("SELECT " + column + " FROM EMPRESA WHERE CDEMPRESA = :C", {{"C", code}});
    return p.rows.empty() ? "none" : Text(p.rows[0][0]);
  }
  ger::Value StoredLogo(const std::string& code) {
    return Db()
        ->Query("SELECT DSARQLOGOEMPCLOB FROM EMPRESA WHERE CDEMPRESA = :C", {{"C", code}})
        .rows.at(0)
        .at(0);
  }
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    while (auto m = dialogs_->NextMessage()) out.push_back(*m);
    return out;
  }
  static std::string Current(TfrmEmpresa& f) {
    return f.cdsEmpresa.FieldByName("CDEMPRESA").AsString();
  }

  FreshDatabase db_;
  std::unique_ptr<ServerChild> server_, otherServer_;
  std::shared_ptr<ger::ui::ScriptedDialogs> dialogs_;
  std::unique_ptr<ger::TLoadedModule> module_;
};

// A company holding a picture without a path (as brought from older programs): a save that only
// renames it keeps the picture, and the other user's save of the e-mail from his older list
// still goes through, since nobody changed the picture.
TEST_F(TwoSeats, ASaveThatDoesNotTouchThePathKeepsAPictureStoredWithoutOne) {
  AddCompany("05", "Quinta", kLogo);
  TfrmEmpresa& f = Open("05");
  OtherSeat other = Other();

  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Quinta da tela"));
  EXPECT_TRUE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(StoredLogo("05"), ger::Value(kLogo));

  EXPECT_NO_THROW(other.Save("05", {{"DSEMAILEMPRESA", "outro@empresa.com.br"}}));
  EXPECT_EQ(Stored("05", "NMEMPRESA"), "Quinta da tela");
  EXPECT_EQ(Stored("05", "DSEMAILEMPRESA"), "outro@empresa.com.br");
  EXPECT_EQ(StoredLogo("05"), ger::Value(kLogo));

  // A path typed and cleared again in one edit: empty before and after, the picture stays.
  ASSERT_TRUE(G::Click(f.sbtVerificar));
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Page(f.tshEndeEmp));
  ASSERT_TRUE(G::Type(f.dbeArqLogoEmpr, "/caminho/que/nao/existe.bmp"));
  ASSERT_TRUE(G::Clear(f.dbeArqLogoEmpr));
  EXPECT_TRUE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(StoredLogo("05"), ger::Value(kLogo));

  // Emptying a path that had a value is what removes the picture.
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("ger-seats-" + std::to_string(::getpid()) + ".bmp"))
                               .string();
  std::ofstream(file, std::ios::binary) << ger::Bmp('\x40');
  Db()->Execute("UPDATE EMPRESA SET DSARQLOGOEMP = :P WHERE CDEMPRESA = '05'", {{"P", file}});
  ASSERT_TRUE(G::Click(f.sbtVerificar));
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Page(f.tshEndeEmp));
  ASSERT_TRUE(G::Clear(f.dbeArqLogoEmpr));
  EXPECT_TRUE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_TRUE(ger::IsNull(StoredLogo("05")));
  std::filesystem::remove(file);
}

// The other user saves a new e-mail; this seat, whose list still shows the old row, deletes the
// company: nothing is deleted, the screen shows the company as stored now and says what the
// other user changed. Deleted once more, now that this seat holds what is stored, it goes.
TEST_F(TwoSeats, ADeleteFromAStaleListDeletesNothingAnotherUserChanged) {
  AddCompany("05", "Quinta");
  AddCompany("06", "Sexta");
  TfrmEmpresa& f = Open("05");
  Other().Save("05", {{"DSEMAILEMPRESA", "novo@quinta.com.br"}});

  dialogs_->Answer(ger::TModalResult::mrYes);
  EXPECT_FALSE(G::Click(f.sbtExcluir));
  EXPECT_EQ(Messages(),
            (std::vector<std::string>{"Confirma exclusão ?",
                                      kConflict + "\n" + kChanged + "Email (Formulário)."}));
  EXPECT_EQ(Stored("05", "DSEMAILEMPRESA"), "novo@quinta.com.br");
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 2);
  EXPECT_EQ(Current(f), "05");
  EXPECT_EQ(f.dbeEmail.Text(), "novo@quinta.com.br");
  EXPECT_EQ(f.cdsEmpresa.GetChangeCount(), 0);

  dialogs_->Answer(ger::TModalResult::mrYes);
  EXPECT_TRUE(G::Click(f.sbtExcluir));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Confirma exclusão ?"});
  EXPECT_EQ(Stored("05", "NMEMPRESA"), "none");
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 1);
  EXPECT_EQ(Current(f), "06");
}

// A company the other user deleted: a save of it and a delete of it both say so, drop it from
// this seat's list and leave the cursor on the company that took its place.
TEST_F(TwoSeats, ACompanyAnotherUserDeletedIsSaidToBeDeletedAndLeavesTheList) {
  AddCompany("05", "Quinta");
  AddCompany("06", "Sexta");
  AddCompany("07", "Sétima");
  TfrmEmpresa& f = Open("06");
  OtherSeat other = Other();
  other.Delete("06");

  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Sexta da tela"));
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{kGone});
  EXPECT_EQ(f.cdsEmpresa.State(), ger::DataSetState::Browse);
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 2);
  EXPECT_EQ(Current(f), "07");
  EXPECT_EQ(f.dbeNmEmpresa.Text(), "Sétima");
  EXPECT_EQ(Stored("06", "NMEMPRESA"), "none");

  other.Delete("07");
  dialogs_->Answer(ger::TModalResult::mrYes);
  EXPECT_FALSE(G::Click(f.sbtExcluir));
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Confirma exclusão ?", kGone}));
  EXPECT_EQ(f.cdsEmpresa.RecordCount(), 1);
  EXPECT_EQ(Current(f), "05");
  EXPECT_EQ(Stored("05", "NMEMPRESA"), "Quinta");

  // The last one: the list is left empty, with only Include to press.
  other.Delete("05");
  dialogs_->Answer(ger::TModalResult::mrYes);
  EXPECT_FALSE(G::Click(f.sbtExcluir));
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Confirma exclusão ?", kGone}));
  EXPECT_TRUE(f.cdsEmpresa.IsEmpty());
  EXPECT_FALSE(f.sbtAlterar.Enabled());
  EXPECT_FALSE(f.sbtExcluir.Enabled());
  EXPECT_TRUE(f.sbtIncluir.Enabled());
}

// A refused save leaves the user on the company, now as stored, told which fields the other user
// changed; Verificar keeps that company current, and goes to the first only when it is gone.
TEST_F(TwoSeats, ARefusedSaveShowsTheCompanyAsStoredNowAndVerificarStaysOnIt) {
  AddCompany("05", "Quinta");
  AddCompany("06", "Sexta");
  AddCompany("07", "Sétima");
  TfrmEmpresa& f = Open("06");
  OtherSeat other = Other();

  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Sexta da tela"));
  other.Save("06", {{"NMEMPRESA", "Sexta do outro"},
                    {"DSEMAILEMPRESA", "outro@sexta.com.br"},
                    {"IDOPTSIMPLES", "S"}});
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(),
            std::vector<std::string>{kConflict + "\n" + kChanged +
                                     "Nome (Formulário), Optante pelo SIMPLES (Informações "
                                     "Oficiais), Email (Formulário)."});
  EXPECT_EQ(f.cdsEmpresa.State(), ger::DataSetState::Browse);
  EXPECT_EQ(Current(f), "06");
  EXPECT_EQ(f.dbeNmEmpresa.Text(), "Sexta do outro");
  EXPECT_EQ(f.dbeEmail.Text(), "outro@sexta.com.br");
  EXPECT_EQ(Stored("06", "NMEMPRESA"), "Sexta do outro");

  // Altering again alters that company, from what is stored.
  ASSERT_TRUE(G::Click(f.sbtAlterar));
  ASSERT_TRUE(G::Clear(f.dbeNmEmpresa));
  ASSERT_TRUE(G::Type(f.dbeNmEmpresa, "Sexta da tela"));
  EXPECT_TRUE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{});
  EXPECT_EQ(Stored("06", "NMEMPRESA"), "Sexta da tela");
  EXPECT_EQ(Stored("06", "DSEMAILEMPRESA"), "outro@sexta.com.br");

  other.Read();
  other.Save("06", {{"NMEMPRESA", "Sexta outra vez"}});
  ASSERT_TRUE(G::Click(f.sbtVerificar));
  EXPECT_EQ(Current(f), "06");
  EXPECT_EQ(f.dbeNmEmpresa.Text(), "Sexta outra vez");
  other.Delete("06");
  ASSERT_TRUE(G::Click(f.sbtVerificar));
  EXPECT_EQ(Current(f), "05");
  EXPECT_EQ(Messages(), std::vector<std::string>{});
}

// Two seats link the same representative to one company: the second is told what happened.
TEST_F(TwoSeats, ARepresentativeAnotherUserLinkedMeanwhileIsAlreadyLinked) {
  AddCompany("05", "Quinta");
  Db()->Execute(
      "INSERT INTO REPRESENTANTE (CDREPRES, NMREPRES, NRCPFREPRES) VALUES ('01', 'Ana Beatriz', "
      "'52998224725')");
  TfrmEmpresa& f = Open("05");
  ASSERT_TRUE(G::Click(f.mnuSignatario));
  ASSERT_TRUE(G::Click(f.sbtIncluir));
  ASSERT_TRUE(G::GridCol(f.dbgRepresentante, "CDREPRES"));
  ASSERT_TRUE(G::GridType(f.dbgRepresentante, "01"));
  Other().Link("05", "01");
  EXPECT_FALSE(G::Click(f.sbtConfirmar));
  EXPECT_EQ(Messages(), std::vector<std::string>{"Representante legal já cadastrado."});
  // The list shows what the server holds: the other user's link, once.
  EXPECT_EQ(f.cdsRepresentante.RecordCount(), 1);
  EXPECT_EQ(f.cdsRepresentante.State(), ger::DataSetState::Browse);
}

}  // namespace
