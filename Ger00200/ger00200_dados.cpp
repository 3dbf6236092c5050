#include "ger00200_dados.h"

#include <string>

#include "contract/tables.h"

namespace ger::embedded {
extern const std::string_view msgPadrao;
}

namespace ger::empresa {

void DefineEmpresa(TDataSet& cdsEmpresa) {
  record::DefineFields(cdsEmpresa, record::kEmpresa);
}

void DefineVerifEmpresa(TDataSet& dataset) {
  record::DefineFields(dataset, record::kCdsVerifEmpresa);
}

void DefineVEmp(TDataSet& dataset) {
  record::DefineFields(dataset, record::kCdsVEmp);
}

void DefineVParGeral(TDataSet& dataset) {
  record::DefineFields(dataset, record::kCdsVParGeral);
}

void DefineRepresentante(TDataSet& dataset) {
  record::DefineFields(dataset, record::kCdsRepresentante);
}

void DefinePesqRepres(TDataSet& dataset) {
  record::DefineFields(dataset, record::kCdsPesqRepres);
}

const TMessages& CatalogoPadrao() {
  static const TMessages catalogue(embedded::msgPadrao);
  return catalogue;
}

}  // namespace ger::empresa
