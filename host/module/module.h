#pragma once
// The host's module loader and the runtime's module list.
//
// TLoadedModule finds a module by name in the host's library folder (lib<NAME>.so beside
// libgerhost), loads it with dlopen, reads its descriptor and runs its Initialize; entry points
// and exported globals are then reached by name. Unloading destroys the forms whose classes live
// in the module (their code goes away with it), runs Finalize and closes the library.
//
// Failures raise EModuleError with an English sentence for operators, naming the file or symbol.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "module/module_export.h"

namespace ger {

class EModuleError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The runtime's module list: every loaded module registers itself while it is loaded, with the
// file its resources come from (a satellite resource module, or its own file).
struct RegisteredModule {
  std::string name;
  std::filesystem::path file;
  std::filesystem::path resourceFile;
};
void RegisterModule(RegisteredModule module);
void UnregisterModule(std::string_view name);
std::vector<RegisteredModule> RegisteredModules();

// The satellite resource module of a module file: "<file>.<LANG>" for the user's language, most
// specific first ("pt_BR", then "pt"), taken from LC_ALL, LC_MESSAGES or LANG. Empty when there
// is none.
std::filesystem::path FindSatelliteResource(const std::filesystem::path& moduleFile);

class TLoadedModule {
 public:
  // The folder of the host's libraries (where libgerhost.so lies).
  static std::filesystem::path HostLibraryDir();
  // The file of a module: a path is taken as it is; a bare name becomes lib<NAME>.so in dir.
  static std::filesystem::path FileFor(std::string_view name, const std::filesystem::path& dir);

  explicit TLoadedModule(std::string_view name,
                         const std::filesystem::path& dir = HostLibraryDir());
  ~TLoadedModule();
  TLoadedModule(const TLoadedModule&) = delete;
  TLoadedModule& operator=(const TLoadedModule&) = delete;

  const std::filesystem::path& File() const { return file_; }
  const PackageInfo& Info() const { return *info_; }
  bool Loaded() const { return handle_ != nullptr; }

  bool HasSymbol(std::string_view name) const;
  // The address of an exported name; EModuleError when the module does not export it.
  void* Symbol(std::string_view name) const;

  // Calls an entry point listed in the descriptor; its result as text ("true"/"false" for a
  // Boolean function, "" for a procedure).
  std::string Call(std::string_view entry) const;
  const ModuleEntry* FindEntry(std::string_view entry) const;

  // An exported global listed in the descriptor, as text: "true"/"false", the string itself, or
  // for a form the form's name ("nil" when the global holds no live form).
  std::string GlobalText(std::string_view name) const;
  const ModuleGlobal* FindGlobal(std::string_view name) const;
  template <class T>
  T& Global(std::string_view name) const {
    return *static_cast<T*>(Symbol(name));
  }

  // Destroys the module's forms, runs Finalize and closes the library (also done by the
  // destructor). Refused (EModuleError) while a gesture or modal loop runs.
  void Unload();

 private:
  std::filesystem::path file_;
  void* handle_ = nullptr;
  const PackageInfo* info_ = nullptr;
};

}  // namespace ger
