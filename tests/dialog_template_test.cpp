// The program's dialog templates as compiled, field by field against the
// values they are meant to carry, and the service's reading of them and of
// damaged copies. The bytes are the program's own resources: on Windows the
// test program carries them as scenreg.exe does, elsewhere the build embeds
// the same compiled script.
#include "dialogs/dialog_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/dialog_platform.h"
#include "dialogs/dialog_service.h"
#include "runtime/text_field.h"

namespace scenreg {
namespace {

constexpr std::uint32_t kBoxStyle = 0x80C000C0;
constexpr std::uint32_t kDefaultButton = 0x50010001;
constexpr std::uint32_t kButton = 0x50010000;
constexpr std::uint32_t kStatic = 0x50020000;
constexpr std::uint32_t kTextBox = 0x50810880;

struct ExpectedItem {
  std::uint16_t class_ordinal;
  std::uint32_t id;
  std::string text;
  std::int16_t x, y, width, height;
  std::uint32_t style;
};

struct ExpectedTemplate {
  std::int32_t id;
  std::string caption;
  std::int16_t width, height;
  std::vector<ExpectedItem> items;
};

const std::vector<ExpectedTemplate>& ExpectedTemplates() {
  static const std::vector<ExpectedTemplate> templates{
      {101,
       "Welcome",
       277,
       76,
       {{kButtonClass, 1, "Continue", 211, 28, 50, 14, kDefaultButton},
        {kButtonClass, 2, "No thanks", 211, 44, 50, 14, kButton},
        {kStaticClass, 0xFFFF,
         "Press \"Continue\" to add this entry, or \"No thanks\" case you prefer to do this "
         "yourself through the FS2004 menus.",
         26, 27, 156, 34, kStatic},
        {kEditClass, 1003, "", 7, 7, 263, 14, kTextBox}}},
      {102,
       "Sorry",
       184,
       138,
       {{kButtonClass, 1, "OK", 72, 117, 50, 14, kDefaultButton},
        {kStaticClass, 0xFFFF,
         "The scenery.cfg file found is not in the default format, or could not be found at all.",
         7, 14, 164, 22, kStatic},
        {kStaticClass, 0xFFFF,
         "Before risking any damage to your individual configuration, the scenery was not added "
         "to the library, so you may want to use the scenery library menu of FS2004 and add the "
         "scenery directory manually.",
         7, 72, 164, 44, kStatic},
        {kStaticClass, 0xFFFF,
         "One known reason for this situation is that you did not locate your FS2004 directory "
         "properly, so please repeat the installation in this case.",
         7, 40, 164, 28, kStatic}}},
      {103,
       "No second config.",
       195,
       63,
       {{kButtonClass, 1, "OK", 71, 40, 50, 14, kDefaultButton},
        {kStaticClass, 0xFFFF,
         "This product had already been added to the scenery configuration and will not be "
         "added twice.",
         7, 15, 175, 23, kStatic}}},
  };
  return templates;
}

std::string TextOf(const TemplateString& field) {
  return std::string(field.text.chars.data(), field.length < 256 ? field.length : 256);
}

TEST(DialogTemplates, CompiledBytesCarryExactlyTheTablesValues) {
  for (const ExpectedTemplate& expected : ExpectedTemplates()) {
    SCOPED_TRACE(expected.id);
    const std::span<const std::uint8_t> bytes = FindDialogTemplate(nullptr, expected.id);
    ASSERT_FALSE(bytes.empty());
    // The first double word is the style itself: a plain template, not the
    // extended one (whose second word would be 0xFFFF).
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24, kBoxStyle);

    TemplateCursor cursor{bytes};
    TemplateHeader header;
    ASSERT_TRUE(ReadTemplateHeader(cursor, header));
    EXPECT_FALSE(header.extended);
    EXPECT_EQ(header.style, kBoxStyle);
    EXPECT_EQ(header.ex_style, 0u);
    EXPECT_EQ(header.x, 0);
    EXPECT_EQ(header.y, 0);
    EXPECT_EQ(header.width, expected.width);
    EXPECT_EQ(header.height, expected.height);
    EXPECT_FALSE(header.menu.is_ordinal);
    EXPECT_EQ(header.menu.length, 0u) << "no menu";
    EXPECT_FALSE(header.window_class.is_ordinal);
    EXPECT_EQ(header.window_class.length, 0u) << "the default dialog class";
    EXPECT_EQ(TextOf(header.caption), expected.caption);
    EXPECT_EQ(header.point_size, 8);
    EXPECT_EQ(TextOf(header.font_name), "MS Sans Serif");

    ASSERT_EQ(header.item_count, expected.items.size());
    for (const ExpectedItem& want : expected.items) {
      SCOPED_TRACE(want.text);
      TemplateItem item;
      ASSERT_TRUE(ReadTemplateItem(cursor, false, item));
      EXPECT_EQ(item.style, want.style);
      EXPECT_EQ(item.ex_style, 0u);
      EXPECT_EQ(item.x, want.x);
      EXPECT_EQ(item.y, want.y);
      EXPECT_EQ(item.width, want.width);
      EXPECT_EQ(item.height, want.height);
      EXPECT_EQ(item.id, want.id);
      EXPECT_TRUE(item.window_class.is_ordinal);
      EXPECT_EQ(item.window_class.ordinal, want.class_ordinal);
      EXPECT_FALSE(item.text.is_ordinal);
      EXPECT_EQ(TextOf(item.text), want.text);
      EXPECT_LE(item.text.length, 199u);
      EXPECT_EQ(item.creation_data_size, 0);
    }
    EXPECT_EQ(cursor.offset, bytes.size()) << "nothing after the last control";
  }
  EXPECT_EQ(ExpectedTemplates()[0].items[2].text.size(), 112u);
}

struct ExpectedControl {
  ControlKind kind;
  std::int32_t id;
  bool sharing_id;
};

TEST(DialogTemplates, LoadDialogRecordsKindsIdsAndSharedIds) {
  const struct {
    std::int32_t template_id;
    std::vector<ExpectedControl> controls;
  } cases[] = {
      {101,
       {{kPushButton, 1, false},
        {kPushButton, 2, false},
        {kStaticText, 0xFFFF, false},
        {kEditBox, 1003, false}}},
      {102,
       {{kPushButton, 1, false},
        {kStaticText, 0xFFFF, true},
        {kStaticText, 0xFFFF, true},
        {kStaticText, 0xFFFF, true}}},
      {103, {{kPushButton, 1, false}, {kStaticText, 0xFFFF, false}}},
  };
  DialogRecord record;
  for (const auto& expected : cases) {
    SCOPED_TRACE(expected.template_id);
    std::int32_t id = expected.template_id;
    record.result = 7;
    ASSERT_TRUE(IsTrue(LoadDialog(id, record)));
    EXPECT_EQ(record.template_id, expected.template_id);
    EXPECT_EQ(record.result, 1);
    EXPECT_TRUE(IsTrue(record.changed));
    EXPECT_FALSE(IsTrue(record.writing));
    EXPECT_EQ(record.window, nullptr);
    ASSERT_EQ(record.control_count, static_cast<std::int32_t>(expected.controls.size()));
    for (std::size_t i = 0; i < expected.controls.size(); ++i) {
      const ControlRecord& control = record.controls[i];
      EXPECT_EQ(control.kind, expected.controls[i].kind) << i;
      EXPECT_EQ(control.id, expected.controls[i].id) << i;
      EXPECT_EQ(IsTrue(control.sharing_id), expected.controls[i].sharing_id) << i;
      EXPECT_TRUE(IsTrue(control.needs_write));
      EXPECT_TRUE(IsTrue(control.enabled));
      EXPECT_EQ(control.action_count, control.kind == kPushButton ? 1
                                      : control.kind == kEditBox  ? 4
                                                                  : 0);
    }
  }
  EXPECT_EQ(TrimmedText(record.controls[0].text.view()), "OK");

  std::int32_t missing = 104;
  EXPECT_EQ(LoadDialog(missing, record), kFalse);
  EXPECT_EQ(record.control_count, 0);
  std::int32_t control = 1;
  EXPECT_EQ(SetControlText(record, control, "x", 1), kFalse);
  EXPECT_EQ(RunDialogModal(record), -1);
}

TEST(DialogTemplates, TruncatedTemplatesAreRefusedAtEveryLength) {
  for (std::int32_t template_id : {101, 102, 103}) {
    const std::span<const std::uint8_t> bytes = FindDialogTemplate(nullptr, template_id);
    ASSERT_FALSE(bytes.empty());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
      // A buffer of exactly this length, so that a read past it is caught
      // by the address sanitizer.
      const std::vector<std::uint8_t> cut(bytes.begin(),
                                          bytes.begin() + static_cast<std::ptrdiff_t>(length));
      DialogRecord record;
      EXPECT_FALSE(BuildDialogRecord(cut, record)) << template_id << " cut to " << length;
      EXPECT_EQ(record.control_count, 0);
    }
  }
}

}  // namespace
}  // namespace scenreg
