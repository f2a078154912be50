#include "core/constants.h"

#include <cmath>

#include <gtest/gtest.h>

namespace ephemeris {
namespace {

TEST(Constants, ObliquitySineAndCosineAreThoseOfTheDerivedAngle) {
  EXPECT_EQ(kObliquityJ2000Rad, 0.40909280422232897);
  EXPECT_EQ(kCosObliquityJ2000, std::cos(kObliquityJ2000Rad));
  // The sine literal sits one ulp below libm's (correctly rounded) value.
  EXPECT_EQ(kSinObliquityJ2000, std::nextafter(std::sin(kObliquityJ2000Rad), 0.0));
}

}  // namespace
}  // namespace ephemeris
