#include "format/carrier_files.h"

#include <cstdio>

namespace keldar {
namespace {

constexpr std::string_view kTemporaryPrefix = "~kld";
constexpr std::string_view kTemporarySuffix = ".tmp";

// Skips a run of at least one decimal digit from `at`; false when there is none.
bool skip_digits(std::string_view name, std::size_t& at) {
  const std::size_t start = at;
  while (at < name.size() && name[at] >= '0' && name[at] <= '9') ++at;
  return at > start;
}

}  // namespace

std::string list_file_name(std::int16_t object_id) {
  char text[16];
  std::snprintf(text, sizeof text, "%05i", static_cast<int>(object_id));
  return text;
}

std::string list_file(std::int16_t object_id) { return list_file_name(object_id) + ".QRN"; }

std::string old_list_file(std::int16_t object_id) { return list_file_name(object_id) + ".QRV"; }

std::string sum_file(std::int16_t object_id) { return list_file_name(object_id) + ".SUM"; }

std::string temporary_name(std::uint64_t process, std::uint64_t number) {
  return std::string(kTemporaryPrefix) + std::to_string(process) + "-" + std::to_string(number) +
         std::string(kTemporarySuffix);
}

bool is_temporary_name(std::string_view name) {
  if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) return false;
  name.remove_suffix(kTemporarySuffix.size());
  std::size_t at = kTemporaryPrefix.size();
  if (!skip_digits(name, at) || at >= name.size() || name[at] != '-') return false;
  ++at;
  return skip_digits(name, at) && at == name.size();
}

}  // namespace keldar
