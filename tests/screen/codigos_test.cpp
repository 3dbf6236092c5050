// The company screen's coded lists, placeholder texts and key filters, driven through the user's
// gestures on a screen whose list is loaded by hand (no server: the regime question's server
// call is covered by the scenarios).
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Ger00200/ger00200.h"
#include "offline_fixture.h"
#include "ui/gestures.h"

namespace ger {
namespace {

namespace G = ui::Gestures;
namespace O = ui::Observe;
using Codes = std::vector<std::optional<std::string>>;

class CodedFields : public OfflineScreen {
 protected:
  void SetUp() override {
    OfflineScreen::SetUp();
    Load({});
    f_->Show();
  }
  void TearDown() override {
    OfflineScreen::TearDown();
    stRegimeAnt.clear();
  }

  // One company whose columns hold the given values, the others null; none for no values.
  void Load(const Values& values) {
    LoadCompanies(values.empty() ? std::vector<Values>{} : std::vector<Values>{values});
  }
  void Show(TTabSheet& page) { f_->pgcPadrao.SetActivePage(page); }
};

// Every entry of every positional list stores the code at its position and shows again from it;
// no entry stores anything outside its column's table.
TEST_F(CodedFields, EachEntryStoresTheCodeAtItsPositionAndShowsAgain) {
  struct List {
    TDBComboBox TfrmEmpresa::*list;
    TTabSheet TfrmEmpresa::*page;
    const char* field;
    Codes codes;
  };
  const std::vector<List> lists = {
      {&TfrmEmpresa::dcbMeDataBase,
       &TfrmEmpresa::tshDadAdic,
       "MEDATABASE",
       {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}},
      {&TfrmEmpresa::dcbRegimeApur,
       &TfrmEmpresa::tshInformacoesOficiais,
       "CDREGIMEAPUR",
       {"1", "2", "3", "8", "9"}},
      {&TfrmEmpresa::cbNaturezaOp,
       &TfrmEmpresa::tshInformacoesOficiais,
       "IDNATUOPEREMPR",
       {"99", "01", "02", "03", "04", "05", "06", "07", "08"}},
      {&TfrmEmpresa::cbRegEspTrib,
       &TfrmEmpresa::tshInformacoesOficiais,
       "IDREGESPTRIBEMP",
       {"99", "01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12"}},
      {&TfrmEmpresa::cbRegimeST,
       &TfrmEmpresa::tshInformacoesOficiais,
       "IDREGIMEICMSST",
       {"0", "1", "2"}},
      {&TfrmEmpresa::cbFormaApur,
       &TfrmEmpresa::tshInformacoesOficiais,
       "IDFORMAPUR",
       {"I", "LPM", "LPT", "LRM", "LRT"}},
      // The blank third entry keeps the flag chosen before it.
      {&TfrmEmpresa::dbcIdCtbBaixa, &TfrmEmpresa::tshFinanceiro, "IDCTBBAIXAEMPR", {"S", "N", "N"}},
  };
  f_->cdsEmpresa.Insert();
  for (const List& l : lists) {
    TDBComboBox& list = f_->*l.list;
    Show(f_->*l.page);
    ASSERT_EQ(list.Items().size(), l.codes.size()) << l.field;
    for (std::size_t i = 0; i < l.codes.size(); ++i) {
      ASSERT_TRUE(G::Select(list, static_cast<int>(i))) << l.field;
      ASSERT_TRUE(G::Focus(f_->pgcPadrao)) << l.field;  // leaving the list commits it
      EXPECT_EQ(Stored(l.field), l.codes[i]) << l.field << " entry " << i;
      // The stored code shows its entry again (the blank third entry of the flag shows "Não").
      const std::size_t shown = l.field == std::string("IDCTBBAIXAEMPR") && i == 2 ? 1 : i;
      EXPECT_EQ(O::Text(list), list.Items()[shown]) << l.field << " entry " << i;
    }
  }
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CodedFields, StoredCodesShowTheirEntriesAndNoneOrUnknownCodesShowBlank) {
  Load({{"MEDATABASE", 12.0},
        {"CDREGIMEAPUR", std::string("8")},
        {"IDNATUOPEREMPR", std::string("07")},
        {"IDREGESPTRIBEMP", std::string("09")},
        {"IDREGIMEICMSST", std::string("2")},
        {"IDFORMAPUR", std::string("LRT")},
        {"IDCUMUPICOEMP", std::string("N")},
        {"IDCTBBAIXAEMPR", std::string("N")},
        {"IDFORMAPUREMPR", std::string("P")}});
  EXPECT_EQ(O::Text(f_->dcbMeDataBase), "Dezembro");
  EXPECT_EQ(O::Text(f_->dcbRegimeApur), "8 - Bares e Restaurantes");
  EXPECT_EQ(O::Text(f_->cbNaturezaOp), "07 - Não Incidência");
  EXPECT_EQ(O::Text(f_->cbRegEspTrib), "9- Vendas/Transporte Intermunicipal");
  EXPECT_EQ(O::Text(f_->cbRegimeST), "2- Substituído Tributário");
  EXPECT_EQ(O::Text(f_->cbFormaApur), "Lucro Real (Trimestral)");
  EXPECT_EQ(O::Text(f_->dbRegime), "Cumulativo");
  EXPECT_EQ(O::Text(f_->dbcIdCtbBaixa), "Não");
  EXPECT_EQ(f_->cdsEmpresa.FieldByName("CDREGIMEAPUR").DisplayText(), "8 - Bares e Restaurantes");
  EXPECT_TRUE(O::Checked(f_->dckFormApurImp));

  // "None" codes, unknown codes and nulls all show nothing; a month must be a whole 1 to 12.
  for (const Value& month : {Value(13.0), Value(0.0), Value(2.5), Value()}) {
    Load({{"MEDATABASE", month},
          {"CDREGIMEAPUR", std::string("4")},
          {"IDNATUOPEREMPR", std::string("99")},
          {"IDREGESPTRIBEMP", std::string("  ")},
          {"IDREGIMEICMSST", std::string("0")},
          {"IDFORMAPUR", std::string("I")},
          {"IDCUMUPICOEMP", std::string("T")},
          {"IDCTBBAIXAEMPR", std::string("X")},
          {"IDFORMAPUREMPR", std::string("F")}});
    for (TDBComboBox* list :
         {&f_->dcbMeDataBase, &f_->dcbRegimeApur, &f_->cbNaturezaOp, &f_->cbRegEspTrib,
          &f_->cbRegimeST, &f_->cbFormaApur, &f_->dbRegime, &f_->dbcIdCtbBaixa})
      EXPECT_EQ(O::Text(*list), "") << list->Name();
    EXPECT_EQ(f_->cdsEmpresa.FieldByName("IDFORMAPUR").AsString(), "I");  // read as stored
    EXPECT_FALSE(O::Checked(f_->dckFormApurImp));
    EXPECT_FALSE(O::Grayed(f_->dckFormApurImp));  // "F" shows unticked
  }
  Load({{"IDFORMAPUREMPR", std::string("")}});
  EXPECT_FALSE(O::Grayed(f_->dckFormApurImp));  // empty is what unticking stores
  EXPECT_FALSE(O::Checked(f_->dckFormApurImp));
  Load({{"IDFORMAPUREMPR", std::string("X")}});
  EXPECT_TRUE(O::Grayed(f_->dckFormApurImp));  // neither of its values
}

TEST_F(CodedFields, ANewRecordShowsAnEmptyAssessmentFormAndTheMonthListIsReadEachTime) {
  f_->cdsEmpresa.Insert();
  EXPECT_EQ(Stored("IDFORMAPUR"), "I");
  EXPECT_EQ(O::Text(f_->cbFormaApur), "");
  EXPECT_EQ(O::Text(f_->dbcIdCtbBaixa), "Sim");
  Show(f_->tshDadAdic);
  ASSERT_TRUE(G::Select(f_->dcbMeDataBase, "Março"));
  ASSERT_TRUE(G::Focus(f_->dbeNmTitular));
  EXPECT_EQ(Stored("MEDATABASE"), "3");
  // Entries replaced at creation (the host's month names) are what the field shows.
  std::vector<std::string> months = f_->dcbMeDataBase.Items();
  months[2] = "MARÇO";
  f_->dcbMeDataBase.SetItems(months);
  EXPECT_EQ(f_->cdsEmpresa.FieldByName("MEDATABASE").Text(), "MARÇO");
}

TEST_F(CodedFields, TheAssessmentBoxStoresPTickedAndEmptyUnticked) {
  Load({{"IDFORMAPUREMPR", std::string("F")}});
  f_->cdsEmpresa.Edit();
  Show(f_->tshInformacoesOficiais);
  ASSERT_TRUE(G::Check(f_->dckFormApurImp, true));
  ASSERT_TRUE(G::Focus(f_->dbeNrRNTRC));
  EXPECT_EQ(Stored("IDFORMAPUREMPR"), "P");
  ASSERT_TRUE(G::Check(f_->dckFormApurImp, false));
  f_->cdsEmpresa.Post();  // committed before the post, too
  EXPECT_EQ(Stored("IDFORMAPUREMPR"), std::nullopt);
  // An empty value shows unticked, as the box was left.
  EXPECT_FALSE(O::Grayed(f_->dckFormApurImp));
  EXPECT_FALSE(O::Checked(f_->dckFormApurImp));
}

TEST_F(CodedFields, RefusingTheRegimeQuestionRestoresTheCodeHeldBeforeTheLastChange) {
  Load({{"IDCUMUPICOEMP", std::string("S")}});
  Show(f_->tshInformacoesOficiais);
  // Browsed: the list refuses the choice; nothing is stored or remembered.
  stRegimeAnt = "?";
  ASSERT_TRUE(G::Select(f_->dbRegime, "Cumulativo"));
  EXPECT_EQ(Stored("IDCUMUPICOEMP"), "S");
  EXPECT_EQ(stRegimeAnt, "?");

  f_->cdsEmpresa.Edit();
  ASSERT_TRUE(G::Select(f_->dbRegime, "Cumulativo"));
  EXPECT_EQ(Stored("IDCUMUPICOEMP"), "N");  // stored at once by the change handler
  EXPECT_EQ(stRegimeAnt, "S");
  dialogs_->Answer(TModalResult::mrNo);
  ASSERT_TRUE(G::Focus(f_->dbeNrRNTRC));
  EXPECT_EQ(Messages(), std::vector<std::string>{
                            "Todas as Filiais que pertencem a empresa, serão alteradas para o "
                            "mesmo regime de apuração selecionado. Confirma Operação?"});
  EXPECT_EQ(Stored("IDCUMUPICOEMP"), "S");
  EXPECT_EQ(O::Text(f_->dbRegime), "Não Cumulativo");

  // Two changes before the commit: the refusal restores the code before the second.
  ASSERT_TRUE(G::Select(f_->dbRegime, ""));
  ASSERT_TRUE(G::Select(f_->dbRegime, "Cumulativo"));
  dialogs_->Answer(TModalResult::mrNo);
  f_->cdsEmpresa.Post();
  EXPECT_EQ(Stored("IDCUMUPICOEMP"), "T");
  EXPECT_EQ(O::Text(f_->dbRegime), "");
  EXPECT_EQ(Messages().size(), 1u);

  // The blank entry stores "T" with no question (an unanswered question would fail the test).
  Load({{"IDCUMUPICOEMP", std::string("N")}});
  f_->cdsEmpresa.Edit();
  ASSERT_TRUE(G::Select(f_->dbRegime, 0));
  ASSERT_TRUE(G::Focus(f_->dbeNrRNTRC));
  EXPECT_EQ(Stored("IDCUMUPICOEMP"), "T");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CodedFields, AStoredStarShowsAsOneBlankAndOtherTextsAsTheyAre) {
  Load({{"NRCEPEMPR", std::string("*")},
        {"NRINSCESTA", std::string(" *")},
        {"DSENDEEMPR", std::string("**")},
        {"NRTELEFOEMPR", std::string("*")},
        {"VRPEMULEMPR", 2.0},
        {"VRPEMOREMPR", 2.5},
        {"DTREGJUNCOM", DateTime::FromParts(2005, 2, 28)},
        {"NRCAGED", 1234567.0}});
  const TClientDataSet& cds = f_->cdsEmpresa;
  EXPECT_EQ(f_->dbeCdCep.Text(), " ");
  EXPECT_EQ(cds.FieldByName("NRCEPEMPR").AsString(), "*");  // the code still reads the star
  EXPECT_EQ(f_->dbeInscEstaEmpr.Text(), " *");
  EXPECT_EQ(f_->dbeDSENDEEMPR.Text(), "**");
  EXPECT_EQ(cds.FieldByName("NRTELEFOEMPR").DisplayText(), " ");
  EXPECT_EQ(f_->dbeNmTitular.Text(), "");  // null
  // Numbers and dates in their plain form, not their display formats.
  EXPECT_EQ(f_->DBEPerMulta.Text(), "2");
  EXPECT_EQ(f_->DBEPerMora.Text(), "2,5");
  EXPECT_EQ(f_->dbdDataReg.Text(), "28/02/2005");
  EXPECT_EQ(f_->dbeNRCAGED.Text(), "1234567");
  // The same text while the box is being edited.
  f_->cdsEmpresa.Edit();
  Show(f_->tshEndereco);
  ASSERT_TRUE(G::Focus(f_->dbeCdCep));
  EXPECT_EQ(f_->dbeCdCep.Text(), " ");
}

TEST_F(CodedFields, KeyFiltersOfTheNumberAndCodeBoxes) {
  f_->cdsEmpresa.Insert();
  const auto typed = [&](TTabSheet& page, TDBEdit& box, std::string_view text) {
    Show(page);
    G::Clear(box);
    G::Type(box, text);
    return box.Text();
  };
  // Percentages: a comma only after a digit and only once; three digits on each side.
  TTabSheet& fin = f_->tshFinanceiro;
  EXPECT_EQ(typed(fin, f_->DBEPerMulta, ","), "");
  EXPECT_EQ(typed(fin, f_->DBEPerMulta, "1,5,"), "1,5");
  EXPECT_EQ(typed(fin, f_->DBEPerMulta, "1,"), "1,");
  EXPECT_EQ(typed(fin, f_->DBEPerMora, "12345,67891"), "123,678");
  // A selected comma does not make room for a new one.
  f_->DBEPerMora.SetSelStart(3);
  f_->DBEPerMora.SetSelLength(1);
  G::Type(f_->DBEPerMora, ",");
  EXPECT_EQ(f_->DBEPerMora.Text(), "123,678");

  TTabSheet& adic = f_->tshDadAdic;
  EXPECT_EQ(typed(adic, f_->dbeVrTxInfra, "+-1/2,5,"), "12,5");
  // The numeric keypad's point is the decimal comma, under the same rule.
  EXPECT_EQ(typed(adic, f_->dbeVrTxInfra, "2.7.5"), "2,75");
  EXPECT_EQ(typed(adic, f_->dbeNRPROPRIEMPR, "a1%"), "1");
  EXPECT_EQ(typed(adic, f_->dbePreGS1, "789,790-x"), "789,790");
  TTabSheet& ofic = f_->tshInformacoesOficiais;
  EXPECT_EQ(typed(ofic, f_->dbeNRCAGED, "1a%&'(2"), "12");
  G::Key(f_->dbeNRCAGED, "backspace");
  EXPECT_EQ(f_->dbeNRCAGED.Text(), "1");
  // The certificate number is a text of its own: nothing of the interest box filters it.
  Show(fin);
  G::Clear(f_->DBEPerMora);
  G::Type(f_->DBEPerMora, "123");
  EXPECT_EQ(typed(ofic, f_->dbeCertLicFunc, "4567,8,9-A"), "4567,8,9-A");

  // (The state's capitals and the registration's digits are played in the scenarios: leaving
  // those boxes asks the database and the server.)
  EXPECT_TRUE(Messages().empty());
}

}  // namespace
}  // namespace ger
