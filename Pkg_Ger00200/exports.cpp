// The module's exported names: the package bookkeeping the host's loader calls (descriptor,
// Initialize, Finalize), the units' start-up and shut-down sections, the creators, and the
// exported globals of the three units.
#include <array>
#include <cstddef>

#include "Ger00200/ger00200.h"
#include "Ger00201/ger00201.h"
#include "Ger00202/ger00202.h"
#include "Pkg_Ger00200/creators.h"
#include "module/module_export.h"

namespace ger {

// The globals of unit Ger00200 are defined with the company screen (Ger00200/ger00200.cpp); those
// of the other two units with their screens. Their start-up and shut-down sections are here.

namespace {

constexpr std::array<const char*, 8> kRequired{"_zem", "_rtl", "_qr", "_lib",
                                               "_ger", "_frm", "_db", "_vcl"};
constexpr std::array<const char*, 4> kUnits{"Pkg_Ger00200", "Ger00202", "Ger00200", "Ger00201"};
constexpr std::array<ModuleEntry, 4> kEntries{{{"IniProc", EntryKind::Procedure},
                                               {"CriaEmpresa", EntryKind::Procedure},
                                               {"CriaRelEmpresa", EntryKind::Procedure},
                                               {"CriaObservacao", EntryKind::BooleanFunction}}};
constexpr std::array<ModuleGlobal, 9> kGlobals{{{"frmEmpresa", GlobalKind::Form},
                                                {"boStCriado", GlobalKind::Boolean},
                                                {"stCodAntigo", GlobalKind::String},
                                                {"stRegimeAnt", GlobalKind::String},
                                                {"stTempCpf", GlobalKind::String},
                                                {"frmRelEmpresa", GlobalKind::Form},
                                                {"frmNotasExplicativas", GlobalKind::Form},
                                                {"boIdCriado", GlobalKind::Boolean},
                                                {"boFrmClose", GlobalKind::Boolean}}};

constexpr PackageInfo kPackage{"Pkg_Ger00200",  kRequired.data(), kRequired.size(),
                               kUnits.data(),   kUnits.size(),    kEntries.data(),
                               kEntries.size(), kGlobals.data(),  kGlobals.size()};

// A unit's start-up and shut-down sections with the counter that makes each run once however
// often the host asks: start-up on the first Initialize, shut-down on the matching last Finalize.
struct UnitSections {
  void (*startUp)();
  void (*shutDown)();
  int count = 0;
};

UnitSections gUnits[] = {
    // Pkg_Ger00200: its registration happens when the library is loaded (package.cpp).
    {[] {}, [] {}},
    // Ger00202
    {[] { boIdCriado = false; }, [] {}},
    // Ger00200
    {[] { boStCriado = false; },
     [] {
       std::string().swap(stRegimeAnt);
       std::string().swap(stCodAntigo);
       std::string().swap(stTempCpf);
     }},
    // Ger00201
    {[] { boRelEmpresaCriado = false; }, [] {}},
};
static_assert(std::size(gUnits) == kUnits.size());

// Runs a creator as one gesture of the host: an error is shown once by the application's
// handler (the silent abort of an already reported server failure shows nothing) and goes no
// further. Only faults of a scripted session (a dialog without its queued answer) go on to the
// driver that called the entry point.
template <class Fn>
void Guarded(Fn&& creator) {
  Application().Guard(std::forward<Fn>(creator));
}

void CriaEmpresaForm() {
  TfrmEmpresa* form;
  {
    pkg::HourGlass cursor;
    form = &pkg::CreateOnce(frmEmpresa, boStCriado);
    form->SetWindowState(TWindowState::wsNormal);
  }
  form->Show();
}

}  // namespace
}  // namespace ger

using namespace ger;

extern "C" {

GER_MODULE_EXPORT const PackageInfo* GetPackageInfoTable() {
  return &kPackage;
}

GER_MODULE_EXPORT void Initialize() {
  for (UnitSections& unit : gUnits)
    if (unit.count++ == 0) unit.startUp();
}

GER_MODULE_EXPORT void Finalize() {
  for (auto it = std::rbegin(gUnits); it != std::rend(gUnits); ++it)
    if (it->count > 0 && --it->count == 0) it->shutDown();
}

GER_MODULE_EXPORT void CriaEmpresa() {
  Guarded(CriaEmpresaForm);
}

GER_MODULE_EXPORT void IniProc() {
  CriaEmpresa();
}

GER_MODULE_EXPORT void CriaRelEmpresa() {
  Guarded(CriaRelEmpresaForm);
}

GER_MODULE_EXPORT bool CriaObservacao() {
  bool confirmed = false;
  Guarded([&] { confirmed = CriaObservacaoForm(); });
  return confirmed;
}

}  // extern "C"
