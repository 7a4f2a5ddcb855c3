// The content hash of a carrier copy: XXH3 with 128 bits (xxHash), fed a
// block at a time as the copy is written, so that the file is read once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace keldar {

// The hash in xxHash's canonical form (big-endian), as files keep it.
using ContentHash = std::array<std::uint8_t, 16>;

class ContentHasher {
 public:
  ContentHasher();
  ~ContentHasher();
  ContentHasher(const ContentHasher&) = delete;
  ContentHasher& operator=(const ContentHasher&) = delete;

  // Starts a new hash.
  void reset();
  void update(const void* data, std::size_t size);
  // The hash of everything fed since the last reset.
  ContentHash digest() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The hash of `size` bytes at `data` in one piece.
ContentHash content_hash(const void* data, std::size_t size);

// 32 lowercase hexadecimal digits.
std::string hash_text(const ContentHash& hash);

}  // namespace keldar
