#include "platform/file_system.h"

namespace keldar {

namespace {

// Skips a run of at least one decimal digit from `at`; false when there is none.
bool skip_digits(std::string_view name, std::size_t& at) {
  const std::size_t start = at;
  while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
  return at > start;
}

}  // namespace

bool is_temporary_name(std::string_view name) {
  constexpr std::string_view kPrefix = "~kld";
  constexpr std::string_view kSuffix = ".tmp";
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
  name.remove_suffix(kSuffix.size());
  std::size_t at = kPrefix.size();
  if (!skip_digits(name, at) || at >= name.size() || name[at] != '-') return false;
  ++at;
  return skip_digits(name, at) && at == name.size();
}

}  // namespace keldar
