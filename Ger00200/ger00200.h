#pragma once
// The company maintenance screen (screen code "GER00200"): list, include, alter and delete the
// companies the system keeps books for.
//
// The screen class is completed on top of the standard maintenance form; until then this header
// gives the creators the class name and the unit's globals, which are defined in ger00200.cpp.
#include <string>

namespace ger {

class TComponent;
// Constructed as TfrmEmpresa(TComponent* owner); derived from TfrmPadrao.
class TfrmEmpresa;

// The one instance of the company screen (owned by the application object).
extern TfrmEmpresa* frmEmpresa;
// True while the company screen exists.
extern bool boStCriado;
// Representative code of the current representative row as it was when its insert or edit began.
extern std::string stCodAntigo;
// Cumulative-regime indicator before the user changed the regime selector.
extern std::string stRegimeAnt;
// Exported and released at shut-down; nothing in the module reads it.
extern std::string stTempCpf;

}  // namespace ger
