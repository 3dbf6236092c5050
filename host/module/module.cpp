#include "module/module.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "ui/forms.h"

namespace fs = std::filesystem;

namespace ger {

namespace {

std::mutex gListMutex;
std::vector<RegisteredModule>& List() {
  static std::vector<RegisteredModule> list;
  return list;
}

// The language part of a locale name: "pt_BR.UTF-8@euro" -> "pt_BR".
std::string LanguageOf(std::string locale) {
  auto cut = locale.find_first_of(".@");
  if (cut != std::string::npos) locale.resize(cut);
  return locale;
}

std::string Quoted(const fs::path& p) {
  return "'" + p.string() + "'";
}

}  // namespace

void RegisterModule(RegisteredModule module) {
  std::lock_guard lock(gListMutex);
  auto& list = List();
  std::erase_if(list, [&](const RegisteredModule& m) { return m.name == module.name; });
  list.push_back(std::move(module));
}

void UnregisterModule(std::string_view name) {
  std::lock_guard lock(gListMutex);
  std::erase_if(List(), [&](const RegisteredModule& m) { return m.name == name; });
}

std::vector<RegisteredModule> RegisteredModules() {
  std::lock_guard lock(gListMutex);
  return List();
}

fs::path FindSatelliteResource(const fs::path& moduleFile) {
  std::string locale;
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    if (const char* v = std::getenv(var); v && *v) {
      locale = v;
      break;
    }
  }
  std::string lang = LanguageOf(locale);
  if (lang.empty() || lang == "C" || lang == "POSIX") return {};
  std::vector<std::string> candidates{lang};
  if (auto underscore = lang.find('_'); underscore != std::string::npos)
    candidates.push_back(lang.substr(0, underscore));
  for (const auto& c : candidates) {
    fs::path p = moduleFile;
    p += "." + c;
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) return p;
  }
  return {};
}

fs::path TLoadedModule::HostLibraryDir() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&TLoadedModule::HostLibraryDir), &info) == 0 ||
      !info.dli_fname)
    throw EModuleError("cannot tell where the host library was loaded from");
  std::error_code ec;
  fs::path lib = fs::canonical(info.dli_fname, ec);
  return (ec ? fs::path(info.dli_fname) : lib).parent_path();
}

fs::path TLoadedModule::FileFor(std::string_view name, const fs::path& dir) {
  if (name.empty()) throw EModuleError("no module name given");
  fs::path p(name);
  if (name.find('/') != std::string_view::npos || p.extension() == ".so") return p;
  return dir / ("lib" + std::string(name) + ".so");
}

TLoadedModule::TLoadedModule(std::string_view name, const fs::path& dir)
    : file_(FileFor(name, dir)) {
  std::error_code ec;
  if (!fs::is_regular_file(file_, ec))
    throw EModuleError("module " + Quoted(file_) + " not found (looked for module '" +
                       std::string(name) + "' in " + Quoted(dir) + ")");
  dlerror();
  handle_ = dlopen(file_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = dlerror();
    throw EModuleError("cannot load module " + Quoted(file_) + ": " +
                       (why ? why : "unknown error"));
  }
  try {
    auto getInfo = reinterpret_cast<GetPackageInfoTableProc>(Symbol("GetPackageInfoTable"));
    auto initialize = reinterpret_cast<InitializeProc>(Symbol("Initialize"));
    Symbol("Finalize");
    info_ = getInfo();
    if (!info_) throw EModuleError("module " + Quoted(file_) + " gave no package descriptor");
    initialize();
  } catch (...) {
    dlclose(handle_);
    handle_ = nullptr;
    throw;
  }
}

TLoadedModule::~TLoadedModule() {
  try {
    Unload();
  } catch (const EModuleError&) {
    // Unloading inside a gesture would pull the code from under a running form; keep the module
    // mapped instead (a leak, never a crash).
  }
}

bool TLoadedModule::HasSymbol(std::string_view name) const {
  if (!handle_) return false;
  return dlsym(handle_, std::string(name).c_str()) != nullptr;
}

void* TLoadedModule::Symbol(std::string_view name) const {
  if (!handle_) throw EModuleError("module " + Quoted(file_) + " is not loaded");
  void* address = dlsym(handle_, std::string(name).c_str());
  if (!address)
    throw EModuleError("module " + Quoted(file_) + " does not export '" + std::string(name) + "'");
  return address;
}

const ModuleEntry* TLoadedModule::FindEntry(std::string_view entry) const {
  if (!info_) return nullptr;
  for (std::size_t i = 0; i < info_->entryCount; ++i)
    if (entry == info_->entries[i].name) return &info_->entries[i];
  return nullptr;
}

const ModuleGlobal* TLoadedModule::FindGlobal(std::string_view name) const {
  if (!info_) return nullptr;
  for (std::size_t i = 0; i < info_->globalCount; ++i)
    if (name == info_->globals[i].name) return &info_->globals[i];
  return nullptr;
}

std::string TLoadedModule::Call(std::string_view entry) const {
  const ModuleEntry* e = FindEntry(entry);
  if (!e)
    throw EModuleError("module " + Quoted(file_) + " has no entry point '" + std::string(entry) +
                       "'");
  void* address = Symbol(entry);
  switch (e->kind) {
    case EntryKind::Procedure:
      reinterpret_cast<void (*)()>(address)();
      return "";
    case EntryKind::BooleanFunction:
      return reinterpret_cast<bool (*)()>(address)() ? "true" : "false";
  }
  return "";
}

std::string TLoadedModule::GlobalText(std::string_view name) const {
  const ModuleGlobal* g = FindGlobal(name);
  if (!g)
    throw EModuleError("module " + Quoted(file_) + " has no exported global '" + std::string(name) +
                       "'");
  void* address = Symbol(name);
  switch (g->kind) {
    case GlobalKind::Boolean:
      return *static_cast<bool*>(address) ? "true" : "false";
    case GlobalKind::String:
      return *static_cast<std::string*>(address);
    case GlobalKind::Form: {
      // The global may still point at a form that was closed and freed: compare the address with
      // the live forms before touching it.
      TForm* form = *static_cast<TForm**>(address);
      return form && Application().FormExists(form) ? form->Name() : "nil";
    }
  }
  return "";
}

void TLoadedModule::Unload() {
  if (!handle_) return;
  TApplication& app = Application();
  if (app.GestureDepth() > 0)
    throw EModuleError("module " + Quoted(file_) + " cannot be unloaded while a gesture runs");
  // The forms whose classes live in the module: their vtables sit in its code.
  Dl_info self{};
  if (dladdr(Symbol("GetPackageInfoTable"), &self) != 0) {
    for (TForm* form : app.Forms()) {
      Dl_info where{};
      void* vtable = *reinterpret_cast<void* const*>(form);
      if (dladdr(vtable, &where) != 0 && where.dli_fbase == self.dli_fbase) app.Release(form);
    }
    app.ProcessReleases();
  }
  reinterpret_cast<FinalizeProc>(Symbol("Finalize"))();
  dlclose(handle_);
  handle_ = nullptr;
  info_ = nullptr;
}

}  // namespace ger
