#ifndef TAVORA_HARNESS_UNKNOWN_H_
#define TAVORA_HARNESS_UNKNOWN_H_

#include <atomic>
#include <cstdint>
#include <tuple>
#include <utility>

#include "harness/export.h"
#include "harness/guid.h"

namespace harness {

// Platform result codes, used only at QueryInterface and the C exports.
using HResult = int32_t;
inline constexpr HResult kOk = 0;
inline constexpr HResult kFalse = 1;
inline constexpr HResult kNoInterface = static_cast<HResult>(0x80004002);
inline constexpr HResult kPointer = static_cast<HResult>(0x80004003);
inline constexpr HResult kFail = static_cast<HResult>(0x80004005);
inline constexpr HResult kClassNotAvailable = static_cast<HResult>(0x80040111);
inline constexpr HResult kNoAggregation = static_cast<HResult>(0x80040110);
inline constexpr HResult kOutOfMemory = static_cast<HResult>(0x8007000E);
inline constexpr HResult kAccessDenied = static_cast<HResult>(0x80070005);

// The root of every interface: no data and no virtual destructor, so the
// binary layout is the platform's (objects are freed by Release).
class HARNESS_API IUnknown {
 public:
  static constexpr Guid kIid{
      0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

  // On success stores an AddRef'ed pointer in *object and returns kOk;
  // otherwise stores nullptr and returns kNoInterface.
  virtual HResult QueryInterface(const Guid& iid, void** object) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

// Intrusive owning pointer: AddRef on copy, Release on destruction.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference to `raw`.
  explicit ComPtr(T* raw) : ptr_(raw) {
    if (ptr_) ptr_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.ptr_) {}
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  template <class U>
  ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.get())) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(ptr_, other.ptr_);
    return *this;
  }

  // Adopts a pointer that already carries a reference (a QueryInterface result).
  static ComPtr Adopt(T* raw) {
    ComPtr p;
    p.ptr_ = raw;
    return p;
  }

  void reset() {
    if (T* p = std::exchange(ptr_, nullptr)) p->Release();
  }
  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.ptr_ == b.ptr_; }

 private:
  T* ptr_ = nullptr;
};

// Asks `from` for interface I; an empty pointer when it does not support it.
template <class I, class U>
ComPtr<I> QueryAs(U* from) {
  if (!from) return {};
  void* out = nullptr;
  if (from->QueryInterface(I::kIid, &out) != kOk) return {};
  return ComPtr<I>::Adopt(static_cast<I*>(out));
}
template <class I, class U>
ComPtr<I> QueryAs(const ComPtr<U>& from) {
  return QueryAs<I>(from.get());
}

// Reference counting and a QueryInterface generated from the list of
// interfaces the class implements. Objects are made with MakeObject.
template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  HResult QueryInterface(const Guid& iid, void** object) override {
    if (!object) return kPointer;
    *object = nullptr;
    if (iid == IUnknown::kIid) {
      *object = static_cast<IUnknown*>(
          static_cast<std::tuple_element_t<0, std::tuple<Interfaces...>>*>(this));
    } else {
      ((iid == Interfaces::kIid && !*object ? (*object = static_cast<Interfaces*>(this), true)
                                            : false) ||
       ...);
    }
    if (!*object) return kNoInterface;
    AddRef();
    return kOk;
  }
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override {
    uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 private:
  std::atomic<uint32_t> references_{0};
};

// Creates an object and hands back its first reference.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace harness

#endif  // TAVORA_HARNESS_UNKNOWN_H_
