// The texts of every diagnostic the system can raise.
#include <array>

#include "runtime/diagnostics.h"

namespace scenreg {
namespace {

constexpr DiagnosticCode Severe(int number) {
  return MakeDiagnosticCode(kSevere, number);
}

constexpr std::array kCatalogue = {
    CatalogueEntry{Severe(9), "permission to access file denied, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(10), "cannot overwrite existing file, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(22), "input record too long, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(24), "end-of-file during read, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(28), "CLOSE error, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(29), "file not found, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(30), "open failure, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(31), "file changed by another program, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(38), "error during write, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(39), "error during read, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(41), "insufficient virtual memory\r\n"},
    CatalogueEntry{Severe(42), "no such device, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(43), "file name specification error, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(47), "write to READONLY file, unit %d, file %s\r\n"},
    // Output conversion is reported at severity error: shown, not ending.
    CatalogueEntry{MakeDiagnosticCode(kError, 63), "output conversion error, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(64), "input conversion error, unit %d, file %s\r\n"},
    CatalogueEntry{Severe(66), "output statement overflows record, unit %d, file %s\r\n"},
    CatalogueEntry{MakeDiagnosticCode(kError, 200), "program aborting due to %s event\r\n"},
    CatalogueEntry{Severe(201),
                   "Intel Pentium fdiv flaw detected, please update the processor\r\n"},
    CatalogueEntry{Severe(157), "Program Exception - access violation\r\n"},
    CatalogueEntry{Severe(158), "Program Exception - datatype misalignment\r\n"},
    CatalogueEntry{Severe(159), "Program Exception - array bounds exceeded\r\n"},
    CatalogueEntry{Severe(160), "Program Exception - floating point denormal operand\r\n"},
    CatalogueEntry{Severe(161), "Program Exception - floating point divide by zero\r\n"},
    CatalogueEntry{Severe(162), "Program Exception - floating point inexact result\r\n"},
    CatalogueEntry{Severe(163), "Program Exception - floating point invalid operation\r\n"},
    CatalogueEntry{Severe(164), "Program Exception - floating point overflow\r\n"},
    CatalogueEntry{Severe(165), "Program Exception - floating point stack check\r\n"},
    CatalogueEntry{Severe(166), "Program Exception - floating point underflow\r\n"},
    CatalogueEntry{Severe(167), "Program Exception - integer divide by zero\r\n"},
    CatalogueEntry{Severe(168), "Program Exception - integer overflow\r\n"},
    CatalogueEntry{Severe(169), "Program Exception - illegal instruction\r\n"},
    CatalogueEntry{Severe(170), "Program Exception - stack overflow\r\n"},
    CatalogueEntry{Severe(171), "Program Exception - invalid disposition\r\n"},
    CatalogueEntry{Severe(172), "Program Exception - exception code = 0x%lx (%ld)\r\n"},
};

}  // namespace

std::span<const CatalogueEntry> MessageCatalogue() {
  return kCatalogue;
}

}  // namespace scenreg
