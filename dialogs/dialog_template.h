// Reading dialog templates: the plain layout and the extended one, item by
// item, from the bytes of one resource. Every read is checked against the
// end of those bytes, so a damaged template is refused, never read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "runtime/text_field.h"

namespace scenreg {

// Predefined class ordinals of the dialog manager.
enum ClassOrdinal : std::uint16_t {
  kButtonClass = 0x0080,
  kEditClass = 0x0081,
  kStaticClass = 0x0082,
  kListBoxClass = 0x0083,
  kScrollBarClass = 0x0084,
  kComboBoxClass = 0x0085,
};

// DS_SETFONT; DS_SHELLFONT includes it.
inline constexpr std::uint32_t kDsSetFont = 0x40;

// A name or text field of a template: either an ordinal, or a string whose
// characters keep their low 8 bits, blank-padded. Longer strings are read
// to their end and cut to the field.
struct TemplateString {
  bool is_ordinal = false;
  std::uint16_t ordinal = 0;
  std::uint32_t length = 0;  // characters in the template, before any cut
  TextField<256> text;
};

struct TemplateHeader {
  bool extended = false;  // DLGTEMPLATEEX
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  std::uint16_t item_count = 0;
  std::int16_t x = 0, y = 0, width = 0, height = 0;
  TemplateString menu;
  TemplateString window_class;
  TemplateString caption;
  std::uint16_t point_size = 0;  // font fields only with DS_SETFONT
  TemplateString font_name;
};

struct TemplateItem {
  std::uint32_t style = 0;
  std::uint32_t ex_style = 0;
  std::int16_t x = 0, y = 0, width = 0, height = 0;
  std::uint32_t id = 0;  // 16 bits, unsigned, in a plain template
  TemplateString window_class;
  TemplateString text;
  std::uint16_t creation_data_size = 0;
};

// Where reading stands in one template's bytes.
struct TemplateCursor {
  std::span<const std::uint8_t> bytes;
  std::size_t offset = 0;
};

// Read the header or the next item and move past it (the item's creation
// data and alignment included). False when the bytes end before it does.
bool ReadTemplateHeader(TemplateCursor& cursor, TemplateHeader& header);
bool ReadTemplateItem(TemplateCursor& cursor, bool extended, TemplateItem& item);

// The fewest bytes one item can take, for a quick check of an item count.
inline constexpr std::size_t kMinimumItemSize = 24;

}  // namespace scenreg
