// Texts that the toolkit-free layers (app/, ui/) hand to the window are
// English source strings. They are translated here, where they reach the
// screen, in one context, so that a translation file covers them as it covers
// the window's own tr() texts; a text without a translation (one that carries
// a file name, say) shows as it came. Paths and case titles do not pass here.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <string>
#include <string_view>

namespace qx {

inline QString AppText(std::string_view text) {
  const std::string source(text);
  return QCoreApplication::translate("qx::AppText", source.c_str());
}

}  // namespace qx
