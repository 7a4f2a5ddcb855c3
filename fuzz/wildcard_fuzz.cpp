// The wildcard match against a plain reference matcher on short inputs. The
// input is the pattern, a NUL byte, then the text.
#include <optional>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "lists/masks.h"

using namespace keldar;

namespace {

// Straight from the rules: '?' is one character, '*' a run of them, empty
// too, except that once a character of the text was matched, a '*' met at
// the end of the text matches nothing.
class Reference {
 public:
  Reference(std::string_view p, std::string_view t)
      : p_(p), t_(t), memo_((p.size() + 1) * (t.size() + 1)) {}

  bool match() { return p_.empty() ? t_.empty() : at(0, 0); }

 private:
  bool at(std::size_t i, std::size_t j) {
    std::optional<bool>& known = memo_[i * (t_.size() + 1) + j];
    if (!known) known = compute(i, j);
    return *known;
  }

  bool only_stars_from(std::size_t i) const {
    return p_.find_first_not_of('*', i) == std::string_view::npos;
  }

  bool compute(std::size_t i, std::size_t j) {
    if (i == p_.size()) return j == t_.size();
    if (p_[i] == '*') {
      if (j == t_.size()) return j == 0 && only_stars_from(i);
      if (only_stars_from(i)) return true;
      for (std::size_t k = j; k < t_.size(); ++k) {
        if (at(i + 1, k)) return true;
      }
      return false;
    }
    if (j == t_.size()) return false;
    return (p_[i] == '?' || same_character(p_[i], t_[j])) && at(i + 1, j + 1);
  }

  std::string_view p_, t_;
  std::vector<std::optional<bool>> memo_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::bytes(data, size);
  const std::size_t nul = input.find('\0');
  if (nul == std::string_view::npos || size > 64) return -1;
  const std::string_view pattern = input.substr(0, nul);
  const std::string_view text = input.substr(nul + 1);
  FUZZ_CHECK(wildcard_match(pattern, text) == Reference(pattern, text).match());
  return 0;
}
