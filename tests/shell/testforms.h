#pragma once
// A small maintenance form built from the UI model's own controls, with the behaviours the
// renderer must carry: a digits-only box, a code whose exit refuses bad codes, a page control
// whose changing handler can refuse, menus with a short cut and tool buttons.
#include <string>

#include "core/exceptions.h"
#include "data/dataset.h"
#include "data/datasource.h"
#include "ui/comctrls.h"
#include "ui/dbctrls.h"
#include "ui/forms.h"
#include "ui/grids.h"

namespace ger::test {

class TfrmTeste : public TForm {
 public:
  TfrmTeste() : TForm("frmTeste") {
    FormStyle = TFormStyle::fsMDIChild;
    SetCaption("Teste");
    SetBounds(0, 0, 640, 420);
    cdsDados.AddField({"CODIGO", FieldKind::String, 2});
    cdsDados.AddField({"NOME", FieldKind::String, 40});
    cdsDados.AddField({"NUMERO", FieldKind::String, 8});
    cdsDados.FieldByName("CODIGO").SetDisplayLabel("Código");
    cdsDados.FieldByName("NOME").SetDisplayLabel("Nome");
    cdsDados.SetData(DataPacket{cdsDados.FieldDefs(),
                                {{std::string("01"), std::string("Alfa"), std::string("")},
                                 {std::string("02"), std::string("Beta"), std::string("")},
                                 {std::string("03"), std::string("Gama"), std::string("")}}});
    dtsDados.SetDataSet(&cdsDados);
    RegisterDataSet(cdsDados);
    RegisterDataSource(dtsDados);

    pgcPaginas.SetParent(this);
    pgcPaginas.SetBounds(8, 8, 620, 360);
    grid.SetParent(&tshLista);
    grid.SetBounds(4, 4, 400, 200);
    grid.SetDataSource(dtsDados);
    grid.AddColumn("CODIGO", "", 60);
    grid.AddColumn("NOME", "", 200);

    lblCodigo.SetParent(&tshDados);
    lblCodigo.SetCaption("&Código");
    lblCodigo.SetBounds(8, 12, 60, 17);
    lblCodigo.FocusControl = &dbeCodigo;
    dbeCodigo.SetParent(&tshDados);
    dbeCodigo.SetBounds(80, 8, 60, 23);
    dbeCodigo.SetTabOrder(0);
    dbeCodigo.SetDataSource(dtsDados);
    dbeCodigo.SetDataField("CODIGO");
    dbeCodigo.SetColor(TColor::clInfoBk);
    // A code must not be "99": the exit refuses and keeps the focus, as the screens' checks do.
    dbeCodigo.OnExit = [this](TComponent&) {
      ++codeExits;
      if (dbeCodigo.Text() == "99") {
        Application().Dialogs().MessageDlg("Código inválido.", TMsgDlgType::mtError, mbOK, 0);
        dbeCodigo.SetFocus();
        throw EAbort();
      }
    };
    dbeNome.SetParent(&tshDados);
    dbeNome.SetBounds(80, 36, 300, 23);
    dbeNome.SetTabOrder(1);
    dbeNome.SetDataSource(dtsDados);
    dbeNome.SetDataField("NOME");
    dbeNumero.SetParent(&tshDados);
    dbeNumero.SetBounds(80, 64, 100, 23);
    dbeNumero.SetTabOrder(2);
    dbeNumero.SetDataSource(dtsDados);
    dbeNumero.SetDataField("NUMERO");
    dbeNumero.OnKeyPress = [](TComponent&, char32_t& key) {
      if (key >= 32 && (key < U'0' || key > U'9')) key = 0;
    };
    chkAtivo.SetParent(&tshDados);
    chkAtivo.SetCaption("Ativo");
    chkAtivo.SetBounds(80, 92, 100, 20);
    chkAtivo.SetTabOrder(3);
    cbxTipo.SetParent(&tshDados);
    cbxTipo.SetBounds(80, 116, 150, 23);
    cbxTipo.SetStyle(TComboBoxStyle::csDropDownList);
    cbxTipo.SetItems({"CNPJ", "CPF", "Outros"});
    cbxTipo.SetTabOrder(4);
    cbxTipo.OnChange = [this](TComponent&) { ++comboChanges; };
    btnPerguntar.SetParent(&tshDados);
    btnPerguntar.SetCaption("&Perguntar");
    btnPerguntar.SetBounds(80, 150, 100, 25);
    btnPerguntar.SetTabOrder(5);
    btnPerguntar.OnClick = [this](TComponent&) {
      answer = Application().Dialogs().MessageDlg("Confirma a exclusão?",
                                                  TMsgDlgType::mtConfirmation, mbYesNo, 0);
    };
    tshBloqueada.SetEnabled(true);
    pgcPaginas.OnChanging = [this](TComponent&, bool& allow) { allow = allowPageChange; };
    pgcPaginas.OnChange = [this](TComponent&) { ++pageChanges; };

    mnuEditar.SetShortCut("Ctrl+E");
    mnuEditar.OnClick = [this](TComponent&) { ++editClicks; };
    mnuMarcado.SetChecked(true);
    mnuDesligado.SetEnabled(false);
    sbtIncluir.SetParent(this);
    sbtIncluir.SetHint("Incluir");
    sbtIncluir.SetBounds(0, 0, 25, 25);
    sbtIncluir.OnClick = [this](TComponent&) {
      cdsDados.Insert();
      pgcPaginas.SetActivePage(tshDados);
      dbeCodigo.SetFocus();
    };
    sbtExcluir.SetParent(this);
    sbtExcluir.SetHint("Excluir");
    sbtExcluir.SetBounds(30, 0, 25, 25);
    sbtExcluir.SetEnabled(false);
  }

