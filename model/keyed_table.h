// A table keyed by a 16-bit number with the walk order of the program's hash maps: 17 buckets,
// key k in bucket (k / 16) % 17, each new key at the head of its bucket's chain. Walking visits
// buckets 0 to 16 and each chain from its head, so keys 1..15 come first (most recently inserted
// first), then 16..31, and so on. Node-table order and the graph legend order are this walk.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace varlo {

template <class Value>
class CKeyedTable {
 public:
  static constexpr int kBucketCount = 17;

  struct Entry {
    std::uint16_t key;
    Value value;
  };

  static constexpr int BucketOf(std::uint16_t key) { return (key >> 4) % kBucketCount; }

  // Enters value under key. An existing entry of the same key keeps its place in the walk and
  // gets the new value; returns the value it held (default-constructed when the key was new).
  Value SetAt(std::uint16_t key, Value value) {
    auto& chain = buckets_[BucketOf(key)];
    for (auto& e : chain) {
      if (e.key == key) {
        std::swap(e.value, value);
        return value;
      }
    }
    // Chains are stored tail first: the head of the chain is the back of the vector.
    chain.push_back(Entry{key, std::move(value)});
    ++size_;
    return Value{};
  }

  Value* Find(std::uint16_t key) {
    for (auto& e : buckets_[BucketOf(key)]) {
      if (e.key == key) return &e.value;
    }
    return nullptr;
  }
  const Value* Find(std::uint16_t key) const {
    for (const auto& e : buckets_[BucketOf(key)]) {
      if (e.key == key) return &e.value;
    }
    return nullptr;
  }

  // Removes the key; returns its value (default-constructed when absent).
  Value Remove(std::uint16_t key) {
    auto& chain = buckets_[BucketOf(key)];
    for (size_t i = 0; i < chain.size(); ++i) {
      if (chain[i].key == key) {
        Value v = std::move(chain[i].value);
        chain.erase(chain.begin() + static_cast<std::ptrdiff_t>(i));
        --size_;
        return v;
      }
    }
    return Value{};
  }

  // Where the key stands in its bucket's chain, counted from the tail (-1 when absent). Removing
  // the key and entering it again with InsertAt at this index, the chain otherwise unchanged,
  // gives back the same walk order (undo of a deleted node relies on it).
  std::ptrdiff_t ChainIndexOf(std::uint16_t key) const {
    const auto& chain = buckets_[BucketOf(key)];
    for (size_t i = 0; i < chain.size(); ++i) {
      if (chain[i].key == key) return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
  }

  // Enters a key that is not in the table at a chain index from ChainIndexOf (clamped to the chain).
  void InsertAt(std::uint16_t key, Value value, std::ptrdiff_t chainIndex) {
    auto& chain = buckets_[BucketOf(key)];
    const auto index = std::clamp<std::ptrdiff_t>(chainIndex, 0, static_cast<std::ptrdiff_t>(chain.size()));
    chain.insert(chain.begin() + index, Entry{key, std::move(value)});
    ++size_;
  }

  bool Contains(std::uint16_t key) const { return Find(key) != nullptr; }
  size_t Size() const { return size_; }
  bool Empty() const { return size_ == 0; }

  void Clear() {
    for (auto& c : buckets_) c.clear();
    size_ = 0;
  }

  // Calls f(key, value) for every entry in walk order. f must not change the table.
  template <class F>
  void ForEach(F&& f) {
    for (auto& chain : buckets_) {
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) f(it->key, it->value);
    }
  }
  template <class F>
  void ForEach(F&& f) const {
    for (const auto& chain : buckets_) {
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) f(it->key, it->value);
    }
  }

  // The keys in walk order (a snapshot, safe to use while the table changes).
  std::vector<std::uint16_t> Keys() const {
    std::vector<std::uint16_t> keys;
    keys.reserve(size_);
    ForEach([&](std::uint16_t k, const Value&) { keys.push_back(k); });
    return keys;
  }

 private:
  std::array<std::vector<Entry>, kBucketCount> buckets_;
  size_t size_ = 0;
};

}  // namespace varlo
