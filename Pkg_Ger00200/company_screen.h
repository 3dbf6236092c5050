#pragma once
// What the module's other screens take from the company screen: its current company code and its
// server connection. Reached through a template so that these units build, and say plainly that
// the screen is missing, while the company screen's class is still only declared.
#include <string>

#include "Ger00200/ger00200.h"
#include "data/dataset.h"
#include "net/netconnection.h"
#include "ui/dialogs.h"

namespace ger::pkg {

template <class T>
concept CompleteType = requires {
  sizeof(T);
};

template <class F = TfrmEmpresa>
struct CompanyScreen {
  static constexpr bool Built = CompleteType<F>;

  // The company screen, which must be open.
  static F& Form() {
    if constexpr (Built) {
      if (!boStCriado || !frmEmpresa)
        throw Exception("A tela de empresas precisa estar aberta para esta operação.");
      return *static_cast<F*>(frmEmpresa);
    } else {
      throw ui::EScriptError("the company screen is not built into this module yet");
    }
  }
  static std::string CurrentCode() {
    if constexpr (Built)
      return Form().cdsEmpresa.FieldByName("CDEMPRESA").AsString();
    else
      return Form(), std::string();
  }
  static TNetConnection& Net() {
    if constexpr (Built)
      return Form().netEmpresa;
    else
      throw ui::EScriptError("the company screen is not built into this module yet");
  }
};

}  // namespace ger::pkg
