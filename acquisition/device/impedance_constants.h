#pragma once
// The impedance estimate's constants, shared by the engine that estimates
// impedances and the emulator that must produce the values it is told to:
// value = amplitude × kPerAmplitude − kOffset, where amplitude is
// kAmplitudeFactor times the component's magnitude.

namespace impedance {
inline constexpr double kAmplitudeFactor = 0.024835271617008;
inline constexpr double kPerAmplitude = 0.1098;
inline constexpr double kOffset = 11.1671;
}  // namespace impedance
