// Arbitrary bytes read as a dialog template, header and items: the reader
// must never step outside the bytes and must always move forward, whatever
// the counts, strings and creation-data sizes claim.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "dialogs/dialog_template.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace scenreg;
  TemplateCursor cursor{std::span<const std::uint8_t>(data, size)};
  TemplateHeader header;
  if (!ReadTemplateHeader(cursor, header)) return 0;
  Check(cursor.offset <= size);
  for (std::uint16_t i = 0; i < header.item_count; ++i) {
    const std::size_t before = cursor.offset;
    TemplateItem item;
    if (!ReadTemplateItem(cursor, header.extended, item)) break;
    Check(cursor.offset <= size);
    Check(cursor.offset > before || before == size);
    Check(item.creation_data_size <= cursor.offset - before);
  }
  return 0;
}