  TClientDataSet cdsDados{"cdsDados"};
  TDataSource dtsDados{"dtsDados"};
  TMainMenu mnuPrincipal{this, "mnuPrincipal"};
  TMenuItem mnuOperacao{&mnuPrincipal, "mnuOperacao", "&Operação"};
  TMenuItem mnuMarcado{&mnuOperacao, "mnuMarcado", "&Lista"};
  TMenuItem mnuDesligado{&mnuOperacao, "mnuDesligado", "&Desligado"};
  TMenuItem mnuManutencao{&mnuPrincipal, "mnuManutencao", "&Manutenção"};
  TMenuItem N1{&mnuManutencao, "N1", "-"};
  TMenuItem mnuEditar{&mnuManutencao, "mnuEditar", "Editar &Modelo"};
  TSpeedButton sbtIncluir{this, "sbtIncluir"};
  TSpeedButton sbtExcluir{this, "sbtExcluir"};
  TPageControl pgcPaginas{this, "pgcPaginas"};
  TTabSheet tshLista{&pgcPaginas, "tshLista", "Lista"};
  TTabSheet tshDados{&pgcPaginas, "tshDados", "&Dados"};
  TTabSheet tshBloqueada{&pgcPaginas, "tshBloqueada", "Outra"};
  TDBGrid grid{this, "dbgLista"};
  TLabel lblCodigo{this, "lblCodigo"};
  TDBEdit dbeCodigo{this, "dbeCodigo"};
  TDBEdit dbeNome{this, "dbeNome"};
  TDBEdit dbeNumero{this, "dbeNumero"};
  TCheckBox chkAtivo{this, "chkAtivo"};
  TComboBox cbxTipo{this, "cbxTipo"};
  TButton btnPerguntar{this, "btnPerguntar"};

  bool allowPageChange = true;
  int pageChanges = 0;
  int codeExits = 0;
  int comboChanges = 0;
  int editClicks = 0;
  TModalResult answer = TModalResult::mrNone;
};

}  // namespace ger::test
