// An array handed out to the plug-in with canary values on both sides, so that
// a write past either end is found by canariesIntact().
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

namespace standin {

template <typename T>
class GuardedArray {
 public:
  static constexpr std::size_t kGuard = 16;

  GuardedArray() { resize(0); }

  void resize(std::size_t count) {
    count_ = count;
    storage_.assign(count + 2 * kGuard, canary());
    for (std::size_t i = 0; i < count; ++i) storage_[kGuard + i] = T{};
  }
  void assign(const std::vector<T>& values) {
    resize(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) storage_[kGuard + i] = values[i];
  }

  T* data() { return storage_.data() + kGuard; }
  const T* data() const { return storage_.data() + kGuard; }
  std::size_t size() const { return count_; }
  T& operator[](std::size_t i) { return data()[i]; }
  const T& operator[](std::size_t i) const { return data()[i]; }
  std::vector<T> values() const { return std::vector<T>(data(), data() + count_); }

  bool canariesIntact() const {
    const T expected = canary();
    for (std::size_t i = 0; i < kGuard; ++i) {
      if (std::memcmp(&storage_[i], &expected, sizeof(T)) != 0) return false;
      if (std::memcmp(&storage_[kGuard + count_ + i], &expected, sizeof(T)) != 0) return false;
    }
    return true;
  }

 private:
  static T canary() {
    T value;
    std::memset(&value, 0xA5, sizeof value);
    return value;
  }
  std::vector<T> storage_;
  std::size_t count_ = 0;
};

}  // namespace standin
