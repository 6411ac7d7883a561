#include "Commonfunc.h"

#include <cmath>
#include <string>

// Each step rounds exactly where the grid's reference arithmetic rounds: the
// long double temporaries are 80-bit extended, the casts to double are the
// roundings the reference makes. Reordering an expression here moves tiles
// across grid lines, so the order of every product is deliberate.

namespace {

// The double value of pi, widened; not the extended-precision pi.
constexpr long double kPi = 3.141592653589793;
// Mantissa 0xB60B60B60B60B60B times 2^-72: slightly below 1/360.
constexpr long double kOneOver360 = 1.0L / 360.0L;
constexpr long double kOneOver180 = 2 * kOneOver360;

// 2^z as the 32-bit integer 1 << (z mod 32), then as a floating-point number.
long double Scale(uint8_t zoom) {
  return static_cast<long double>(static_cast<int32_t>(uint32_t{1} << (zoom % 32)));
}

int32_t TruncateToInt32(long double value, const char* what) {
  if (!std::isfinite(value) || value <= -2147483649.0L || value >= 2147483648.0L)
    throw GridConversionError(std::string(what) + " is outside the tile grid's 32-bit range");
  return static_cast<int32_t>(value);
}

}  // namespace

int32_t LongitudeToColumn(double longitude, uint8_t zoom) {
  const long double a = static_cast<long double>(longitude) + 180.0L;
  const long double b = a * kOneOver360;
  return TruncateToInt32(b * Scale(zoom), "Column");
}

int32_t LatitudeToRow(double latitude, uint8_t zoom, RowOrigin origin) {
  if (origin == RowOrigin::FromTop) {
    const double phi = static_cast<double>(kPi * latitude * kOneOver180);
    const long double s = sinl(phi);
    const double q = static_cast<double>((1.0L + s) / (1.0L - s));
    const double m = static_cast<double>(0.5L * logl(q));
    return TruncateToInt32((1.0L - m / kPi) * 0.5L * Scale(zoom), "Row");
  }
  const double t = static_cast<double>(kPi * 0.25L + latitude * kOneOver180 * kPi * 0.5L);
  const double u = static_cast<double>(tanl(t));
  const long double m = logl(u);
  return TruncateToInt32((m / kPi + 1.0L) * 0.5L * Scale(zoom), "Row");
}

long double ColumnToLongitude(double gridLine, uint8_t zoom) {
  return 360.0L * gridLine / Scale(zoom) - 180.0L;
}

double RowToLatitude(double gridLine, uint8_t zoom, RowOrigin origin) {
  if (origin == RowOrigin::FromTop) {
    const double t = static_cast<double>(2.0L * kPi - 4.0L * kPi * gridLine / Scale(zoom));
    const double p = static_cast<double>(expl(t));
    const double q = static_cast<double>((p - 1.0L) / (p + 1.0L));
    return static_cast<double>(asinl(q) * 180.0L / kPi);
  }
  const double t = static_cast<double>(kPi * (2.0L * gridLine / Scale(zoom) - 1.0L));
  const double p = static_cast<double>(expl(t));
  return static_cast<double>(atanl(p) * 360.0L / kPi - 90.0L);
}
