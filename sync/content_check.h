// What a copy's bytes are: its size and content hash as copy_file or
// read_through shows it, checked against the sum record of its source when
// there is one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "format/content_hash.h"
#include "format/sum_file.h"
#include "platform/file_system.h"

namespace keldar {

class ContentCheck final : public CopyObserver {
 public:
  // `expected`: the record the bytes must match; nullptr hashes only.
  explicit ContentCheck(const SumRecord* expected) {
    if (expected) expected_ = *expected;
  }
  void data(const void* bytes, std::size_t size) override {
    hasher_.update(bytes, size);
    size_ += size;
  }
  // Whether the bytes seen are the recorded ones (or nothing was recorded).
  bool accept() override {
    accepted_ = !expected_ || (size_ == expected_->size && hasher_.digest() == expected_->hash);
    damaged_ = !accepted_;
    return accepted_;
  }
  // accept() was asked and said yes: the copy was written whole and kept.
  bool accepted() const { return accepted_; }
  // accept() was asked and said no.
  bool damaged() const { return damaged_; }
  std::uint64_t size() const { return size_; }
  ContentHash hash() const { return hasher_.digest(); }

 private:
  std::optional<SumRecord> expected_;
  ContentHasher hasher_;
  std::uint64_t size_ = 0;
  bool accepted_ = false;
  bool damaged_ = false;
};

}  // namespace keldar
