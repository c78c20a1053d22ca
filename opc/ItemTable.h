// The 33 OPC items of the simulator, by position. The position is the index
// into ItemHandles and what the toolkit hands back to the write hook.
#pragma once

#include <array>
#include <string_view>

namespace qx {

inline constexpr std::size_t kItemCount = 33;

inline constexpr std::array<std::string_view, kItemCount> kItemNames = {
    "QX_S.PV",          "QX_S.SP",     "QX_S.OP",     "QX_S.MODE",       "QX_S.K",
    "QX_S.T1",          "QX_S.T2",     "QX_S.PVEUHI", "QX_S.PVEULO",     "QX_C.PV",
    "QX_C.SP",          "QX_C.OP",     "QX_C.MODE",   "QX_C.K",          "QX_C.T1",
    "QX_C.T2",          "QX_C.PVEUHI", "QX_C.PVEULO", "DUMMYTAG.PV",     "QX_S.CO",
    "QX_S.KP",          "QX_S.KI",     "QX_S.KD",     "QX_S.KD_Lag",     "QX_S.SP.DISPLAY_LIM_HIGH_N",
    "QX_S.SP.DISPLAY_LIM_LOW_N",       "QX_S.SO",     "QX_S.CASCADE",    "QX_S.QMAN_AUT",
    "QX_S.QSPEXTON",    "QX_S.AUTO_SD_BYPASS",        "QX_S.PROP",       "QX_S.INTG",
};

// Positions that a client write acts on.
inline constexpr std::size_t kItemProp = 31;  // SingleLoop.P
inline constexpr std::size_t kItemIntg = 32;  // SingleLoop.I

}  // namespace qx
