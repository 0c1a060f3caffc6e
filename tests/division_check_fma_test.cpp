// The division check's arithmetic compiled for a processor with fused
// multiply-add (this target is built with -mfma): a correct processor must
// still give the remainder 0.
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/division_check.h"

namespace scenreg {
namespace {

TEST(DivisionCheck, NoFlawReportedWhenBuiltWithFusedMultiplyAdd) {
  if (!__builtin_cpu_supports("fma")) GTEST_SKIP() << "this processor has no FMA";
  volatile double dividend = 4195835.0;
  volatile double divisor = 3145727.0;
  EXPECT_EQ(DivisionRemainder(dividend, divisor), 0.0);
  // What a contracted remainder would be: not 0, so the check above can fail.
  const double quotient = dividend / divisor;
  EXPECT_NE(-std::fma(quotient, divisor, -dividend), 0.0);
}

}  // namespace
}  // namespace scenreg
