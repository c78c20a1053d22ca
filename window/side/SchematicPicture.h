#pragma once
// The block diagram of the simulated loop structure shown by the schematic
// window: cascade and slave loops, the disturbance paths with their noise
// sources, the measurement chains and the model-based (Smith) feedback.
#include <QSize>

class QPainter;

namespace qx {

// The picture's design size in pixels.
inline constexpr QSize SchematicPictureSize{747, 395};

// Paints the whole picture, background included, into the rectangle
// (0, 0) - SchematicPictureSize of `painter`.
void PaintControlSchematic(QPainter& painter);

}  // namespace qx
