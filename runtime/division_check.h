// The arithmetic of the processor division check.
#pragma once

namespace scenreg {

// dividend - (dividend / divisor) * divisor in the processor's double
// precision: 0 for the check's values on a processor that divides correctly.
double DivisionRemainder(double dividend, double divisor);

}  // namespace scenreg
