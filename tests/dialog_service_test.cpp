// The dialog service's logic over boxes held in memory: texts set before and
// while a box is shown, what reaches the control windows, the results of a
// modal run, and templates the service must refuse or stop at.
#include "dialogs/dialog_service.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/dialog_platform.h"
#include "dialogs/dialog_template.h"
#include "dialogs/posix/fake_dialog_windows.h"

namespace scenreg {
namespace {

constexpr std::int32_t kCancel = 2;  // what Escape and a close request send

class DialogService : public ::testing::Test {
 protected:
  void TearDown() override {
    SetFakeUser(nullptr);
    SetFakeMainWindowPresent(true);
  }

  void Load(std::int32_t template_id) { ASSERT_TRUE(IsTrue(LoadDialog(template_id, record_))); }
  std::int32_t Set(std::int32_t id, const std::string& text, const std::int32_t* selector = nullptr,
                   std::int32_t length = -1) {
    return SetControlText(record_, id, text.data(),
                          length < 0 ? static_cast<std::int32_t>(text.size()) : length, selector);
  }

  DialogRecord record_;
};

TEST(DialogResources, TemplatesAreGermanGermany) {
  for (std::int32_t id : {101, 102, 103}) EXPECT_EQ(TemplateLanguage(id), 1031) << id;
  EXPECT_EQ(TemplateLanguage(104), 0);
}

TEST_F(DialogService, SetControlTextRefusesUnknownSharedAndWrongSelector) {
  Load(kSorryDialog);
  EXPECT_EQ(Set(kUnaddressedId, "x"), kFalse) << "three statics share 0xFFFF";
  EXPECT_EQ(Set(1003, "x"), kFalse) << "no such control in 102";

  Load(kWelcomeDialog);
  const std::int32_t minus1 = -1, minus2 = -2, minus5 = -5, minus3 = -3;
  const struct {
    std::int32_t id;
    const std::int32_t* selector;
    Logical stored;
  } cases[] = {
      {1003, nullptr, kTrue},
      {1003, &minus1, kTrue},
      {1003, &minus5, kTrue},
      {1003, &minus2, kFalse},
      {1003, &minus3, kFalse},
      {1, &minus2, kTrue},
      {1, &minus5, kFalse},
      {kUnaddressedId, &minus2, kTrue},  // 101's one static
      {kUnaddressedId, &minus5, kFalse},
      {4, nullptr, kFalse},
  };
  for (const auto& c : cases) {
    const std::string before(record_.controls[3].text.view());
    const Logical stored = Set(c.id, "Sample", c.selector);
    EXPECT_EQ(stored, c.stored) << c.id << " " << (c.selector ? *c.selector : 0);
    if (c.id == 1003 && !IsTrue(stored)) {
      EXPECT_EQ(record_.controls[3].text.view(), before) << "a refused text changes nothing";
    }
  }
}

TEST_F(DialogService, TextsReachTheWindowWhenTheBoxOpensWithoutTrailingBlanks) {
  const std::string full(256, 'W');
  const std::string leading = std::string(20, ' ') + "Sample Field adds an airfield.";
  const struct {
    std::string text;
    std::int32_t length;
    std::string shown;
  } cases[] = {
      {full, 256, full.substr(0, 255)},
      {full + "beyond", 262, full.substr(0, 255)},
      {full.substr(0, 255) + " ", 256, full.substr(0, 255)},
      {leading + std::string(226, ' '), 256, leading},
      {"Sample", 0, ""},
      {"", 0, ""},
  };
  for (const auto& c : cases) {
    Load(kWelcomeDialog);
    std::int32_t id = kWelcomeTextControl;
    ASSERT_EQ(SetControlText(record_, id, c.text.data(), c.length), kTrue);
    EXPECT_EQ(record_.controls[3].text.view(),
              (c.text.substr(0, static_cast<std::size_t>(c.length)) + std::string(256, ' '))
                  .substr(0, 256))
        << "stored, blank-padded";
    std::string shown, button_shown, static_shown;
    SetFakeUser([&](FakeDialogWindow& box) {
      shown = FindFakeControl(box, 1003)->text;
      button_shown = FindFakeControl(box, 2)->text;
      static_shown = FindFakeControl(box, kUnaddressedId)->text;
      ClickButton(box, kContinueButton);
    });
    EXPECT_EQ(RunDialogModal(record_), 1);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(button_shown, "No thanks");
    EXPECT_EQ(static_shown.substr(0, 16), "Press \"Continue\"");
    EXPECT_EQ(record_.controls[3].text.view(), (c.shown + std::string(256, ' ')).substr(0, 256))
        << "read back on close";
  }
}

void CountChange(DialogRecord& /*record*/, std::int32_t& /*id*/, std::int32_t& reason) {
  EXPECT_EQ(reason, kReasonChanged);
  static_cast<void>(reason);
}

TEST_F(DialogService, WritingFlagSwallowsTheEditBoxsChangeNotification) {
  Load(kWelcomeDialog);
  record_.controls[3].actions[kOnChanged] = CountChange;
  std::int32_t id = kWelcomeTextControl;
  SetControlText(record_, id, "Before", 6);
  int handled_on_open = -1, handled_after_set = -1, handled_after_typing = -1;
  int writes_on_open = 0;
  SetFakeUser([&](FakeDialogWindow& box) {
    handled_on_open = box.change_notifications_handled;
    writes_on_open = FindFakeControl(box, 1003)->text_writes;
    // Set while shown, from outside any of the box's messages: written at once.
    std::int32_t text_id = kWelcomeTextControl;
    SetControlText(record_, text_id, "After", 5);
    EXPECT_EQ(FindFakeControl(box, 1003)->text, "After");
    handled_after_set = box.change_notifications_handled;
    TypeText(box, 1003, "Typed");
    handled_after_typing = box.change_notifications_handled;
    ClickButton(box, kNoThanksButton);
  });
  EXPECT_EQ(RunDialogModal(record_), 2);
  EXPECT_EQ(writes_on_open, 1);
  EXPECT_EQ(handled_on_open, 0) << "the box's own write is not a change";
  EXPECT_EQ(handled_after_set, 0);
  EXPECT_EQ(handled_after_typing, 1) << "a user's change is";
  EXPECT_EQ(TrimmedText(record_.controls[3].text.view()), "Typed");
}

struct ActionCall {
  std::size_t slot;
  std::int32_t id;
  std::int32_t reason;
  bool operator==(const ActionCall&) const = default;
};
std::vector<ActionCall> action_calls;

template <std::size_t kSlot>
void RecordCall(DialogRecord& /*record*/, std::int32_t& id, std::int32_t& reason) {
  action_calls.push_back({kSlot, id, reason});
}

// Each edit notification reaches its own action with its reason; any other
// notification, a button's non-click and an unknown control reach none.
TEST_F(DialogService, EditNotificationsReachTheirOwnActions) {
  struct Case {
    std::int32_t notification;  // the system's code
    std::size_t slot;
    std::int32_t reason;
  };
  constexpr Case kCases[] = {{0x300, kOnChanged, kReasonChanged},
                             {0x400, kOnUpdate, kReasonUpdate},
                             {0x100, kOnGotFocus, kReasonGotFocus},
                             {0x200, kOnLostFocus, kReasonLostFocus}};
  Load(kWelcomeDialog);
  record_.controls[3].actions = {RecordCall<0>, RecordCall<1>, RecordCall<2>, RecordCall<3>};
  SetFakeUser([&](FakeDialogWindow& box) {
    for (const Case& c : kCases) {
      action_calls.clear();
      EXPECT_TRUE(HandleDialogCommand(kWelcomeTextControl, c.notification));
      EXPECT_EQ(action_calls, (std::vector<ActionCall>{{c.slot, kWelcomeTextControl, c.reason}}))
          << c.notification;
    }
    action_calls.clear();
    EXPECT_FALSE(HandleDialogCommand(kWelcomeTextControl, 0x500));
    EXPECT_FALSE(HandleDialogCommand(kContinueButton, 0x100));
    EXPECT_FALSE(HandleDialogCommand(4711, 0x300));
    EXPECT_TRUE(action_calls.empty());
    ClickButton(box, kNoThanksButton);
  });
  EXPECT_EQ(RunDialogModal(record_), kNoThanksButton);
}

TEST_F(DialogService, ResultsOfTheModalRun) {
  const struct {
    std::int32_t template_id;
    std::vector<std::int32_t> commands;
    std::int32_t result;
    bool ended;
  } cases[] = {
      // The keys and buttons of 101 and 102 are checked on the real boxes
      // end to end; here mostly the commands that must not end a box.
      {kWelcomeDialog, {kCancel}, 2, true},
      {kWelcomeDialog, {0, kUnaddressedId, 1003}, 1, false},
      {kSorryDialog, {kCancel, kCancel}, 1, false},
      {kNoSecondConfigDialog, {kCancel, kContinueButton}, 1, true},
  };
  for (const auto& c : cases) {
    Load(c.template_id);
    bool ended = false;
    SetFakeUser([&](FakeDialogWindow& box) {
      for (std::int32_t command : c.commands) ClickButton(box, command);
      ended = box.ended;
    });
    EXPECT_EQ(RunDialogModal(record_), c.result) << c.template_id;
    EXPECT_EQ(ended, c.ended) << c.template_id;
    EXPECT_EQ(record_.window, nullptr);
  }
}

TEST_F(DialogService, OwnerIsTheEnclosingBoxOrTheMainWindow) {
  DialogRecord inner;
  WindowHandle outer_owner = nullptr, inner_owner = nullptr, outer_window = nullptr;
  std::int32_t inner_result = 0;
  SetFakeUser([&](FakeDialogWindow& box) {
    if (box.template_id == kWelcomeDialog) {
      outer_owner = box.owner;
      outer_window = &box;
      std::int32_t id = kSorryDialog;
      LoadDialog(id, inner);
      inner_result = RunDialogModal(inner);
      ClickButton(box, kNoThanksButton);  // reaches the outer record again
    } else {
      inner_owner = box.owner;
      ClickButton(box, kContinueButton);
    }
  });
  Load(kWelcomeDialog);
  EXPECT_EQ(RunDialogModal(record_), 2);
  EXPECT_EQ(inner_result, 1);
  EXPECT_EQ(outer_owner, FakeMainWindow());
  EXPECT_EQ(inner_owner, outer_window);

  SetFakeMainWindowPresent(false);
  Load(kSorryDialog);
  EXPECT_EQ(RunDialogModal(record_), 1);
  EXPECT_EQ(inner_owner, nullptr) << "no main window, no owner";

  SetFakeUser(nullptr);
  Load(kSorryDialog);
  EXPECT_EQ(RunDialogModal(record_), -1) << "a box that cannot be shown";
}

// Messages for a box that is not running, or for no control of it: a late
// message from a closed box must find no record and change nothing.
TEST_F(DialogService, StrayMessagesChangeNothing) {
  Load(kWelcomeDialog);
  const std::string before(record_.controls[3].text.view());
  HandleDialogOpened(FakeMainWindow());
  EXPECT_FALSE(HandleDialogCommand(kContinueButton, 0));
  CloseDialog(record_);
  EXPECT_EQ(record_.window, nullptr);
  EXPECT_EQ(record_.controls[3].text.view(), before);

  bool handled_any = true;
  SetFakeUser([&](FakeDialogWindow& box) {
    handled_any = HandleDialogCommand(0, 0) || HandleDialogCommand(4711, 0) ||
                  HandleDialogCommand(1003, 0x700);  // no such notification of an edit box
    ClickButton(box, kContinueButton);
  });
  EXPECT_EQ(RunDialogModal(record_), kContinueButton);
  EXPECT_FALSE(handled_any);
}

// Hand-made templates: one box with the given controls.
struct HandItem {
  std::uint32_t style;
  std::uint16_t id;
  std::uint16_t class_ordinal;  // 0: the class name below
  std::string class_name;
};

void Put16(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  Put16(bytes, value & 0xFFFF);
  Put16(bytes, value >> 16);
}
void PutString(std::vector<std::uint8_t>& bytes, const std::string& text) {
  for (char c : text) Put16(bytes, static_cast<std::uint8_t>(c));
  Put16(bytes, 0);
}
void Align(std::vector<std::uint8_t>& bytes) {
  while (bytes.size() % 4) bytes.push_back(0);
}

std::vector<std::uint8_t> HandTemplate(bool extended, const std::vector<HandItem>& items) {
  std::vector<std::uint8_t> bytes;
  if (extended) {
    Put16(bytes, 1);
    Put16(bytes, 0xFFFF);
    Put32(bytes, 0);  // help id
    Put32(bytes, 0);  // extended style
    Put32(bytes, 0x80C000C0);
  } else {
    Put32(bytes, 0x80C000C0);
    Put32(bytes, 0);
  }
  Put16(bytes, static_cast<std::uint32_t>(items.size()));
  for (int i = 0; i < 4; ++i) Put16(bytes, 10);
  Put16(bytes, 0);  // menu
  Put16(bytes, 0);  // class
  PutString(bytes, "Hand");
  Put16(bytes, 8);
  if (extended) Put32(bytes, 0);  // weight, italic, character set
  PutString(bytes, "MS Sans Serif");
  for (const HandItem& item : items) {
    Align(bytes);
    if (extended) {
      Put32(bytes, 0);
      Put32(bytes, 0);
      Put32(bytes, item.style);
    } else {
      Put32(bytes, item.style);
      Put32(bytes, 0);
    }
    for (int i = 0; i < 4; ++i) Put16(bytes, 5);
    if (extended)
      Put32(bytes, item.id);
    else
      Put16(bytes, item.id);
    if (item.class_ordinal) {
      Put16(bytes, 0xFFFF);
      Put16(bytes, item.class_ordinal);
    } else {
      PutString(bytes, item.class_name);
    }
    PutString(bytes, "Text");
    Put16(bytes, 2);  // creation data, skipped
    Put16(bytes, 0xABCD);
  }
  return bytes;
}

TEST(DialogTemplateReading, ExtendedTemplatesAndClassNames) {
  const std::vector<HandItem> items{
      {0x50010003, 7, kButtonClass, ""},       // check box
      {0x50010009, 8, kButtonClass, ""},       // radio button
      {0x50010007, 9, kButtonClass, ""},       // group box
      {0x50000003, 10, kComboBoxClass, ""},    // drop-down list
      {0x50000002, 11, kComboBoxClass, ""},    // combo box
      {0x50000000, 12, kListBoxClass, ""},     // list box
      {0x50000000, 13, kScrollBarClass, ""},   // scroll bar
      {0x50000000, 14, 0, "MSCTLS_UPDOWN32"},  // by name, any case
      {0x50000000, 15, 0, "msctls_trackbar32"},
      {0x50000000, 16, 0, "msctls_progress32"},
      {0x50000000, 17, 0, "SysTabControl32"},
      {0x50000000, 18, 0, "Button"},      // a predefined class by name: no record
      {0x50000000, 19, 0x0086, ""},       // no such ordinal: no record
      {0x50000000, 7, kStaticClass, ""},  // shares 7 with the check box
  };
  const ControlKind kinds[] = {kCheckBox, kRadioButton, kGroupBox,   kDropDownList,
                               kComboBox, kListBox,     kScrollBar,  kSpinControl,
                               kSlider,   kProgressBar, kTabControl, kStaticText};
  for (bool extended : {false, true}) {
    SCOPED_TRACE(extended ? "extended" : "plain");
    const std::vector<std::uint8_t> bytes = HandTemplate(extended, items);
    TemplateCursor cursor{bytes};
    TemplateHeader header;
    ASSERT_TRUE(ReadTemplateHeader(cursor, header));
    EXPECT_EQ(header.extended, extended);
    EXPECT_EQ(header.style, 0x80C000C0u);

    DialogRecord record;
    ASSERT_TRUE(BuildDialogRecord(bytes, record));
    ASSERT_EQ(record.control_count, 12);
    for (std::int32_t i = 0; i < 12; ++i) EXPECT_EQ(record.controls[i].kind, kinds[i]) << i;
    EXPECT_TRUE(IsTrue(record.controls[0].sharing_id));
    EXPECT_TRUE(IsTrue(record.controls[11].sharing_id));
    EXPECT_FALSE(IsTrue(record.controls[1].sharing_id));
    EXPECT_EQ(record.controls[11].id, 7);

    // Every shorter cut ends in the header or in an item, and is refused.
    for (std::size_t length = 0; length < bytes.size(); ++length) {
      const std::vector<std::uint8_t> cut(bytes.begin(),
                                          bytes.begin() + static_cast<std::ptrdiff_t>(length));
      DialogRecord cut_record;
      EXPECT_FALSE(BuildDialogRecord(cut, cut_record)) << "cut to " << length;
    }
  }

  // A box without controls.
  DialogRecord empty;
  EXPECT_TRUE(BuildDialogRecord(HandTemplate(true, {}), empty));
  EXPECT_TRUE(IsTrue(empty.loaded));
  EXPECT_EQ(empty.control_count, 0);

  // An item count that the bytes cannot hold.
  std::vector<std::uint8_t> bytes = HandTemplate(false, {});
  bytes[8] = 0xFF;
  bytes[9] = 0xFF;
  DialogRecord record;
  EXPECT_FALSE(BuildDialogRecord(bytes, record));
}

TEST(DialogTemplateReadingDeathTest, UnsupportedStylesWarnAndStopTheProgram) {
  const struct {
    std::uint32_t style;
    std::uint16_t class_ordinal;
    const char* name;
  } cases[] = {
      {0x50000008, kButtonClass, "BS_USERBUTTON"},
      {0x5000000B, kButtonClass, "BS_OWNERDRAW"},
      {0x50000002, kButtonClass, "<unknown>"},
      {0x5000000F, kButtonClass, "<unknown>"},
      {0x50000004, kEditClass, "ES_MULTILINE"},
      {0x50000030, kListBoxClass, "LBS_OWNERDRAWFIXED"},
      {0x50000020, kListBoxClass, "LBS_OWNERDRAWVARIABLE"},
      {0x50000013, kComboBoxClass, "CBS_OWNERDRAWFIXED"},
      {0x50000020, kComboBoxClass, "CBS_OWNERDRAWVARIABLE"},
  };
  for (const auto& c : cases) {
    const std::vector<std::uint8_t> bytes = HandTemplate(
        false, {{0x50000000, 1, kStaticClass, ""}, {c.style, 40001, c.class_ordinal, ""}});
    DialogRecord record;
    EXPECT_EXIT(BuildDialogRecord(bytes, record), ::testing::ExitedWithCode(0),
                std::string("Unsupported Dialog Control Style: Invalid style ") + c.name +
                    " used for control 40001\n")
        << c.name;
  }
  EXPECT_EQ(UnsupportedStyleText(-1, "BS_OWNERDRAW   "),
            "Invalid style BS_OWNERDRAW used for control -1");
}

}  // namespace
}  // namespace scenreg
