// Numbered run-time diagnostics: codes, the message catalogue, the
// diagnostic line, and the report that shows it (and, when severe, ends the
// program). Formatting takes typed arguments only, so no text that is
// formatted, such as a file name holding "%s", can steer the formatting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace scenreg {

// Severity in bits 31-30, message number in bits 15-0.
using DiagnosticCode = std::uint32_t;

enum Severity : std::uint32_t { kSuccess = 0, kInfo = 1, kError = 2, kSevere = 3 };

constexpr DiagnosticCode MakeDiagnosticCode(Severity severity, int number) {
  return (static_cast<std::uint32_t>(severity) << 30) |
         (static_cast<std::uint32_t>(number) & 0xFFFFu);
}
constexpr Severity SeverityOf(DiagnosticCode code) {
  return static_cast<Severity>(code >> 30);
}
constexpr int MessageNumberOf(DiagnosticCode code) {
  return static_cast<std::int16_t>(code & 0xFFFFu);
}

// The run-time's fixed texts.
inline constexpr std::string_view kPrefixWord = "scenreg";
inline constexpr std::string_view kDiagnosticCaption = "scenreg Run-Time Error";
inline constexpr std::string_view kMessageNotFound = "Message not found\n";

// One argument of a message template: an integer or a text.
struct DiagnosticArg {
  enum Kind { kInteger, kText } kind;
  std::int64_t integer = 0;
  std::string_view text;

  DiagnosticArg(int value) : kind(kInteger), integer(value) {}
  DiagnosticArg(long value) : kind(kInteger), integer(value) {}
  DiagnosticArg(long long value) : kind(kInteger), integer(value) {}
  DiagnosticArg(unsigned value) : kind(kInteger), integer(value) {}
  DiagnosticArg(unsigned long value) : kind(kInteger), integer(static_cast<std::int64_t>(value)) {}
  DiagnosticArg(std::string_view value) : kind(kText), text(value) {}
  DiagnosticArg(const char* value) : kind(kText), text(value) {}
};

// A text built in storage the caller owns, without allocating: what does
// not fit is cut, length counts the whole text (so a sink without storage
// measures it), and the stored part is always NUL-terminated.
struct TextSink {
  char* data = nullptr;
  std::size_t capacity = 0;  // bytes of storage, the closing NUL included
  std::size_t length = 0;    // of the whole text, stored or cut
};
void AppendText(TextSink& sink, std::string_view text);

// The whole text that fill appends to a sink, as a string: measured first,
// then filled.
template <typename Fill>
std::string TextFrom(Fill fill) {
  TextSink measure;
  fill(measure);
  std::string text(measure.length, '\0');
  TextSink sink{text.data(), text.size() + 1};
  fill(sink);
  return text;
}

struct CatalogueEntry {
  DiagnosticCode code;
  std::string_view message_template;  // printf-style, ends with CR LF
};

// Every message that the system can raise.
std::span<const CatalogueEntry> MessageCatalogue();

// The catalogue text of the code, or kMessageNotFound.
std::string_view LookUpMessage(DiagnosticCode code);

// Fills the template's placeholders (%d %i %ld %lx %s %.*s %%) with the
// arguments in order. A placeholder without a fitting argument prints as it
// stands; a text argument is copied byte for byte.
std::string FormatMessageTemplate(std::string_view message_template,
                                  std::span<const DiagnosticArg> args);

// "prefix (number): text": the severity prefix, the message number and the
// formatted catalogue text. Without arguments the template is used unchanged.
std::string FormatDiagnosticLine(DiagnosticCode code, std::span<const DiagnosticArg> args);

// Where ReportDiagnostic gets its text buffer: zeroed memory of the size
// asked for, released with std::free, or nullptr when it cannot be had.
// Replaceable so that tests can refuse a request; returns the previous one.
using TextBufferSource = char* (*)(std::size_t size);
TextBufferSource ReplaceTextBufferSource(TextBufferSource source);

// Shows the diagnostic; for severity severe it ends the program with the code
// as the process status and does not return. Nothing here allocates but the
// text buffer: without the 16384-byte one the text gets a buffer of its
// exact size and no traceback, without that the text is the message number.
void ReportDiagnostic(DiagnosticCode code, std::span<const DiagnosticArg> args);
inline void ReportDiagnostic(DiagnosticCode code, std::initializer_list<DiagnosticArg> args) {
  ReportDiagnostic(code, std::span<const DiagnosticArg>(args.begin(), args.size()));
}

// Shows "prefix: <the system's text for the error number>", the box before
// the diagnostic following; a close while it shows ends with that code.
void ReportSystemErrorText(std::string_view prefix, std::uint32_t system_error,
                           DiagnosticCode following);

}  // namespace scenreg
