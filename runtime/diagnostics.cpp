#include "runtime/diagnostics.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "runtime/diagnostic_display.h"
#include "runtime/shell_platform.h"

namespace scenreg {
namespace {

constexpr std::size_t kTextBufferSize = 16384;
constexpr std::size_t kMaxTemplateLength = 393;

char* ZeroedBuffer(std::size_t size) {
  return static_cast<char*>(std::calloc(size, 1));
}
TextBufferSource text_buffer_source = ZeroedBuffer;

// The prefix word, and for severities info to severe ": " and their word.
void AppendSeverityPrefix(TextSink& sink, Severity severity) {
  constexpr std::string_view kSeverityWords[] = {"", "info", "error", "severe"};
  AppendText(sink, kPrefixWord);
  if (severity != kSuccess) {
    AppendText(sink, ": ");
    AppendText(sink, kSeverityWords[severity]);
  }
}

void AppendInteger(TextSink& sink, std::int64_t value, bool hex) {
  char digits[32];
  if (hex)
    std::snprintf(digits, sizeof digits, "%" PRIx32, static_cast<std::uint32_t>(value));
  else
    std::snprintf(digits, sizeof digits, "%" PRId64, value);
  AppendText(sink, digits);
}

void AppendFormattedTemplate(TextSink& sink, std::string_view message_template,
                             std::span<const DiagnosticArg> args) {
  std::size_t next_arg = 0;
  auto take = [&](DiagnosticArg::Kind kind) -> const DiagnosticArg* {
    if (next_arg < args.size() && args[next_arg].kind == kind) return &args[next_arg++];
    return nullptr;
  };
  for (std::size_t i = 0; i < message_template.size();) {
    const std::string_view rest = message_template.substr(i);
    if (rest[0] != '%') {
      // Up to the next placeholder in one piece.
      const std::size_t plain = std::min(rest.find('%'), rest.size());
      AppendText(sink, rest.substr(0, plain));
      i += plain;
      continue;
    }
    if (rest.starts_with("%%")) {
      AppendText(sink, "%");
      i += 2;
      continue;
    }
    const DiagnosticArg* arg = nullptr;
    std::size_t length = 0;
    if (rest.starts_with("%d") || rest.starts_with("%i")) {
      length = 2;
      if ((arg = take(DiagnosticArg::kInteger))) AppendInteger(sink, arg->integer, false);
    } else if (rest.starts_with("%ld")) {
      length = 3;
      if ((arg = take(DiagnosticArg::kInteger))) AppendInteger(sink, arg->integer, false);
    } else if (rest.starts_with("%lx")) {
      length = 3;
      if ((arg = take(DiagnosticArg::kInteger))) AppendInteger(sink, arg->integer, true);
    } else if (rest.starts_with("%s")) {
      length = 2;
      if ((arg = take(DiagnosticArg::kText))) AppendText(sink, arg->text);
    } else if (rest.starts_with("%.*s")) {
      length = 4;
      const std::size_t saved = next_arg;
      const DiagnosticArg* precision = take(DiagnosticArg::kInteger);
      arg = precision ? take(DiagnosticArg::kText) : nullptr;
      if (arg) {
        const std::int64_t limit = precision->integer < 0 ? 0 : precision->integer;
        AppendText(sink, arg->text.substr(0, static_cast<std::size_t>(limit)));
      } else {
        next_arg = saved;
      }
    } else {
      AppendText(sink, "%");  // not a placeholder: copied as it stands
      ++i;
      continue;
    }
    if (arg == nullptr) AppendText(sink, rest.substr(0, length));  // no fitting argument
    i += length;
  }
}

void AppendDiagnosticLine(TextSink& sink, DiagnosticCode code,
                          std::span<const DiagnosticArg> args) {
  const std::string_view message_template = LookUpMessage(code);
  AppendSeverityPrefix(sink, SeverityOf(code));
  AppendText(sink, " (");
  AppendInteger(sink, MessageNumberOf(code), false);
  AppendText(sink, "): ");
  if (args.empty())
    AppendText(sink, message_template);
  else
    AppendFormattedTemplate(sink, message_template, args);
}

}  // namespace

void AppendText(TextSink& sink, std::string_view text) {
  if (sink.capacity > 0 && sink.length < sink.capacity - 1) {
    const std::size_t stored = std::min(text.size(), sink.capacity - 1 - sink.length);
    std::memcpy(sink.data + sink.length, text.data(), stored);
    sink.data[sink.length + stored] = '\0';
  }
  sink.length += text.size();
}

std::string_view LookUpMessage(DiagnosticCode code) {
  for (const CatalogueEntry& entry : MessageCatalogue())
    if (entry.code == code) return entry.message_template.substr(0, kMaxTemplateLength);
  return kMessageNotFound;
}

std::string FormatMessageTemplate(std::string_view message_template,
                                  std::span<const DiagnosticArg> args) {
  return TextFrom([&](TextSink& sink) { AppendFormattedTemplate(sink, message_template, args); });
}

std::string FormatDiagnosticLine(DiagnosticCode code, std::span<const DiagnosticArg> args) {
  std::string line = TextFrom([&](TextSink& sink) { AppendDiagnosticLine(sink, code, args); });
  if (line.size() >= kTextBufferSize) line.resize(kTextBufferSize - 1);
  return line;
}

TextBufferSource ReplaceTextBufferSource(TextBufferSource source) {
  return std::exchange(text_buffer_source, source);
}

void ReportDiagnostic(DiagnosticCode code, std::span<const DiagnosticArg> args) {
  const bool severe = SeverityOf(code) == kSevere;
  // A close while the box shows ends the process with the code, so that a
  // failure never ends as success; a severe one keeps it afterwards too, for
  // a close right after OK.
  const std::uint32_t close_status = CurrentCloseStatus();
  SetCloseStatus(code);

  // Low memory must not cost the report: a text of its exact size without
  // the traceback, and at the last the message number alone.
  char number_text[16];
  const char* text = number_text;
  char* buffer = text_buffer_source(kTextBufferSize);
  if (buffer != nullptr) {
    TextSink sink{buffer, kTextBufferSize};
    AppendDiagnosticLine(sink, code, args);
    if (severe) AppendTraceback(sink);
    text = buffer;
  } else {
    TextSink measure;
    AppendDiagnosticLine(measure, code, args);
    buffer = text_buffer_source(measure.length + 1);
    if (buffer != nullptr) {
      TextSink sink{buffer, measure.length + 1};
      AppendDiagnosticLine(sink, code, args);
      text = buffer;
    } else {
      std::snprintf(number_text, sizeof number_text, "%i", MessageNumberOf(code));
    }
  }
  ShowDiagnostic(text);
  if (severe) EndAfterSevereDiagnostic(code);
  SetCloseStatus(close_status);
  std::free(buffer);
}

void ReportSystemErrorText(std::string_view prefix, std::uint32_t system_error,
                           DiagnosticCode following) {
  // Fixed storage: this box comes right before a diagnostic, in low memory too.
  char text[2048];
  TextSink sink{text, sizeof text};
  AppendText(sink, prefix);
  AppendText(sink, ": ");
  const std::size_t message_start = sink.length;
  AppendSystemErrorMessage(sink, system_error);
  if (sink.length == message_start) {
    char fallback[64];
    std::snprintf(fallback, sizeof fallback, "FormatMessage failed for sysmem message number %i",
                  static_cast<std::int32_t>(system_error));
    AppendText(sink, fallback);
  }
  // The diagnostic that follows is the outcome already.
  const std::uint32_t close_status = CurrentCloseStatus();
  SetCloseStatus(following);
  ShowDiagnostic(text);
  SetCloseStatus(close_status);
}

}  // namespace scenreg
