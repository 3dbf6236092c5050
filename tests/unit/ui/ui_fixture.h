#pragma once
// Shared pieces of the UI model tests: a fresh application per test and a small form with
// data-aware boxes over a client dataset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/datasource.h"
#include "ui/comctrls.h"
#include "ui/dbctrls.h"
#include "ui/forms.h"
#include "ui/gestures.h"
#include "ui/grids.h"

namespace ger::testing {

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override { Application().Reset(); }
  void TearDown() override { Application().Reset(); }
  ui::ScriptedDialogs& Dialogs() { return *Application().Scripted(); }
  // The unread messages, oldest first; marks them read.
  std::vector<std::string> Messages() {
    std::vector<std::string> out;
    while (auto m = Dialogs().NextMessage()) out.push_back(*m);
    return out;
  }
};

// Two pages; codes, names and a value on the first, a date and a note on the second.
struct BoxForm : TForm {
  TClientDataSet cds{"cdsTeste"};
  TDataSource dts{"dtsTeste"};
  TPageControl pgc{this, "pgc"};
  TTabSheet tshUm{&pgc, "tshUm", "Um"};
  TTabSheet tshDois{&pgc, "tshDois", "Dois"};
  TDBEdit dbeCodigo{this, "dbeCodigo"};
  TDBEdit dbeNome{this, "dbeNome"};
  TDBEdit dbeValor{this, "dbeValor"};
  TDBDateEdit dbdData{this, "dbdData"};
  TDBMemo dbmNota{this, "dbmNota"};
  TSpeedButton sbtGravar{this, "sbtGravar"};
  TButton btnOk{this, "btnOk"};

  explicit BoxForm(bool autoEdit = false) : TForm("frmBox") {
    cds.AddField({"CODIGO", FieldKind::String, 2});
    cds.AddField({"NOME", FieldKind::String, 10});
    cds.AddField({"VALOR", FieldKind::Float, 0});
    cds.AddField({"DATA", FieldKind::DateTime, 0});
    cds.AddField({"NOTA", FieldKind::Memo, 0});
    DataPacket packet{
        cds.FieldDefs(),
        {{std::string("01"), std::string("Um"), 1.5, std::monostate{}, std::monostate{}},
         {std::string("02"), std::string("Dois"), 2.0, std::monostate{}, std::monostate{}}}};
    cds.SetData(packet);
    dts.AutoEdit = autoEdit;
    dts.SetDataSet(&cds);
    RegisterDataSet(cds);
    pgc.SetParent(this);
    int order = 0;
    for (TDBEdit* e : {&dbeCodigo, &dbeNome, &dbeValor}) {
      e->SetParent(&tshUm);
      e->SetTabOrder(order++);
      e->SetDataSource(dts);
    }
    dbeCodigo.SetDataField("CODIGO");
    dbeNome.SetDataField("NOME");
    dbeValor.SetDataField("VALOR");
    dbdData.SetParent(&tshDois);
    dbdData.SetDataSource(dts);
    dbdData.SetDataField("DATA");
    dbmNota.SetParent(&tshDois);
    dbmNota.SetDataSource(dts);
    dbmNota.SetDataField("NOTA");
    sbtGravar.SetParent(this);
    btnOk.SetParent(this);
    Show();
  }
};

}  // namespace ger::testing
