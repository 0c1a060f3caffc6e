// Processor exceptions as run-time diagnostics: which catalogue message
// names an exception code, and which standard signal a program would have
// caught it with.
#pragma once

#include <cstdint>

#include "runtime/diagnostics.h"

namespace scenreg {

// The system's exception codes; the values are the same on every Windows.
enum ProcessorException : std::uint32_t {
  kAccessViolation = 0xC0000005,
  kDatatypeMisalignment = 0x80000002,
  kArrayBoundsExceeded = 0xC000008C,
  kFloatDenormalOperand = 0xC000008D,
  kFloatDivideByZero = 0xC000008E,
  kFloatInexactResult = 0xC000008F,
  kFloatInvalidOperation = 0xC0000090,
  kFloatOverflow = 0xC0000091,
  kFloatStackCheck = 0xC0000092,
  kFloatUnderflow = 0xC0000093,
  kIntegerDivideByZero = 0xC0000094,
  kIntegerOverflow = 0xC0000095,
  kIllegalInstruction = 0xC000001D,
  kPrivilegedInstruction = 0xC0000096,
  kStackOverflow = 0xC00000FD,
  kInvalidDisposition = 0xC0000026,
  // SSE floating-point exceptions; the status register tells which one.
  kFloatMultipleFaults = 0xC00002B4,
  kFloatMultipleTraps = 0xC00002B5,
};

// The severe diagnostic that names the exception: 157 to 171, or 172 for
// any other code. sse_status is the SSE control and status register at the
// fault, used for the SSE floating-point codes.
DiagnosticCode DiagnosticForException(std::uint32_t exception_code, std::uint32_t sse_status = 0);

// The arguments of message 172: the code in hex and as a signed number.
// The other messages have no placeholders and ignore them.
struct ExceptionArgs {
  DiagnosticArg args[2];
};
ExceptionArgs ArgumentsForException(std::uint32_t exception_code);

// The standard signal (SIGSEGV, SIGILL, SIGFPE) a program would catch the
// exception with, or 0 when there is none.
int SignalForException(std::uint32_t exception_code);

}  // namespace scenreg
