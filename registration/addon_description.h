// The add-on description, scconf.txt: title, scenery folder, welcome text.
#pragma once

#include "runtime/text_field.h"

namespace scenreg {

inline constexpr int kDescriptionUnit = 2;
inline constexpr const char* kDescriptionFileName = "scconf.txt";

struct AddonDescription {
  TextField<20> title;
  TextField<80> local_path;
  TextField<256> welcome_text;
};

// Reads the three lines of scconf.txt. The first two are required: without
// them the program ends with the fatal end-of-file error. Returns whether
// the third line was read; only then is the file closed here, otherwise it
// stays open for the orderly stop to close.
// The registration creates a missing scconf.txt empty, as its open does;
// the remover, which creates no file, fails on it with file-not-found.
enum class MissingDescription { kCreateEmpty, kFail };
bool ReadAddonDescription(AddonDescription& description,
                          MissingDescription missing = MissingDescription::kCreateEmpty);

}  // namespace scenreg
