// Fixed-length text fields: texts of a fixed number of single-byte
// characters, blank-padded on the right. Every text the system keeps is one.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <span>
#include <string_view>

namespace scenreg {

template <std::size_t N>
struct TextField {
  std::array<char, N> chars;

  std::span<char> span() { return chars; }
  std::string_view view() const { return {chars.data(), N}; }
};

// Position of the last character that is not a blank; 0 for blanks only.
// Only the blank counts as padding: a trailing tab belongs to the value.
std::size_t TrimmedLength(std::string_view text);

// The text cut to its trimmed length.
std::string_view TrimmedText(std::string_view text);

// Equal when every byte agrees once the shorter text is padded with blanks.
bool SameText(std::string_view a, std::string_view b);

// Copies as much of the value as fits and fills the rest with blanks. Every
// record read goes through here, so the field lengths in use get a blank
// fill of constant size, a few stores instead of a call.
inline void AssignText(std::span<char> field, std::string_view value) {
  switch (field.size()) {
    case 20:
      std::memset(field.data(), ' ', 20);
      break;
    case 80:
      std::memset(field.data(), ' ', 80);
      break;
    case 256:
      std::memset(field.data(), ' ', 256);
      break;
    default:
      std::memset(field.data(), ' ', field.size());
  }
  const std::size_t copied = value.size() < field.size() ? value.size() : field.size();
  if (copied > 0) std::memcpy(field.data(), value.data(), copied);
}

template <std::size_t N>
TextField<N> MakeTextField(std::string_view value) {
  TextField<N> field;
  AssignText(field.span(), value);
  return field;
}

}  // namespace scenreg
