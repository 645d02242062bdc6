#ifndef TAVORA_HARNESS_KEYED_COLLECTION_H_
#define TAVORA_HARNESS_KEYED_COLLECTION_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "harness/error.h"

namespace harness {

// An ordered collection with unique string keys and positions counted from 1,
// failing the way the platform's collection does: a bad position is error 9,
// a missing key error 5, a duplicate key error 457. Keys compare exactly.
template <class T>
class KeyedCollection {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }

  void Add(std::u16string key, T item) {
    if (index_.count(key)) RaiseRuntime(errors::kDuplicateKey);
    index_.emplace(key, items_.size());
    items_.emplace_back(std::move(key), std::move(item));
  }

  // Position counts from 1.
  const T& At(int32_t position) const {
    if (position < 1 || position > Count()) RaiseRuntime(errors::kSubscript);
    return items_[position - 1].second;
  }
  const std::u16string& KeyAt(int32_t position) const {
    if (position < 1 || position > Count()) RaiseRuntime(errors::kSubscript);
    return items_[position - 1].first;
  }

  const T& Get(const std::u16string& key) const {
    auto it = index_.find(key);
    if (it == index_.end()) RaiseRuntime(errors::kInvalidCall);
    return items_[it->second].second;
  }
  bool Contains(const std::u16string& key) const { return index_.count(key) != 0; }

  void Remove(const std::u16string& key) {
    auto it = index_.find(key);
    if (it == index_.end()) RaiseRuntime(errors::kInvalidCall);
    size_t removed = it->second;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(removed));
    index_.erase(it);
    for (auto& [k, pos] : index_) {
      if (pos > removed) --pos;
    }
  }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::pair<std::u16string, T>> items_;
  std::unordered_map<std::u16string, size_t> index_;
};

}  // namespace harness

#endif  // TAVORA_HARNESS_KEYED_COLLECTION_H_
