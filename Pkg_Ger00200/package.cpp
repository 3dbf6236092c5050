// Loading and unloading the library: the module finds its satellite resource module (a file
// beside it named after it plus the user's language) and registers itself with the host's module
// list; on unload it unregisters and releases the satellite.
#include <dlfcn.h>

#include <filesystem>

#include "module/module.h"

namespace ger {
namespace {

class PackageRegistration {
 public:
  PackageRegistration() {
    Dl_info info{};
    std::filesystem::path self;
    if (dladdr(reinterpret_cast<void*>(&Anchor), &info) != 0 && info.dli_fname)
      self = info.dli_fname;
    std::filesystem::path resources = self;
    if (auto satellite = FindSatelliteResource(self); !satellite.empty()) {
      // A satellite that cannot be loaded is passed over: the module's own resources serve.
      satellite_ = dlopen(satellite.c_str(), RTLD_LAZY | RTLD_LOCAL);
      if (satellite_) resources = satellite;
    }
    RegisterModule({"Pkg_Ger00200", self, resources});
  }
  ~PackageRegistration() {
    UnregisterModule("Pkg_Ger00200");
    if (satellite_) dlclose(satellite_);
  }
  PackageRegistration(const PackageRegistration&) = delete;
  PackageRegistration& operator=(const PackageRegistration&) = delete;

 private:
  static void Anchor() {}
  void* satellite_ = nullptr;
};

const PackageRegistration gRegistration;

}  // namespace
}  // namespace ger
