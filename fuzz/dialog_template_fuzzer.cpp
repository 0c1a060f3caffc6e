// Arbitrary bytes read as a dialog template, header and items: the reader
// must never step outside the bytes and must always move forward, whatever
// the counts, strings and creation-data sizes claim. Where every style is
// one the service can show, the record built from the bytes is checked too:
// one control for each recorded item, of a known kind, and the controls
// that share an id marked as such (an unsupported style stops the program,
// so those bytes go no further).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "dialogs/dialog_service.h"
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
  bool read_whole = true;
  std::vector<std::int32_t> recorded_ids;
  for (std::uint16_t i = 0; i < header.item_count; ++i) {
    const std::size_t before = cursor.offset;
    TemplateItem item;
    if (!ReadTemplateItem(cursor, header.extended, item)) {
      read_whole = false;
      break;
    }
    Check(cursor.offset <= size);
    Check(cursor.offset > before || before == size);
    Check(item.creation_data_size <= cursor.offset - before);
    const ControlClassification classification = ClassifyControl(item);
    if (!classification.unsupported_style.empty()) return 0;
    if (classification.recorded) recorded_ids.push_back(static_cast<std::int32_t>(item.id));
  }

  DialogRecord record;
  if (!BuildDialogRecord(std::span<const std::uint8_t>(data, size), record)) {
    Check(record.control_count == 0 && !IsTrue(record.loaded));
    return 0;
  }
  Check(read_whole && IsTrue(record.loaded));
  Check(record.control_count <= header.item_count);
  Check(record.control_count == static_cast<std::int32_t>(recorded_ids.size()));
  for (std::int32_t i = 0; i < record.control_count; ++i) {
    const ControlRecord& control = record.controls[i];
    Check(control.kind >= kStaticText && control.kind <= kTabControl);
    Check(control.id == recorded_ids[static_cast<std::size_t>(i)]);
    bool shared = false;
    for (std::int32_t j = 0; j < record.control_count; ++j)
      shared = shared || (j != i && record.controls[j].id == control.id);
    Check(IsTrue(control.sharing_id) == shared);
  }
  return 0;
}
