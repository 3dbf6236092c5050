#pragma once
// What a loadable module and the host's module loader agree on: how the module marks the names
// it exports, and the descriptor it hands the loader (GetPackageInfoTable). The module is built
// with hidden visibility, so only names marked GER_MODULE_EXPORT leave it.
#include <cstddef>

#define GER_MODULE_EXPORT __attribute__((visibility("default")))

namespace ger {

// How the loader calls an entry point and reads its result.
enum class EntryKind : int { Procedure, BooleanFunction };
struct ModuleEntry {
  const char* name;
  EntryKind kind;
};

// How the loader reads an exported global.
enum class GlobalKind : int {
  Boolean,  // bool
  String,   // std::string
  Form,     // pointer to a form (TForm or derived)
};
struct ModuleGlobal {
  const char* name;
  GlobalKind kind;
};

// The package descriptor: the host packages the module requires, the units it contains (in the
// order their start-up sections run), its entry points and its exported globals.
struct PackageInfo {
  const char* name;
  const char* const* required;
  std::size_t requiredCount;
  const char* const* units;
  std::size_t unitCount;
  const ModuleEntry* entries;
  std::size_t entryCount;
  const ModuleGlobal* globals;
  std::size_t globalCount;
};

// Signatures of the bookkeeping entry points every module exports.
using GetPackageInfoTableProc = const PackageInfo* (*)();
using InitializeProc = void (*)();
using FinalizeProc = void (*)();

}  // namespace ger
