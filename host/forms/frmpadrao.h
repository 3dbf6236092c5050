#pragma once
// The standard maintenance form: a list page and a form page over the dataset of dtsPadrao, the
// record commands as tool buttons and menu items, and their enablement by the data source's
// state. A screen derives from it, adds its pages and controls, and overrides the steps below,
// calling the base step first or last.
#include <string>

#include "data/datasource.h"
#include "routines/routines.h"
#include "ui/comctrls.h"
#include "ui/forms.h"
#include "ui/grids.h"

namespace ger {

class TfrmPadrao : public TForm {
 public:
  explicit TfrmPadrao(std::string name = "frmPadrao", TComponent* owner = nullptr);
  ~TfrmPadrao() override;

  // Menus: page items under mnuOperacao, record commands under mnuManutencao.
  TMainMenu mnuPrincipal{this, "mnuPrincipal"};
  TMenuItem mnuOperacao{&mnuPrincipal, "mnuOperacao", "&Operação"};
  TMenuItem mnuFolhaDados{&mnuOperacao, "mnuFolhaDados", "&Folha de Dados"};
  TMenuItem mnuFormulario{&mnuOperacao, "mnuFormulario", "F&ormulário"};
  TMenuItem mnuManutencao{&mnuPrincipal, "mnuManutencao", "&Manutenção"};
  TMenuItem mnuIncluir{&mnuManutencao, "mnuIncluir", "&Incluir"};
  TMenuItem mnuAlterar{&mnuManutencao, "mnuAlterar", "&Alterar"};
  TMenuItem mnuExcluir{&mnuManutencao, "mnuExcluir", "&Excluir"};
  TMenuItem mnuProcurar{&mnuManutencao, "mnuProcurar", "&Procurar"};
  TMenuItem mnuProcurarProximo{&mnuManutencao, "mnuProcurarProximo", "Procurar Pró&ximo"};
  TMenuItem mnuFiltrar{&mnuManutencao, "mnuFiltrar", "&Filtrar"};
  TMenuItem mnuVerificar{&mnuManutencao, "mnuVerificar", "&Verificar"};
  TMenuItem mnuConfirmar{&mnuManutencao, "mnuConfirmar", "&Confirmar"};
  TMenuItem mnuCancelar{&mnuManutencao, "mnuCancelar", "Ca&ncelar"};
  TMenuItem mnuImprimir{&mnuManutencao, "mnuImprimir", "Imp&rimir"};

  // Tool bar.
  TPanel panBotoes{this, "panBotoes"};
  TSpeedButton sbtIncluir{this, "sbtIncluir"};
  TSpeedButton sbtAlterar{this, "sbtAlterar"};
  TSpeedButton sbtExcluir{this, "sbtExcluir"};
  TSpeedButton sbtProcurar{this, "sbtProcurar"};
  TSpeedButton sbtVerificar{this, "sbtVerificar"};
  TSpeedButton sbtConfirmar{this, "sbtConfirmar"};
  TSpeedButton sbtCancelar{this, "sbtCancelar"};
  TSpeedButton sbtImprimir{this, "sbtImprimir"};
  TSpeedButton sbtAjuda{this, "sbtAjuda"};
  TSpeedButton sbtFechar{this, "sbtFechar"};
  TDBNavigator navPadrao{this, "navPadrao"};
  TLabel lblCodTela{this, "lblCodTela"};

  // Pages.
  TPageControl pgcPadrao{this, "pgcPadrao"};
  TTabSheet tshFolhaDados{&pgcPadrao, "tshFolhaDados", "Folha de Dados"};
  TTabSheet tshFormulario{&pgcPadrao, "tshFormulario", "Formulário"};
  TDBGrid dbgPadrao{this, "dbgPadrao"};
  // Above the list: the filter box (only the rows holding its text are listed) and how many
  // rows are listed of all.
  TLabel lblFiltro{this, "lblFiltro"};
  TEdit edtFiltro{this, "edtFiltro"};
  TLabel lblContagem{this, "lblContagem"};

  TDataSource dtsPadrao{"dtsPadrao"};
  TMessageComponent msgPadrao{this, "msgPadrao"};
  TMessageComponent msgMensagensPadroes{this, "msgMensagensPadroes"};

  // The steps.
  virtual void FormCreate(TComponent& sender);
  virtual void FormClose(TComponent& sender, TCloseAction& action);
  virtual void sbtIncluirClick(TComponent& sender);
  virtual void sbtAlterarClick(TComponent& sender);
  virtual void sbtExcluirClick(TComponent& sender);
  virtual void sbtConfirmarClick(TComponent& sender);
  virtual void sbtCancelarClick(TComponent& sender);
  virtual void sbtProcurarClick(TComponent& sender);
  // F3: the next row holding the text last looked for (the find dialog when none was yet).
  virtual void mnuProcurarProximoClick(TComponent& sender);
  // Ctrl+L: the list page with the focus in the filter box.
  virtual void mnuFiltrarClick(TComponent& sender);
  void edtFiltroChange(TComponent& sender);
  // Escape empties a filter box that holds a text.
  void edtFiltroKeyDown(TComponent& sender, int& key, unsigned shift);
  // "12 de 1.296 registros" beside the filter box (the screen's catalogue may name its rows:
  // keys Lista_Contagem and Lista_Total); kept up to date with the list.
  void MostraContagem();
  virtual void sbtVerificarClick(TComponent& sender);
  virtual void sbtImprimirClick(TComponent& sender);
  virtual void sbtAjudaClick(TComponent& sender);
  virtual void sbtFecharClick(TComponent& sender);
  virtual void mnuFolhaDadosClick(TComponent& sender);
  virtual void mnuFormularioClick(TComponent& sender);
  virtual void pgcPadraoChange(TComponent& sender);
  virtual void pgcPadraoChanging(TComponent& sender, bool& allowChange);
  virtual void dtsPadraoStateChange(TDataSource& sender);
  // Enter in a box moves to the next box.
  bool DialogKey(TControl& from, int key, unsigned shift) override;

  // The enablement rule over a data source: Confirm and Cancel while edited or inserted, Include
  // while browsed, Alter, Delete, Search and Refresh while browsed with rows; each button takes
  // its menu item's state.
  void HabilitaPadrao(TDataSource& source);
  // The dataset of dtsPadrao; EInvalidOperation when none is set.
  TDataSet& DataSetPadrao();

 protected:
  // The text last looked for in the list (the find dialog and F3).
  std::string textoProcurado_;
};

}  // namespace ger
