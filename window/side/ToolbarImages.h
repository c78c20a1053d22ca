#pragma once
// The pictures of the main window's tool bar and the application icon, drawn
// with QPainter so that they stay crisp at any device pixel ratio.
#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace qx {

// Number of tool-bar images; valid indexes are 0 .. ToolbarImageCount - 1:
// 0 blank page, 1 open folder, 2 disk, 3 information sign, 4 block diagram,
// 5 product logo, 6 door, 7 plug, 8 switch off, 9 switch on.
inline constexpr int ToolbarImageCount = 10;

// The tool-bar image `index` at 16x16 (with a 2x version); an empty icon for
// an index outside 0..9.
QIcon ToolbarImage(int index);

// The product logo at 16, 32, 48, 64 and 256 pixels.
QIcon ApplicationIcon();

// The product logo drawn into `size`: the loop mark alone when the size is
// about square, the mark followed by the maker's name when it is wide.
QPixmap ProductLogo(QSize size);

}  // namespace qx
