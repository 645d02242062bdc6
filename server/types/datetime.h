#ifndef TAVORA_SERVER_TYPES_DATETIME_H_
#define TAVORA_SERVER_TYPES_DATETIME_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace server {

// A point in time as SQL Server counts it: days since 1900-01-01 and
// milliseconds into the day.
struct DateTime {
  int64_t days = 0;
  int64_t ms = 0;
};

enum class DateParse { kOk, kSyntax, kRange };

// Reads a date and/or time as SQL Server does under us_english (DATEFORMAT
// mdy): "01/01/2001", "2001-01-01", "20010101", "Jan  1 2001 12:00AM",
// "2001-01-01T10:20:30.123", "10:20" and the empty string (1900-01-01). A
// well-formed text naming a day that does not exist is kRange.
DateParse ParseDateTime(std::string_view text, DateTime& out);

// Whether the value lies in datetime's (1753-9999) or smalldatetime's
// (1900-01-01 to 2079-06-06) range.
bool InDateTimeRange(const DateTime& value);
bool InSmallDateTimeRange(const DateTime& value);

// smalldatetime keeps whole minutes: seconds round to the nearest minute.
DateTime RoundToMinute(const DateTime& value);

// "2001-01-01 00:00:00.000": the stored form (smalldatetime uses ":00.000" too
// after rounding, so every stored form parses back).
std::string FormatDateTime(const DateTime& value);
// SQL Server's default conversion to text: "Jan  1 2001 12:00AM".
std::string FormatDateTimeStyle0(const DateTime& value);

// Days since 1900-01-01 of a civil date, and back.
int64_t DaysFromCivil(int64_t year, int month, int day);
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day);

}  // namespace server

#endif  // TAVORA_SERVER_TYPES_DATETIME_H_
