#pragma once
// The company screen against the real server with a second seat beside it: the other seat's
// connection and client, its rename of a company, and what this screen's list shows.
#include <string>

#include "../server/around_the_screen.h"
#include "contract/rdm_empresa.h"
#include "screen_fixture.h"

namespace ger {

class OtherSeatScreen : public EmpresaScreen {
 protected:
  void SetUp() override {
    EmpresaScreen::SetUp();
    other_.Port = server_->Port();
  }
  // Another seat renames a company through the server.
  void RenameElsewhere(const std::string& code, const std::string& name) {
    gertest::RenameThroughServer(rdm_, code, name);
  }
  // The name this screen's list holds for `code`; "none" when the list has no such company.
  std::string NameOf(TfrmEmpresa& f, const std::string& code) {
    TDataSet& d = f.cdsEmpresa;
    for (int i = 0; i < d.RecordCount(); ++i) {
      TDataSet::RowPeek peek(d, i);
      if (d.FieldByName("CDEMPRESA").AsString() == code)
        return d.FieldByName("NMEMPRESA").AsString();
    }
    return "none";
  }
  TNetConnection other_;
  TRdmEmpresa rdm_{other_};
};

}  // namespace ger
