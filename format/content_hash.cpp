#include "format/content_hash.h"

// xxHash is used as a header only: its functions are compiled into this
// file, and nothing is linked.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace keldar {
namespace {

ContentHash canonical(XXH128_hash_t value) {
  XXH128_canonical_t bytes;
  XXH128_canonicalFromHash(&bytes, value);
  ContentHash hash;
  for (std::size_t i = 0; i < hash.size(); ++i) hash[i] = bytes.digest[i];
  return hash;
}

}  // namespace

struct ContentHasher::State {
  XXH3_state_t xxh;
};

ContentHasher::ContentHasher() : state_(std::make_unique<State>()) { reset(); }

ContentHasher::~ContentHasher() = default;

void ContentHasher::reset() { (void)XXH3_128bits_reset(&state_->xxh); }

void ContentHasher::update(const void* data, std::size_t size) {
  (void)XXH3_128bits_update(&state_->xxh, data, size);
}

ContentHash ContentHasher::digest() const { return canonical(XXH3_128bits_digest(&state_->xxh)); }

ContentHash content_hash(const void* data, std::size_t size) {
  return canonical(XXH3_128bits(data, size));
}

std::string hash_text(const ContentHash& hash) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(hash.size() * 2);
  for (std::uint8_t byte : hash) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

}  // namespace keldar
