#ifndef TAVORA_SERVER_TYPES_SCALAR_H_
#define TAVORA_SERVER_TYPES_SCALAR_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/engine.h"
#include "server/errors.h"
#include "server/types/data_type.h"

namespace server {

// A typed value: what literals are, what expressions compute and what the
// conversions take. The value follows the storage rules of engine.h's Value.
struct Scalar {
  DataType type;
  Value value;
  // The NULL constant: typed int, but where it meets a value of another type
  // (CASE, COALESCE, ISNULL, + and the comparisons) it takes that type, as
  // SQL Server's untyped NULL does. Whatever is computed from it is typed.
  bool untyped = false;
  // For an integer written as a constant, its digits: beside a decimal it
  // counts as a decimal of just those (3 is decimal(1,0), not int's
  // decimal(10,0)), which sets the scale of 1.0 / 3 as SQL Server does.
  int constant_digits = 0;

  bool is_null() const { return std::holds_alternative<std::monostate>(value); }
};

// The NULL constant (untyped).
Scalar NullScalar();
Scalar IntScalar(int64_t value, BaseType base = BaseType::kInt);
// A varchar (or nvarchar) whose declared length is the text's length.
Scalar StringScalar(std::string text, bool unicode = false);
Scalar FloatScalar(double value);
Scalar BinaryScalar(std::vector<uint8_t> bytes);

// The type a bare value carries: bigint, float, varchar or varbinary. Used for
// sql_variant contents and for values read back without a declared type.
DataType NaturalType(const Value& value);

// The value itself when its held kind matches its declared type; otherwise
// (sql_variant contents, a damaged state file) the value at its natural type.
Scalar Coherent(const Scalar& in);

// Converts `in` for storing into `target`, as INSERT, UPDATE and parameters
// do: SQL Server 2000's implicit conversion rules. With `explicit_cast`, as
// CAST gives, character data converts to binary too, and character or binary
// data too long for the target is cut instead of failing with 8152. Errors
// are the server's conversion messages (245, 8114, 8115, 220, 241, 242, 257,
// 206, 8152, ...).
Status Convert(const Scalar& in, const DataType& target, bool explicit_cast, Value& out);

// Whether `v` is a value of integer type `base` (bit: 0 or 1; bigint: any).
inline bool IntegerInRange(int64_t v, BaseType base) {
  switch (base) {
    case BaseType::kBit:
      return v == 0 || v == 1;
    case BaseType::kTinyInt:
      return v >= 0 && v <= 255;
    case BaseType::kSmallInt:
      return v >= -32768 && v <= 32767;
    case BaseType::kInt:
      return v >= -2147483648LL && v <= 2147483647LL;
    default:
      return true;
  }
}

// Convert for storing into a column (INSERT, UPDATE): under SET
// ANSI_WARNINGS OFF, character or binary data too long for the column is
// cut to fit instead of failing with 8152.
Status ConvertForStore(const Scalar& in, const DataType& target, bool ansi_warnings, Value& out);

// Whether a value of `from` may convert to `to` at all: the conversion's
// 206 or 257 when the pair is never allowed, whatever the value; nothing
// when it is allowed (a value may still fail: 245, 8115, ...).
Status CheckConvertible(const DataType& from, const DataType& to, bool explicit_cast);

// CONVERT(target, in, style): an explicit conversion whose style picks the
// text of datetime, money, float and real values converted to character data
// and the order of the fields of character data converted to datetime. A
// style means nothing to other pairs of types and is ignored there, as SQL
// Server ignores it; an undefined date style is error 281.
Status ConvertStyled(const Scalar& in, const DataType& target, int style, Value& out);

// The value as SQL Server's default conversion to varchar writes it
// ("31.99" for money, "Jan  1 2001 12:00AM" for datetime, hex for binary
// is written "0x11"). NULL gives "NULL".
std::string ScalarText(const Scalar& scalar);

// Characters in a UTF-8 text (code points), as length checks count them.
size_t CharacterCount(std::string_view text);

// Canonical uppercase form of a uniqueidentifier text (braces optional).
bool ParseGuid(std::string_view text, std::string& out);
// A uniqueidentifier text made from a server's seed and a counter: distinct
// for every counter value of one seed.
std::string GuidFromNumbers(uint64_t seed, uint64_t counter);

}  // namespace server

#endif  // TAVORA_SERVER_TYPES_SCALAR_H_
