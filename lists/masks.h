// The mask lookup and its wildcard match.
#pragma once

#include <cstdint>
#include <string_view>

#include "store/mask_table.h"

namespace keldar {

namespace mask_lookup_result {
inline constexpr std::int16_t kFolder = -1;   // a folder name: allowed
inline constexpr std::int16_t kNoMatch = -2;  // no mask matches: not allowed
}  // namespace mask_lookup_result

// Whether pattern byte `p` stands for text byte `t`: equal, or both in
// 0x40..0x7F and differing only in bit 0x20 (so ASCII letters match
// whatever their case; bytes from 0x80 up, Cyrillic among them, match only
// themselves).
bool same_character(char p, char t);

// '*' matches any run of characters (an empty one too, except after the
// whole text was consumed), '?' exactly one character.
bool wildcard_match(std::string_view pattern, std::string_view text);

// The index of the first mask whose name part and extension match those of
// the relative name; -1 for a folder (a name ending in a backslash), -2 when
// no mask matches. A name or a pattern without an extension has the empty
// extension.
std::int16_t mask_lookup(const MaskTable& masks, std::string_view relative_name);

// Whether copying and deleting are allowed for a name by the masks (or by
// the force flag, which allows everything).
struct MaskPermissions {
  std::int16_t mask = mask_lookup_result::kNoMatch;
  bool copy = false;
  bool remove = false;
};
MaskPermissions mask_permissions(const MaskTable& masks, std::string_view relative_name,
                                 bool force);

}  // namespace keldar
