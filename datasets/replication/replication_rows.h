#ifndef TAVORA_DATASETS_REPLICATION_REPLICATION_ROWS_H_
#define TAVORA_DATASETS_REPLICATION_REPLICATION_ROWS_H_

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "datasets/model_rows.h"

namespace tavora::replication {

// The FTP host every publication's FtpAddress is changed to; any host name
// serves, so a reserved example name keeps the model from naming a real one.
inline constexpr std::u16string_view kFtpHost = u"ftp.example.com";

inline constexpr std::u16string_view kActiveDirectoryNote =
    u"This property can only be changed if Active Directory is installed on the server.";

// The one declared column "fldRecordID" (INT) of every published table.
inline constexpr PropertyRow kRecordIdColumnRows[] = {
    Mod(u"Name", S(u"fldRecordID"), S(u"fldRecordID2")),
    Mod(u"AllowNulls", B(false), kNull),
    Fixed(u"DataType", S(u"int")),
    Mod(u"DefaultValue", S(u""), S(u"(1)")),
    Mod(u"Formula", S(u""), kNull),
    Fixed(u"SupportsFullTextQueries", B(false)),
};

// A value in which one object's record differs from the rows it shares with
// its twins. An empty part keeps the row's own value; the modifiable flag and
// the note always stay.
struct Difference {
  std::u16string_view property;
  std::optional<Value> original = std::nullopt;
  std::optional<Value> new_value = std::nullopt;
};

// Applies each difference to the row of the same name. A difference that
// names no row is a fault in the tables and fails with error 51, so a typo
// cannot drop a value silently.
void ApplyDifferences(std::vector<PropertyRow>& rows, std::span<const Difference> differences);

}  // namespace tavora::replication

#endif  // TAVORA_DATASETS_REPLICATION_REPLICATION_ROWS_H_
