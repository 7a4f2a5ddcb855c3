#include "lists/masks.h"

namespace keldar {
namespace {

struct NameParts {
  std::string_view name;
  std::string_view extension;  // the text after the last dot
};

// Splits the last component of a path into name and extension text.
NameParts split(std::string_view path) {
  std::size_t slash = path.find_last_of("\\/");
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return {path, {}};
  return {path.substr(0, dot), path.substr(dot + 1)};
}

bool match_from(std::string_view p, std::size_t i, std::string_view t, std::size_t j);

// From a '*' at p[i]: the rest of the pattern against some tail of the text.
bool match_star(std::string_view p, std::size_t i, std::string_view t, std::size_t j) {
  while (i < p.size() && p[i] == '*') ++i;
  if (i == p.size()) return true;
  if (j == t.size()) return false;
  const char c = p[i];
  for (;;) {
    while (j < t.size() && !(c == '?' || same_character(c, t[j]))) ++j;
    if (j == t.size()) return false;
    if (match_from(p, i, t, j)) return true;
    if (++j == t.size()) return false;
  }
}

bool match_from(std::string_view p, std::size_t i, std::string_view t, std::size_t j) {
  if (p[i] == '*') return match_star(p, i, t, j);
  for (;;) {
    if (j == t.size()) return false;
    if (p[i] != '?' && !same_character(p[i], t[j])) return false;
    ++i;
    ++j;
    if (i == p.size()) return j == t.size();
    if (j == t.size()) return false;
    if (p[i] == '*') return match_star(p, i, t, j);
  }
}

}  // namespace

bool same_character(char p, char t) {
  auto a = static_cast<unsigned char>(p);
  auto b = static_cast<unsigned char>(t);
  if (a == b) return true;
  return a >= 0x40 && a <= 0x7F && b >= 0x40 && b <= 0x7F && (a ^ b) == 0x20;
}

bool wildcard_match(std::string_view pattern, std::string_view text) {
  if (pattern.empty()) return text.empty();
  return match_from(pattern, 0, text, 0);
}

std::int16_t mask_lookup(const MaskTable& masks, std::string_view relative_name) {
  if (!relative_name.empty() && relative_name.back() == '\\') return mask_lookup_result::kFolder;
  NameParts name = split(relative_name);
  for (int i = 0; i < masks.count(); ++i) {
    std::string pattern = masks.record(i).pattern();
    NameParts mask = split(pattern);
    if (wildcard_match(mask.name, name.name) && wildcard_match(mask.extension, name.extension)) {
      return static_cast<std::int16_t>(i);
    }
  }
  return mask_lookup_result::kNoMatch;
}

MaskPermissions mask_permissions(const MaskTable& masks, std::string_view relative_name,
                                 bool force) {
  MaskPermissions p;
  p.mask = mask_lookup(masks, relative_name);
  if (force || p.mask == mask_lookup_result::kFolder) {
    p.copy = p.remove = true;
  } else if (p.mask >= 0) {
    p.copy = masks.record(p.mask).allow_copy();
    p.remove = masks.record(p.mask).allow_delete();
  }
  return p;
}

}  // namespace keldar
