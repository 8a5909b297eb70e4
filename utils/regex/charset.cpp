// The class-name masks and the six built-in character sets.
#include "utils/regex/detail/charset.h"

#include <array>

namespace regex {
namespace detail {

namespace {

const char *const class_names[char_class_count] = {
    "alnum", "alpha", "blank", "cntrl", "digit", "graph", "lower", "print", "punct", "space", "upper", "xdigit",
};

std::array<class_mask, char_class_count> lookup_class_masks() {
  std::array<class_mask, char_class_count> masks{};
  for (int i = 0; i < char_class_count; ++i) masks[i] = win_wctype(class_names[i]);
  masks[cls_blank] = _BLANK;  // unknown to the class-name lookup
  return masks;
}

class_mask word_mask() { return class_mask(class_mask_for(cls_alpha) | class_mask_for(cls_digit)); }

}  // namespace

class_mask class_mask_for(char_class cls) {
  static const std::array<class_mask, char_class_count> masks = lookup_class_masks();
  return masks[cls];
}

// Each set is made on first use under the guard of a function-local static
// and deliberately never destroyed (see the header).
const charset *intrinsic_charsets::get_word_charset() {
  static const charset *const s = new intrinsic_charset(false, word_mask(), "_");
  return s;
}
const charset *intrinsic_charsets::get_digit_charset() {
  static const charset *const s = new intrinsic_charset(false, class_mask_for(cls_digit), "");
  return s;
}
const charset *intrinsic_charsets::get_space_charset() {
  static const charset *const s = new intrinsic_charset(false, class_mask_for(cls_space), "");
  return s;
}
const charset *intrinsic_charsets::get_not_word_charset() {
  static const charset *const s = new intrinsic_charset(true, word_mask(), "_");
  return s;
}
const charset *intrinsic_charsets::get_not_digit_charset() {
  static const charset *const s = new intrinsic_charset(true, class_mask_for(cls_digit), "");
  return s;
}
const charset *intrinsic_charsets::get_not_space_charset() {
  static const charset *const s = new intrinsic_charset(true, class_mask_for(cls_space), "");
  return s;
}

}  // namespace detail
}  // namespace regex
