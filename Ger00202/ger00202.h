#pragma once
// The explanatory-notes editor: one free text per company, read from and written to the
// application server through the company screen's connection, for the company screen's current
// company. A modal dialog on the host's routine dialog.
#include "contract/rdm_empresa.h"
#include "data/dataset.h"
#include "forms/frmrotgeral.h"
#include "module/module_export.h"

namespace ger {

class TfrmNotasExplicativas : public TfrmRotiGeral {
 public:
  explicit TfrmNotasExplicativas(TComponent* owner = nullptr);

  TPanel panDescricao{this, "panDescricao"};
  TMemo memDesc{this, "memDesc"};
  TClientDataSet cdsObservacao{"cdsObservacao"};
  TField& cdsObservacaoCDEMPRESA;
  TField& cdsObservacaoDSOBSERVEMP;

  void FormCreate(TComponent& sender) override;
  void FormClose(TComponent& sender, TCloseAction& action) override;
  void sbtConfirmaClick(TComponent& sender);
  void sbtCancelClick(TComponent& sender) override;
  void AKeyDown(TComponent& sender, int& key, unsigned shift);
  void cdsObservacaoBeforePost(TDataSet& dataset);
  void cdsObservacaoAfterPost(TDataSet& dataset);
  // Closing by the close box with a changed text asks whether to save it first.
  void FormCloseQuery(TComponent& sender, bool& canClose);

  // The parameter array of the read call; element 0 is the company code the dialog was opened
  // for, and the note is written for that company.
  const VarArray& Params() const { return params_; }

 private:
  // Writes the box's text to the server as confirming does, without closing.
  void Grava();
  VarArray params_;
  std::string lido_;  // the note as it was read, to tell whether the user changed it
};

extern "C" {
// The one instance of the editor (owned by the application object).
GER_MODULE_EXPORT extern TfrmNotasExplicativas* frmNotasExplicativas;
// True while the editor exists.
GER_MODULE_EXPORT extern bool boIdCriado;
// True when the last use of the editor ended by confirming.
GER_MODULE_EXPORT extern bool boFrmClose;
}

// Opens the editor modally; true when the user confirmed and the note was written.
bool CriaObservacaoForm();

}  // namespace ger
