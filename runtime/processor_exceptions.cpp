#include "runtime/processor_exceptions.h"

#include <csignal>

namespace scenreg {
namespace {

constexpr DiagnosticCode Severe(int number) {
  return MakeDiagnosticCode(kSevere, number);
}

constexpr int kOtherException = 172;

struct ExceptionMessage {
  std::uint32_t exception_code;
  int number;
};

constexpr ExceptionMessage kExceptionMessages[] = {
    {kAccessViolation, 157},       {kDatatypeMisalignment, 158}, {kArrayBoundsExceeded, 159},
    {kFloatDenormalOperand, 160},  {kFloatDivideByZero, 161},    {kFloatInexactResult, 162},
    {kFloatInvalidOperation, 163}, {kFloatOverflow, 164},        {kFloatStackCheck, 165},
    {kFloatUnderflow, 166},        {kIntegerDivideByZero, 167},  {kIntegerOverflow, 168},
    {kIllegalInstruction, 169},    {kStackOverflow, 170},        {kInvalidDisposition, 171},
};

// The SSE status register's exception flags (bits 0-5) and their masks
// (bits 7-12), in the order the processor checks them.
constexpr std::uint32_t kSseFlagExceptions[] = {
    kFloatInvalidOperation, kFloatDenormalOperand, kFloatDivideByZero,
    kFloatOverflow,         kFloatUnderflow,       kFloatInexactResult,
};

std::uint32_t SseException(std::uint32_t sse_status) {
  const std::uint32_t raised = sse_status & 0x3Fu;
  const std::uint32_t masked = (sse_status >> 7) & 0x3Fu;
  const std::uint32_t trapped = raised & ~masked;
  for (unsigned bit = 0; bit < 6; ++bit)
    if (trapped & (1u << bit)) return kSseFlagExceptions[bit];
  return 0;
}

}  // namespace

DiagnosticCode DiagnosticForException(std::uint32_t exception_code, std::uint32_t sse_status) {
  if (exception_code == kFloatMultipleFaults || exception_code == kFloatMultipleTraps) {
    if (const std::uint32_t named = SseException(sse_status)) exception_code = named;
  }
  for (const ExceptionMessage& message : kExceptionMessages)
    if (message.exception_code == exception_code) return Severe(message.number);
  return Severe(kOtherException);
}

ExceptionArgs ArgumentsForException(std::uint32_t exception_code) {
  return {
      {DiagnosticArg(exception_code), DiagnosticArg(static_cast<std::int32_t>(exception_code))}};
}

int SignalForException(std::uint32_t exception_code) {
  switch (exception_code) {
    case kAccessViolation:
      return SIGSEGV;
    case kIllegalInstruction:
    case kPrivilegedInstruction:
      return SIGILL;
    case kFloatDenormalOperand:
    case kFloatDivideByZero:
    case kFloatInexactResult:
    case kFloatInvalidOperation:
    case kFloatOverflow:
    case kFloatStackCheck:
    case kFloatUnderflow:
    case kFloatMultipleFaults:
    case kFloatMultipleTraps:
    case kIntegerDivideByZero:
    case kIntegerOverflow:
      return SIGFPE;
    default:
      return 0;
  }
}

}  // namespace scenreg
