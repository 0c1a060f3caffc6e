#include "dialogs/dialog_template.h"

#include <cstring>

namespace scenreg {
namespace {

constexpr std::uint16_t kOrdinalMarker = 0xFFFF;

bool ReadWord(TemplateCursor& cursor, std::uint16_t& value) {
  if (cursor.bytes.size() - cursor.offset < 2) return false;
  value = static_cast<std::uint16_t>(cursor.bytes[cursor.offset] |
                                     (cursor.bytes[cursor.offset + 1] << 8));
  cursor.offset += 2;
  return true;
}

bool ReadShort(TemplateCursor& cursor, std::int16_t& value) {
  std::uint16_t word = 0;
  if (!ReadWord(cursor, word)) return false;
  value = static_cast<std::int16_t>(word);
  return true;
}

bool ReadDword(TemplateCursor& cursor, std::uint32_t& value) {
  std::uint16_t low = 0, high = 0;
  if (!ReadWord(cursor, low) || !ReadWord(cursor, high)) return false;
  value = low | (static_cast<std::uint32_t>(high) << 16);
  return true;
}

bool Skip(TemplateCursor& cursor, std::size_t count) {
  if (cursor.bytes.size() - cursor.offset < count) return false;
  cursor.offset += count;
  return true;
}

// The next item starts on a 4-byte boundary of the resource; the last one
// may end without the padding.
void AlignToDword(TemplateCursor& cursor) {
  const std::size_t aligned = (cursor.offset + 3) & ~std::size_t{3};
  cursor.offset = aligned < cursor.bytes.size() ? aligned : cursor.bytes.size();
}

// The characters of a NUL-terminated string of 16-bit characters, the first
// of which has been read already.
bool ReadCharacters(TemplateCursor& cursor, std::uint16_t first, TemplateString& field) {
  for (std::uint16_t character = first; character != 0;) {
    if (field.length < field.text.chars.size())
      field.text.chars[field.length] = static_cast<char>(character & 0xFF);
    ++field.length;
    if (!ReadWord(cursor, character)) return false;
  }
  return true;
}

void ClearString(TemplateString& field) {
  field = TemplateString{};
  std::memset(field.text.chars.data(), ' ', field.text.chars.size());
}

// A string, or 0xFFFF and an ordinal.
bool ReadNameOrOrdinal(TemplateCursor& cursor, TemplateString& field) {
  ClearString(field);
  std::uint16_t first = 0;
  if (!ReadWord(cursor, first)) return false;
  if (first == kOrdinalMarker) {
    field.is_ordinal = true;
    return ReadWord(cursor, field.ordinal);
  }
  return ReadCharacters(cursor, first, field);
}

// A string that has no ordinal form (the font name).
bool ReadString(TemplateCursor& cursor, TemplateString& field) {
  ClearString(field);
  std::uint16_t first = 0;
  return ReadWord(cursor, first) && ReadCharacters(cursor, first, field);
}

}  // namespace

bool ReadTemplateHeader(TemplateCursor& cursor, TemplateHeader& header) {
  header = TemplateHeader{};
  std::uint16_t version = 0, signature = 0;
  if (!ReadWord(cursor, version) || !ReadWord(cursor, signature)) return false;
  header.extended = signature == 0xFFFF;
  if (header.extended) {
    // dlgVer, signature, helpID, exStyle, style.
    if (!Skip(cursor, 4) || !ReadDword(cursor, header.ex_style) || !ReadDword(cursor, header.style))
      return false;
  } else {
    // The two words were the style; the extended style follows.
    header.style = version | (static_cast<std::uint32_t>(signature) << 16);
    if (!ReadDword(cursor, header.ex_style)) return false;
  }
  if (!ReadWord(cursor, header.item_count) || !ReadShort(cursor, header.x) ||
      !ReadShort(cursor, header.y) || !ReadShort(cursor, header.width) ||
      !ReadShort(cursor, header.height))
    return false;
  if (!ReadNameOrOrdinal(cursor, header.menu) || !ReadNameOrOrdinal(cursor, header.window_class) ||
      !ReadNameOrOrdinal(cursor, header.caption))
    return false;
  if (header.style & kDsSetFont) {
    if (!ReadWord(cursor, header.point_size)) return false;
    // Weight, italic and character set.
    if (header.extended && !Skip(cursor, 4)) return false;
    if (!ReadString(cursor, header.font_name)) return false;
  }
  AlignToDword(cursor);
  return true;
}

bool ReadTemplateItem(TemplateCursor& cursor, bool extended, TemplateItem& item) {
  item = TemplateItem{};
  if (extended) {
    // helpID, exStyle, style.
    if (!Skip(cursor, 4) || !ReadDword(cursor, item.ex_style) || !ReadDword(cursor, item.style))
      return false;
  } else if (!ReadDword(cursor, item.style) || !ReadDword(cursor, item.ex_style)) {
    return false;
  }
  if (!ReadShort(cursor, item.x) || !ReadShort(cursor, item.y) || !ReadShort(cursor, item.width) ||
      !ReadShort(cursor, item.height))
    return false;
  if (extended) {
    if (!ReadDword(cursor, item.id)) return false;
  } else {
    std::uint16_t id = 0;
    if (!ReadWord(cursor, id)) return false;
    item.id = id;
  }
  if (!ReadNameOrOrdinal(cursor, item.window_class) || !ReadNameOrOrdinal(cursor, item.text))
    return false;
  // The size word counts the creation data that follows it.
  if (!ReadWord(cursor, item.creation_data_size) || !Skip(cursor, item.creation_data_size))
    return false;
  AlignToDword(cursor);
  return true;
}

}  // namespace scenreg
