// The declarations of the server's tables and the screens' datasets: consistent in themselves,
// and the datasets built from them hold what the server stores.
#include "contract/tables.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "data/dataset.h"

namespace ger::record {
namespace {

TEST(Tables, KeysIndexesAndCodesNameColumnsThatFit) {
  std::set<std::string_view> tableNames;
  for (const Table* t : ServerTables()) {
    EXPECT_TRUE(tableNames.insert(t->name).second) << t->name << " declared twice";
    ASSERT_FALSE(t->key.empty()) << t->name;
    std::set<std::string_view> names;
    for (const Column& c : t->columns) {
      EXPECT_TRUE(names.insert(c.name).second) << t->name << "." << c.name << " twice";
      // Sizes count characters of texts; other kinds have none.
      EXPECT_EQ(c.kind == FieldKind::String, c.size > 0) << t->name << "." << c.name;
      for (std::string_view code : {c.none, c.initial})
        EXPECT_LE(static_cast<int>(code.size()), c.size) << t->name << "." << c.name;
      if (c.placeholder) {
        EXPECT_EQ(c.kind, FieldKind::String) << c.name;
      }
    }
    for (std::string_view k : t->key) EXPECT_NE(t->Find(k), nullptr) << t->name << " key " << k;
    for (const Index& i : t->indexes) EXPECT_NE(t->Find(i.column), nullptr) << i.name;
  }
  for (std::string_view c : kEmptyBoxColumns) EXPECT_NE(kEmpresa.Find(c), nullptr) << c;
  EXPECT_THROW(kEmpresa["NAOEXISTE"], std::out_of_range);
  EXPECT_EQ(&kEmpresa["cdempresa"], &kEmpresa["CDEMPRESA"]);
}

// The datasets take kind and size from the table the column lives in, so a lookup's text cannot
// be narrower than what the server stores.
TEST(Datasets, FieldsHaveTheirTablesKindsAndSizes) {
  for (const Dataset* d :
       {&kCdsVerifEmpresa, &kCdsVEmp, &kCdsVParGeral, &kQryVeriFilial, &kCdsVerifInsc,
        &kCdsRepresentante, &kCdsPesqRepres, &kCdsContador, &kCdsCNAE, &kCdsFPAS, &kCdsNatureza,
        &kCdsPesqBairro, &kQryPais, &kQryEstado, &kQryMunicipio, &kQryCentCusto, &kCdsObservacao}) {
    TClientDataSet ds(std::string(d->name));
    DefineFields(ds, *d);
    ASSERT_EQ(ds.FieldCount(), static_cast<int>(d->fields.size())) << d->name;
    for (int i = 0; i < ds.FieldCount(); ++i) {
      const Column& source = d->fields[i].Source();
      EXPECT_EQ(ds.Field(i).FieldName(), source.name) << d->name;
      EXPECT_EQ(ds.Field(i).Kind(), source.kind) << d->name << "." << source.name;
      EXPECT_EQ(ds.Field(i).Size(), source.size) << d->name << "." << source.name;
    }
  }
}

TEST(Datasets, LookupsShowCodesAndNamesTheScreensWay) {
  TClientDataSet cnae, natureza, fpas, centCusto, estado, bairro, notas;
  DefineFields(cnae, kCdsCNAE);
  DefineFields(natureza, kCdsNatureza);
  DefineFields(fpas, kCdsFPAS);
  DefineFields(centCusto, kQryCentCusto);
  DefineFields(estado, kQryEstado);
  DefineFields(bairro, kCdsPesqBairro);
  DefineFields(notas, kCdsObservacao);
  EXPECT_EQ(cnae.FieldByName("CDCNAE").EditMask(), "9999-9\\/99;0; ");
  EXPECT_EQ(cnae.FieldByName("DSCNAE").DisplayLabel(), "Descrição");
  EXPECT_EQ(natureza.FieldByName("CDNATUJURI").EditMask(), "!999\\-9;0;_");
  EXPECT_TRUE(fpas.FieldByName("DSFPAS").ReadOnly());
  EXPECT_FALSE(fpas.FieldByName("CDFPAS").ReadOnly());
  EXPECT_TRUE(centCusto.FieldByName("CDCENTCUST").Required());
  EXPECT_TRUE(centCusto.FieldByName("NMCENTCUST").Required());
  EXPECT_EQ(estado.FieldByName("SGESTADO").DisplayLabel(), "Sigla");
  EXPECT_FALSE(estado.FieldByName("NMESTADO").Required());
  EXPECT_EQ(bairro.FieldByName("NMBAIRRO").Size(), 50);
  EXPECT_FALSE(notas.FieldByName("CDEMPRESA").Visible());
  EXPECT_EQ(notas.FieldByName("DSOBSERVEMP").Kind(), FieldKind::Memo);
}

// Official municipality names reach 32 characters; the record and the municipality list keep
// them whole, as the server stores them.
TEST(Datasets, TheLongestMunicipalityNamesAreKeptWhole) {
  const std::string longest = "Vila Bela da Santíssima Trindade";
  TClientDataSet empresa, municipios;
  DefineFields(empresa, kEmpresa);
  DefineFields(municipios, kQryMunicipio);
  for (TClientDataSet* ds : {&empresa, &municipios}) {
    ds->Open();
    ds->Insert();
    ds->FieldByName("NMMUNICIPIO").SetAsString(longest);
    EXPECT_EQ(ds->FieldByName("NMMUNICIPIO").AsString(), longest);
  }
  EXPECT_EQ(kEmpresa["NMMUNICIPIO"].size, kMunicipio["NMMUNICIPIO"].size);
}

}  // namespace
}  // namespace ger::record
