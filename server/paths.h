#pragma once
// Where the programs find what ships with them, relative to their own file: the installed layout
// (bin/, lib/ger/, share/ger/data/), which the build folder repeats (build/<preset>/share/ger/data
// is a link to the sources' data folder), so the same rule serves both.
#include <filesystem>
#include <system_error>

namespace ger::server {

// The folder of the running program.
inline std::filesystem::path ProgramDir() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path() : exe.parent_path();
}

// The reference CSV files.
inline std::filesystem::path ReferenceDataDir() {
  return (ProgramDir() / ".." / "share" / "ger" / "data").lexically_normal();
}

}  // namespace ger::server
