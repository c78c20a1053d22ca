// The table of the controller's 24 equation forms: for each form, which
// gain it uses, what its proportional and derivative terms act on, whether
// I divides or multiplies, and whether the gain scales all three terms.
// The controller computes with it; tuning suggestions are converted with it,
// so both always read the same form the same way.
#pragma once

namespace qx {

// One row of the equation table.
struct EquationForm {
  bool bandGain;      // Kpb = 100 / (EffectiveP + 0.0001) instead of K
  bool pOnPV;         // proportional on dPV instead of dE
  bool dOnPV;         // derivative on ddPV instead of ddE
  bool integralRate;  // e T I instead of e T / I
  bool gainOnAll;     // gain multiplies the integral and derivative terms too
};

inline constexpr int kEquationFormCount = 24;

//                                                   Kpb    P:PV   D:PV   x I    all
inline constexpr EquationForm kForms[kEquationFormCount] = {
    {false, false, false, false, true},   // 1  A0
    {false, false, true, false, true},    // 2  B0
    {false, true, true, false, true},     // 3  C0
    {true, false, false, false, true},    // 4  A1
    {true, false, true, false, true},     // 5  B1
    {true, true, true, false, true},      // 6  C1
    {false, false, false, true, true},    // 7  A2
    {false, false, true, true, true},     // 8  B2
    {false, true, true, true, true},      // 9  C2
    {true, false, false, true, true},     // 10 A3
    {true, false, true, true, true},      // 11 B3
    {true, true, true, true, true},       // 12 C3
    {false, false, false, false, false},  // 13 A4
    {false, false, true, false, false},   // 14 B4
    {false, true, true, false, false},    // 15 C4
    {false, false, false, true, false},   // 16 A5
    {false, false, true, true, false},    // 17 B5
    {false, true, true, true, false},     // 18 C5
    {true, false, false, false, false},   // 19 A6
    {true, false, true, false, false},    // 20 B6
    {true, true, true, false, false},     // 21 C6
    {true, false, false, true, false},    // 22 A7
    {true, false, true, true, false},     // 23 B7
    {true, true, true, true, false}};     // 24 C7

// True for the equation numbers 1..24 that have a form.
constexpr bool IsEquationForm(int equation) {
  return equation >= 1 && equation <= kEquationFormCount;
}

// The form of equation number 1..24; callers check IsEquationForm first.
constexpr const EquationForm& FormOf(int equation) { return kForms[equation - 1]; }

}  // namespace qx
