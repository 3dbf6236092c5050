// The company record's definition and the screen's catalogue.
#include <gtest/gtest.h>

#include "Ger00200/ger00200_dados.h"
#include "data/dataset.h"

namespace ger::empresa {
namespace {

TEST(Catalogue, HoldsEveryEntryInOrderWithTextsKeptExactly) {
  const TMessages& msg = CatalogoPadrao();
  ASSERT_EQ(msg.Count(), 101u);
  std::vector<std::string> keys = msg.Keys();
  EXPECT_EQ(keys.front(), "Excl");
  EXPECT_EQ(keys[77], "FiliRegime");
  // What the screen says when another user changed or deleted the company meanwhile.
  EXPECT_EQ(msg.Msg("Emp_Excluida"), "Empresa excluída por outro usuário.");
  EXPECT_EQ(keys[80], "Outros_Dados");
  EXPECT_EQ(keys[81], "Lista_Contagem");
  EXPECT_EQ(keys[83], "InscEsta_inv");
  // The access refused and the history window's texts come after the screen's own.
  EXPECT_EQ(keys[84], "Acesso_Neg");
  EXPECT_EQ(keys[96], "Hist_Sem_Empresa");
  // Then the live list's notices of a company changed on another seat while being altered here.
  EXPECT_EQ(keys.back(), "Exc_Outro_Posto_Sem");
  EXPECT_EQ(msg.Msg("Alt_Outro_Posto", {"Bruno", "14:05"}),
            "Alterada em outro posto por Bruno às 14:05. Ao confirmar, os campos alterados serão "
            "conferidos.");
  EXPECT_EQ(msg.Msg("InscEsta_inv", {"SP"}), "Inscrição estadual inválida para o estado SP.");
  EXPECT_EQ(msg.Msg("Excl"), "Confirma exclusão ?");
  // Two blanks after "(%)", a lower-case start, accents: nothing is normalised on the way in.
  EXPECT_EQ(msg.Msg("V_MU_NEGA"), "Multa (%)  deve ser maior que zero.");
  EXPECT_EQ(msg.Msg("Data_Inv"), "não é uma data válida.");
  EXPECT_EQ(msg.Msg("Param_deve"), "Parametrização do sistema deve ser preenchida.");
  EXPECT_EQ(msg.Msg("CGC"), "&Insc. (C.G.C.)");
  // Keys differing only in case are different entries.
  EXPECT_EQ(msg.Msg("CPF_inv"), "C.P.F. inválido.");
  EXPECT_EQ(msg.Msg("CPF_Inf"), "CPF do signatário deve ser informado.");
  EXPECT_FALSE(msg.Contains("cpf_inv"));
  EXPECT_EQ(msg.Msg("S"), "Sim");
  EXPECT_EQ(msg.Msg("N"), "Não");
  // No line-break residue at the end of a text.
  for (const std::string& k : keys) {
    const std::string& t = msg.Msg(k);
    ASSERT_FALSE(t.empty()) << k;
    EXPECT_NE(t.back(), '\r') << k;
  }
}

TEST(EmpresaRecord, ColumnsTypesAndPresentation) {
  TClientDataSet cds("cdsEmpresa");
  DefineEmpresa(cds);
  ASSERT_EQ(cds.FieldCount(), 71);
  EXPECT_EQ(cds.Field(0).FieldName(), "CDEMPRESA");
  EXPECT_EQ(cds.Field(12).FieldName(), "NRINSJUREMPR");
  EXPECT_EQ(cds.Field(68).FieldName(), "DSARQLOGOEMPCLOB");
  EXPECT_EQ(cds.Field(70).FieldName(), "CDEXTERNO");
  // Only the list's two columns are visible.
  for (int i = 0; i < cds.FieldCount(); ++i)
    EXPECT_EQ(cds.Field(i).Visible(), i < 2) << cds.Field(i).FieldName();
  EXPECT_EQ(cds.FieldByName("CDEMPRESA").EditMask(), ">aa;0; ");
  EXPECT_EQ(cds.FieldByName("CDNATUJURI").EditMask(), "!999\\-9;0; ");
  EXPECT_EQ(cds.FieldByName("SGESTADO").EditMask(), "ll>;0; ");
  EXPECT_EQ(cds.FieldByName("VRPEMOREMPR").DisplayLabel(), "Mora Diária (%)");
  EXPECT_EQ(cds.FieldByName("VRPEMOREMPR").DisplayFormat(), "#,##0.000");
  EXPECT_EQ(cds.FieldByName("VRPETXADMPOR").DisplayFormat(), "#,##0.00");
  EXPECT_EQ(cds.FieldByName("DSARQRECIREC").DisplayLabel(), "Modelo a Receber");
  EXPECT_EQ(cds.FieldByName("NMBAIREMPR").Size(), 30);
  EXPECT_EQ(cds.FieldByName("NMBAIREMPR").DisplayWidth(), 50);
  EXPECT_EQ(cds.FieldByName("DSMENSEMAILNFE").Size(), 2000);
  EXPECT_EQ(cds.FieldByName("DTREGJUNCOM").Kind(), FieldKind::DateTime);
  EXPECT_EQ(cds.FieldByName("DSARQLOGOEMPCLOB").Kind(), FieldKind::Blob);
  EXPECT_EQ(cds.FieldByName("NRCAGED").Kind(), FieldKind::Float);
}

// The server finds an updated row by the old values of where-flagged columns: only the
// commercial-registry number carries the where flag alone, the trailing columns the default.
TEST(EmpresaRecord, ChangeSetCarriesTheProviderFlags) {
  TClientDataSet cds("cdsEmpresa");
  DefineEmpresa(cds);
  cds.Open();
  cds.Insert();
  cds.FieldByName("CDEMPRESA").SetAsString("01");
  cds.Post();
  ChangeSet delta = cds.GetDelta();
  ASSERT_EQ(delta.fields.size(), 71u);
  ASSERT_EQ(delta.changes.size(), 1u);
  auto flagsOf = [&](std::string_view name) { return delta.fields.at(delta.IndexOf(name)).flags; };
  EXPECT_EQ(flagsOf("CDEMPRESA"), ProviderFlags::None());
  EXPECT_EQ(flagsOf("NRREGJUNCOM"), ProviderFlags::InWhere());
  EXPECT_EQ(flagsOf("DSMENSEMAILNFE"), ProviderFlags::Default());
  EXPECT_EQ(flagsOf("CDEXTERNO"), ProviderFlags::Default());
  EXPECT_EQ(flagsOf("IDCTBBAIXAEMPR"), ProviderFlags::None());
}

TEST(AuxiliaryDatasets, OneHiddenColumnEachAndTheRepresentativesRecord) {
  TClientDataSet verif, vemp, vpar, repres;
  DefineVerifEmpresa(verif);
  DefineVEmp(vemp);
  DefineVParGeral(vpar);
  DefineRepresentante(repres);
  EXPECT_EQ(verif.Field(0).FieldName(), "CDEMPRESA");
  EXPECT_FALSE(verif.Field(0).Visible());
  EXPECT_EQ(vpar.Field(0).FieldName(), "CDFILIAL");
  EXPECT_EQ(vpar.Field(0).Size(), 4);
  ASSERT_EQ(repres.FieldCount(), 7);
  EXPECT_FALSE(repres.FieldByName("CDEMPRESA").Visible());
  EXPECT_FALSE(repres.FieldByName("CDQUALIFASSINA").Visible());
  EXPECT_EQ(repres.FieldByName("CDREPRES").EditMask(), "99;0; ");
  EXPECT_EQ(repres.FieldByName("IDATIVO").DisplayLabel(), "Utilizado");
}

}  // namespace
}  // namespace ger::empresa
