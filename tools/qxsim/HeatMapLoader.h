// Draws a sweep's heat map through the heat-map module (heatmap/
// HeatMapModule.h), loaded at the first map and kept for the process.
#pragma once

#include <string>

#include "sweep/SweepMap.h"

namespace qx {

// As WriteHeatMapPng: false with a message when the module cannot be
// loaded (naming it and the loader's reason) or the map cannot be drawn.
bool DrawHeatMapPng(const sweep::HeatMap& map, const std::string& title, const std::string& subtitle,
                    const std::string& path, std::string& error);

}  // namespace qx
