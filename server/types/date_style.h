#ifndef TAVORA_SERVER_TYPES_DATE_STYLE_H_
#define TAVORA_SERVER_TYPES_DATE_STYLE_H_

#include <string>

#include "server/types/datetime.h"

namespace server {

// What CONVERT's style number means for datetime and smalldatetime.
enum class DateStyle {
  kUndefined,  // not one of SQL Server 2000's styles: error 281
  kHijri,      // 130 and 131, the Hijri calendar, which this server does not have
  kGregorian,  // 0-14, 20, 21, 100-114, 120, 121, 126
};
DateStyle ClassifyDateStyle(int style);

// The text of `value` in a Gregorian style: 1 "mm/dd/yy", 101 "mm/dd/yyyy",
// 9 "mon dd yyyy hh:mi:ss:mmmAM", 120 "yyyy-mm-dd hh:mi:ss" and so on.
std::string FormatDateStyle(const DateTime& value, int style);

// The field order a Gregorian style's dates are read in (103 is dd/mm/yyyy).
DateOrder DateStyleOrder(int style);

}  // namespace server

#endif  // TAVORA_SERVER_TYPES_DATE_STYLE_H_
