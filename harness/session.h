#ifndef TAVORA_HARNESS_SESSION_H_
#define TAVORA_HARNESS_SESSION_H_

#include <cstdint>
#include <string>

#include "harness/unknown.h"
#include "harness/variant.h"

namespace harness {

// The diagnostics server's settings; a new object holds the current ones.
class HARNESS_API ServerSettings : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x24a29f6c, 0x7023, 0x43a8, {0xa7, 0x53, 0xb2, 0xf1, 0x9a, 0xb1, 0x62, 0xb9}};
  static constexpr Guid kClsid{
      0xf9d53908, 0x6b97, 0x4c3a, {0xad, 0xd5, 0x04, 0x34, 0x84, 0x4e, 0x33, 0x1f}};
  virtual std::u16string ServerName() = 0;
  virtual std::u16string UserName() = 0;
  virtual std::u16string Password() = 0;

 protected:
  ~ServerSettings() = default;
};

// Rows of a query. Positions count from 1; a bad one is error 9.
class HARNESS_API ResultSet : public IUnknown {
 public:
  static constexpr Guid kIid{
      0xe2587fe0, 0x1f6f, 0x44e0, {0x8a, 0x85, 0x0e, 0x1f, 0x46, 0xfa, 0x43, 0x71}};
  virtual int32_t RowCount() = 0;
  virtual Variant Value(int32_t row, int32_t column) = 0;
  // Beyond the datasets' needs: lets a person's query be printed.
  virtual int32_t ColumnCount() = 0;
  virtual std::u16string ColumnName(int32_t column) = 0;

 protected:
  ~ResultSet() = default;
};

// A connection that runs T-SQL. Execute runs a text of batches separated by
// lines holding only GO, in order, on one connection; the first failing
// statement makes the call throw the server's error.
class HARNESS_API SqlSession : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x7a98556e, 0x4a97, 0x4525, {0xb2, 0x54, 0x42, 0x90, 0xfd, 0xb8, 0xa4, 0x5f}};
  static constexpr Guid kClsid{
      0x4bacc9e2, 0x14b2, 0x4d4c, {0xb6, 0x0b, 0x78, 0x95, 0x93, 0x83, 0x1d, 0xbd}};
  // The integer setting written before Open (seconds to wait for a login).
  virtual void SetLoginTimeout(int32_t seconds) = 0;
  virtual void Open(const std::u16string& connection_string) = 0;
  virtual void Close() = 0;
  virtual ComPtr<ResultSet> Query(const std::u16string& statement) = 0;
  // Returns the server's informational messages; callers may discard them.
  virtual std::u16string Execute(int32_t option, const std::u16string& text) = 0;

 protected:
  ~SqlSession() = default;
};

}  // namespace harness

#endif  // TAVORA_HARNESS_SESSION_H_
