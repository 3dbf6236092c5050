#pragma once
// The company report launcher (screen code "GER00201", report code "Ger002"): the host's report
// launcher with this screen's identity; choosing the output and running the report are the base
// form's work.
#include "forms/dadosgerrel.h"
#include "module/module_export.h"

namespace ger {

class TfrmRelEmpresa : public TfrmDadosGerRel {
 public:
  explicit TfrmRelEmpresa(TComponent* owner = nullptr);
  void FormClose(TComponent& sender, TCloseAction& action) override;
};

extern "C" {
// The one instance of the launcher (owned by the application object).
GER_MODULE_EXPORT extern TfrmRelEmpresa* frmRelEmpresa;
}

// True while the launcher exists; private to the module.
extern bool boRelEmpresaCriado;

// Opens the launcher modally, creating it when it does not exist.
void CriaRelEmpresaForm();

}  // namespace ger
