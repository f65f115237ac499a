#include "platform/playback.h"

#include <cmath>

namespace plinka::platform {

namespace {

// 0..1, with anything outside taken as the nearer end and a value that is
// not a number as 0.
double clampUnit(double value) {
  if (!(value > 0)) {
    return 0;  // also NaN
  }
  return value < 1 ? value : 1;
}

}  // namespace

double linearFromCubic(double cubic) {
  const double c = clampUnit(cubic);
  return c * c * c;
}

double cubicFromLinear(double linear) { return std::cbrt(clampUnit(linear)); }

}  // namespace plinka::platform
