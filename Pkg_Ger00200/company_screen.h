#pragma once
// What the module's other screens take from the company screen: its current company code and the
// typed methods of its server connection. The company screen must be open.
#include <string>

#include "Ger00200/ger00200.h"
#include "contract/tables.h"

namespace ger::pkg {

struct CompanyScreen {
  static TfrmEmpresa& Form() {
    if (!boStCriado || !frmEmpresa)
      throw Exception("A tela de empresas precisa estar aberta para esta operação.");
    return *frmEmpresa;
  }
  static std::string CurrentCode() {
    return Form().cdsEmpresa.FieldByName(record::Empresa::CDEMPRESA).AsString();
  }
  static TRdmEmpresa& Rdm() { return Form().rdm; }
};

}  // namespace ger::pkg
