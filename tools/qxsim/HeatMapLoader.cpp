#include "tools/qxsim/HeatMapLoader.h"

#include <dlfcn.h>

#include "heatmap/HeatMapModule.h"
#include "persistence/ConfigurationFile.h"

namespace qx {
namespace {

// The module's path: from the running program's folder, in the install
// layout's relative place.
std::string HeatMapModulePath() {
  return ProgramFolder() + "/" + QX_HEATMAP_MODULE_FROM_BINDIR + "/" + kHeatMapModuleFile;
}

// The loader's last error, or `fallback` when it has none.
std::string LoaderError(const std::string& fallback) {
  const char* reason = dlerror();
  return reason ? reason : fallback;
}

// The module's entry, loaded once. The module stays loaded: cairo keeps
// its font caches until the process ends.
HeatMapEntry LoadEntry(std::string& error) {
  static HeatMapEntry entry = nullptr;
  if (entry) return entry;
  const std::string path = HeatMapModulePath();
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    error = "cannot load the map drawing module: " + LoaderError(path);
    return nullptr;
  }
  void* symbol = dlsym(module, kHeatMapEntryName);
  if (!symbol) {
    error = "the map drawing module '" + path + "' has no " + kHeatMapEntryName + ": " +
            LoaderError("not found");
    dlclose(module);
    return nullptr;
  }
  entry = reinterpret_cast<HeatMapEntry>(symbol);
  return entry;
}

}  // namespace

bool DrawHeatMapPng(const sweep::HeatMap& map, const std::string& title, const std::string& subtitle,
                    const std::string& path, std::string& error) {
  const HeatMapEntry draw = LoadEntry(error);
  return draw && draw(map, title, subtitle, path, error);
}

}  // namespace qx
