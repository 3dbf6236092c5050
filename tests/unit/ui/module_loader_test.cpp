// The host's module loader against the real module: finding and refusing files, the package
// descriptor, the units' start-up and shut-down counters, entry points and globals by name, the
// module list, and the satellite resource lookup.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "module/module.h"
#include "ui/forms.h"

namespace fs = std::filesystem;
using namespace ger;

namespace {

class ModuleLoader : public ::testing::Test {
 protected:
  void SetUp() override { Application().Reset(); }
  void TearDown() override { Application().Reset(); }
};

// Sets an environment variable for one test and puts the old value back.
class EnvGuard {
 public:
  EnvGuard(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~EnvGuard() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

fs::path TempFolder(const std::string& tag) {
  fs::path p =
      fs::temp_directory_path() / ("ger-module-test-" + tag + "-" + std::to_string(getpid()));
  fs::remove_all(p);
  fs::create_directories(p);
  return p;
}

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EModuleError& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace

TEST_F(ModuleLoader, RefusesMissingFilesForeignLibrariesAndUnknownNames) {
  fs::path dir = TempFolder("missing");
  std::string missing = ErrorOf([&] { TLoadedModule m("Pkg_Nada", dir); });
  EXPECT_NE(missing.find("not found"), std::string::npos) << missing;
  EXPECT_NE(missing.find((dir / "libPkg_Nada.so").string()), std::string::npos) << missing;

  std::ofstream(dir / "libPkg_Texto.so") << "not a library";
  std::string garbage = ErrorOf([&] { TLoadedModule m("Pkg_Texto", dir); });
  EXPECT_NE(garbage.find("cannot load module"), std::string::npos) << garbage;

  // A real library that is not a module: the host library itself has no package descriptor.
  fs::path host = TLoadedModule::HostLibraryDir() / "libgerhost.so";
  std::string foreign = ErrorOf([&] { TLoadedModule m(host.string(), dir); });
  EXPECT_NE(foreign.find("does not export 'GetPackageInfoTable'"), std::string::npos) << foreign;

  TLoadedModule module("Pkg_Ger00200");
  EXPECT_NE(ErrorOf([&] { module.Call("CriaNada"); }).find("no entry point 'CriaNada'"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { module.GlobalText("boNada"); }).find("no exported global 'boNada'"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { module.Symbol("TfrmEmpresa"); }).find("does not export 'TfrmEmpresa'"),
            std::string::npos);
  fs::remove_all(dir);
}

TEST_F(ModuleLoader, DescriptorListsRequiredPackagesUnitsEntriesAndGlobalsInOrder) {
  TLoadedModule module("Pkg_Ger00200");
  EXPECT_EQ(module.File(), TLoadedModule::HostLibraryDir() / "libPkg_Ger00200.so");
  const PackageInfo& info = module.Info();
  EXPECT_STREQ(info.name, "Pkg_Ger00200");
  std::vector<std::string> required(info.required, info.required + info.requiredCount);
  EXPECT_EQ(required, (std::vector<std::string>{"_zem", "_rtl", "_qr", "_lib", "_ger", "_frm",
                                                "_db", "_vcl"}));
  std::vector<std::string> units(info.units, info.units + info.unitCount);
  EXPECT_EQ(units, (std::vector<std::string>{"Pkg_Ger00200", "Ger00202", "Ger00200", "Ger00201"}));
  for (const char* entry : {"IniProc", "CriaEmpresa", "CriaRelEmpresa", "CriaObservacao"}) {
    ASSERT_NE(module.FindEntry(entry), nullptr) << entry;
    EXPECT_TRUE(module.HasSymbol(entry)) << entry;
  }
  EXPECT_EQ(module.FindEntry("CriaObservacao")->kind, EntryKind::BooleanFunction);
  for (std::size_t i = 0; i < info.globalCount; ++i)
    EXPECT_TRUE(module.HasSymbol(info.globals[i].name)) << info.globals[i].name;
  EXPECT_EQ(info.globalCount, 9u);
}

TEST_F(ModuleLoader, UnitSectionsRunOnceHoweverOftenAskedAndShutDownReleasesTheStrings) {
  TLoadedModule module("Pkg_Ger00200");
  auto initialize = reinterpret_cast<InitializeProc>(module.Symbol("Initialize"));
  auto finalize = reinterpret_cast<FinalizeProc>(module.Symbol("Finalize"));
  EXPECT_EQ(module.GlobalText("boStCriado"), "false");
  EXPECT_EQ(module.GlobalText("boIdCriado"), "false");
  EXPECT_EQ(module.GlobalText("frmEmpresa"), "nil");

  module.Global<bool>("boStCriado") = true;
  module.Global<std::string>("stTempCpf") = "123.456.789-09";
  module.Global<std::string>("stRegimeAnt") = "S";
  initialize();  // a second start-up request: the sections do not run again
  EXPECT_EQ(module.GlobalText("boStCriado"), "true");
  finalize();  // balances the extra request: no shut-down yet
  EXPECT_EQ(module.GlobalText("stTempCpf"), "123.456.789-09");
  finalize();  // the last one: the unit releases its strings
  EXPECT_EQ(module.GlobalText("stTempCpf"), "");
  EXPECT_EQ(module.GlobalText("stRegimeAnt"), "");
  finalize();    // more shut-downs than start-ups change nothing
  initialize();  // a fresh start-up runs the sections again
  EXPECT_EQ(module.GlobalText("boStCriado"), "false");
}

TEST_F(ModuleLoader, ModuleRegistersWhileLoadedAndLeavesTheListOnUnload) {
  auto registered = [] {
    for (const RegisteredModule& m : RegisteredModules())
      if (m.name == "Pkg_Ger00200") return std::optional<RegisteredModule>(m);
    return std::optional<RegisteredModule>();
  };
  {
    EnvGuard all("LC_ALL", "C");
    TLoadedModule module("Pkg_Ger00200");
    auto entry = registered();
    ASSERT_TRUE(entry);
    EXPECT_EQ(fs::canonical(entry->file), fs::canonical(module.File()));
    EXPECT_EQ(entry->resourceFile, entry->file);  // no satellite: its own file
    module.Unload();
    EXPECT_FALSE(module.Loaded());
    EXPECT_FALSE(registered());
    EXPECT_NE(ErrorOf([&] { module.Symbol("IniProc"); }).find("is not loaded"), std::string::npos);
  }
  EXPECT_FALSE(registered());
}

TEST_F(ModuleLoader, SatelliteResourceIsFoundForTheUsersLanguage) {
  fs::path dir = TempFolder("satellite");
  fs::path module = dir / "libPkg_X.so";
  std::ofstream(module) << "module";
  EnvGuard all("LC_ALL", nullptr);
  EnvGuard messages("LC_MESSAGES", nullptr);
  {
    EnvGuard lang("LANG", "pt_BR.UTF-8");
    EXPECT_EQ(FindSatelliteResource(module), fs::path());
    std::ofstream(dir / "libPkg_X.so.pt") << "generic";
    EXPECT_EQ(FindSatelliteResource(module), dir / "libPkg_X.so.pt");
    std::ofstream(dir / "libPkg_X.so.pt_BR") << "specific";
    EXPECT_EQ(FindSatelliteResource(module), dir / "libPkg_X.so.pt_BR");
  }
  {
    EnvGuard lang("LANG", "C.UTF-8");
    EXPECT_EQ(FindSatelliteResource(module), fs::path());
  }
  {
    EnvGuard lang("LANG", "en_US.UTF-8");
    EnvGuard first("LC_ALL", "pt_PT.UTF-8");  // LC_ALL wins over LANG
    EXPECT_EQ(FindSatelliteResource(module), dir / "libPkg_X.so.pt");
  }
  fs::remove_all(dir);
}

TEST_F(ModuleLoader, ModalCreatorRunsItsLoopAndTheNextCallMakesANewForm) {
  TLoadedModule module("Pkg_Ger00200");
  Application().ModalActions.push_back([&](TForm& form) {
    EXPECT_EQ(form.Name(), "frmRelEmpresa");
    EXPECT_EQ(module.GlobalText("frmRelEmpresa"), "frmRelEmpresa");
    // Unloading while the module's form runs its modal loop is refused, not a crash.
    EXPECT_NE(ErrorOf([&] { module.Unload(); }).find("while a gesture runs"), std::string::npos);
    form.Close();
  });
  EXPECT_EQ(module.Call("CriaRelEmpresa"), "");
  EXPECT_TRUE(module.Loaded());
  EXPECT_EQ(Application().FindForm("frmRelEmpresa"), nullptr);
  EXPECT_EQ(module.GlobalText("frmRelEmpresa"), "nil");

  bool secondOpened = false;
  Application().ModalActions.push_back([&](TForm& form) {
    secondOpened = true;
    form.Close();
  });
  module.Call("CriaRelEmpresa");
  EXPECT_TRUE(secondOpened);
}
