#include "runtime/text_field.h"

#include <algorithm>
#include <cstring>

namespace scenreg {

std::size_t TrimmedLength(std::string_view text) {
  std::size_t length = text.size();
  while (length > 0 && text[length - 1] == ' ') --length;
  return length;
}

std::string_view TrimmedText(std::string_view text) {
  return text.substr(0, TrimmedLength(text));
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() < b.size()) std::swap(a, b);
  if (!b.empty() && std::memcmp(a.data(), b.data(), b.size()) != 0) return false;
  return TrimmedLength(a.substr(b.size())) == 0;
}

}  // namespace scenreg
