// Draws a sweep's heat map into a PNG file with cairo: the cells in the
// ramp's colours, unstable points grey with a cross, points not run left
// white, the case's own setting as a ringed dot, both axes labelled and a
// colour scale.
#pragma once

#include <string>

#include "sweep/SweepMap.h"

namespace qx {

// `title` heads the picture, `subtitle` (the run's settings) goes under it
// in smaller type. False with a message naming the file when it cannot be
// drawn or written.
bool WriteHeatMapPng(const sweep::HeatMap& map, const std::string& title, const std::string& subtitle,
                     const std::string& path, std::string& error);

}  // namespace qx
