// The heat map is drawn by a module of its own, loaded only when a sweep
// draws a map: cairo and the libraries under it (fifteen on Debian) then
// cost every other qxsim command nothing at start-up and no memory.
// The module exports one function, WriteHeatMapPng's twin, by the name
// below; the loader (tools/qxsim/HeatMapLoader.h) looks it up.
#pragma once

#include <string>

#include "sweep/SweepMap.h"

namespace qx {

// The module's file name, in the folder QX_HEATMAP_MODULE_FROM_BINDIR
// (relative to the programs' folder; set by the build from the install
// layout, and the build tree keeps the same layout).
inline constexpr char kHeatMapModuleFile[] = "qxsim-heatmap.so";
inline constexpr char kHeatMapEntryName[] = "qx_write_heat_map_png";

// The entry's type: that of WriteHeatMapPng (heatmap/HeatMapPng.h).
using HeatMapEntry = bool (*)(const sweep::HeatMap& map, const std::string& title, const std::string& subtitle,
                              const std::string& path, std::string& error);

}  // namespace qx
