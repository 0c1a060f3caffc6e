#include "runtime/diagnostics.h"

#include <cinttypes>
#include <cstdio>

#include "runtime/diagnostic_display.h"
#include "runtime/shell_platform.h"

namespace scenreg {
namespace {

constexpr std::size_t kTextBufferSize = 16384;
constexpr std::size_t kMaxTemplateLength = 393;

// The prefix word, and for severities info to severe ": " and their word.
std::string SeverityPrefix(Severity severity) {
  constexpr std::string_view kSeverityWords[] = {"", "info", "error", "severe"};
  std::string prefix(kPrefixWord);
  if (severity != kSuccess) {
    prefix += ": ";
    prefix += kSeverityWords[severity];
  }
  return prefix;
}

void AppendInteger(std::string& out, std::int64_t value, bool hex) {
  char digits[32];
  if (hex)
    std::snprintf(digits, sizeof digits, "%" PRIx32, static_cast<std::uint32_t>(value));
  else
    std::snprintf(digits, sizeof digits, "%" PRId64, value);
  out += digits;
}

}  // namespace

std::string_view LookUpMessage(DiagnosticCode code) {
  for (const CatalogueEntry& entry : MessageCatalogue())
    if (entry.code == code) return entry.message_template.substr(0, kMaxTemplateLength);
  return kMessageNotFound;
}

std::string FormatMessageTemplate(std::string_view message_template,
                                  std::span<const DiagnosticArg> args) {
  std::string out;
  std::size_t next_arg = 0;
  auto take = [&](DiagnosticArg::Kind kind) -> const DiagnosticArg* {
    if (next_arg < args.size() && args[next_arg].kind == kind) return &args[next_arg++];
    return nullptr;
  };
  for (std::size_t i = 0; i < message_template.size();) {
    const std::string_view rest = message_template.substr(i);
    if (rest[0] != '%') {
      out += rest[0];
      ++i;
      continue;
    }
    if (rest.starts_with("%%")) {
      out += '%';
      i += 2;
      continue;
    }
    const DiagnosticArg* arg = nullptr;
    std::size_t length = 0;
    if (rest.starts_with("%d") || rest.starts_with("%i")) {
      length = 2;
      if ((arg = take(DiagnosticArg::kInteger))) AppendInteger(out, arg->integer, false);
    } else if (rest.starts_with("%ld")) {
      length = 3;
      if ((arg = take(DiagnosticArg::kInteger))) AppendInteger(out, arg->integer, false);
    } else if (rest.starts_with("%lx")) {
      length = 3;
      if ((arg = take(DiagnosticArg::kInteger))) AppendInteger(out, arg->integer, true);
    } else if (rest.starts_with("%s")) {
      length = 2;
      if ((arg = take(DiagnosticArg::kText))) out += arg->text;
    } else if (rest.starts_with("%.*s")) {
      length = 4;
      const std::size_t saved = next_arg;
      const DiagnosticArg* precision = take(DiagnosticArg::kInteger);
      arg = precision ? take(DiagnosticArg::kText) : nullptr;
      if (arg) {
        const std::int64_t limit = precision->integer < 0 ? 0 : precision->integer;
        out += arg->text.substr(0, static_cast<std::size_t>(limit));
      } else {
        next_arg = saved;
      }
    } else {
      out += '%';  // not a placeholder: copied as it stands
      ++i;
      continue;
    }
    if (arg == nullptr) out += rest.substr(0, length);  // no fitting argument
    i += length;
  }
  return out;
}

std::string FormatDiagnosticLine(DiagnosticCode code, std::span<const DiagnosticArg> args) {
  const std::string_view message_template = LookUpMessage(code);
  const std::string text =
      args.empty() ? std::string(message_template) : FormatMessageTemplate(message_template, args);
  std::string line = SeverityPrefix(SeverityOf(code));
  line += " (";
  line += std::to_string(MessageNumberOf(code));
  line += "): ";
  line += text;
  if (line.size() >= kTextBufferSize) line.resize(kTextBufferSize - 1);
  return line;
}

void ReportDiagnostic(DiagnosticCode code, std::span<const DiagnosticArg> args) {
  if (SeverityOf(code) == kSevere) ReportFatalDiagnostic(code, args);
  ShowDiagnostic(FormatDiagnosticLine(code, args));
}

void ReportFatalDiagnostic(DiagnosticCode code, std::span<const DiagnosticArg> args) {
  std::string text = FormatDiagnosticLine(code, args);
  text += TracebackText();
  if (text.size() >= kTextBufferSize) text.resize(kTextBufferSize - 1);
  // Recorded before the box: a user who closes the main window right after
  // OK ends the process through the window thread, with this status too.
  SetProcessEndStatus(code);
  ShowDiagnostic(text);
  EndAfterSevereDiagnostic(code);
}

void ReportSystemErrorText(std::string_view prefix, std::uint32_t system_error) {
  std::string message = SystemErrorMessage(system_error);
  if (message.empty())
    message = "FormatMessage failed for sysmem message number " +
              std::to_string(static_cast<std::int32_t>(system_error));
  std::string text(prefix);
  text += ": ";
  text += message;
  ShowDiagnostic(text);
}

}  // namespace scenreg
