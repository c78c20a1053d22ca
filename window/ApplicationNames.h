// The application's names: the title its own general boxes are captioned
// with, and the names under which the desktop and QSettings know it.
#pragma once

#include <QString>

namespace qx {

// "Quorvanex OPC Server For Simulation (SLAVE)".
QString ApplicationTitle();

// Organisation, application and desktop-file names: QSettings keeps the
// window's settings under the first two, the desktop matches the window to
// its installed desktop entry by the third.
void SetApplicationNames();

}  // namespace qx
