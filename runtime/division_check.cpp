#include "runtime/division_check.h"

namespace scenreg {

double DivisionRemainder(double dividend, double divisor) {
  // Each step is rounded on its own. Contracted into a fused multiply-add,
  // the product would keep its full precision, and the remainder would be
  // the quotient's rounding error instead of 0, on every processor.
  const volatile double quotient = dividend / divisor;
  const volatile double product = quotient * divisor;
  return dividend - product;
}

}  // namespace scenreg
