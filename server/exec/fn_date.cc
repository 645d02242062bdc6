// The date functions. Weeks begin on Sunday and weekdays count from Sunday
// as 1, since this server's DATEFIRST is always 7 (us_english).

#include <chrono>
#include <ctime>
#include <limits>

#include "server/exec/functions.h"
#include "server/types/datetime.h"

namespace server {

namespace {

enum class DateUnit {
  kYear,
  kQuarter,
  kMonth,
  kDayOfYear,
  kDay,
  kWeek,
  kWeekday,
  kHour,
  kMinute,
  kSecond,
  kMillisecond
};

struct PartName {
  const char* name;
  DateUnit part;
};

// Every datepart SQL Server 2000 takes, with its abbreviations.
constexpr PartName kPartNames[] = {
    {"year", DateUnit::kYear},
    {"yy", DateUnit::kYear},
    {"yyyy", DateUnit::kYear},
    {"quarter", DateUnit::kQuarter},
    {"qq", DateUnit::kQuarter},
    {"q", DateUnit::kQuarter},
    {"month", DateUnit::kMonth},
    {"mm", DateUnit::kMonth},
    {"m", DateUnit::kMonth},
    {"dayofyear", DateUnit::kDayOfYear},
    {"dy", DateUnit::kDayOfYear},
    {"y", DateUnit::kDayOfYear},
    {"day", DateUnit::kDay},
    {"dd", DateUnit::kDay},
    {"d", DateUnit::kDay},
    {"week", DateUnit::kWeek},
    {"wk", DateUnit::kWeek},
    {"ww", DateUnit::kWeek},
    {"weekday", DateUnit::kWeekday},
    {"dw", DateUnit::kWeekday},
    {"hour", DateUnit::kHour},
    {"hh", DateUnit::kHour},
    {"minute", DateUnit::kMinute},
    {"mi", DateUnit::kMinute},
    {"n", DateUnit::kMinute},
    {"second", DateUnit::kSecond},
    {"ss", DateUnit::kSecond},
    {"s", DateUnit::kSecond},
    {"millisecond", DateUnit::kMillisecond},
    {"ms", DateUnit::kMillisecond},
};

constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

// The datepart word of args[0]; 155 when it names none.
Status ReadPart(const Scalar& word, const char* function, DateUnit& out) {
  const std::string& text = std::get<std::string>(word.value);
  for (const PartName& name : kPartNames) {
    if (EqualNoCase(text, name.name)) {
      out = name.part;
      return std::nullopt;
    }
  }
  return Raise(Msg::kDatepartOption, {text, function});
}

DateTime ReadStamp(const Scalar& date) {
  DateTime value;
  ParseDateTime(std::get<std::string>(date.value), value);
  return value;
}

bool LeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int MonthLength(int64_t year, int month) {
  static constexpr int kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && LeapYear(year) ? 29 : kLengths[month - 1];
}

// Day 0 (1900-01-01) was a Monday; Sunday is 1.
int64_t WeekdayOf(int64_t days) { return ((days + 1) % 7 + 7) % 7 + 1; }

// Sunday-to-Saturday weeks since the week before 1900-01-01.
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t WeekIndex(int64_t days) { return FloorDiv(days + 1, 7); }

int64_t PartOf(DateUnit part, const DateTime& value) {
  int64_t year = 0;
  int month = 0, day = 0;
  CivilFromDays(value.days, year, month, day);
  int64_t day_of_year = value.days - DaysFromCivil(year, 1, 1) + 1;
  switch (part) {
    case DateUnit::kYear:
      return year;
    case DateUnit::kQuarter:
      return (month - 1) / 3 + 1;
    case DateUnit::kMonth:
      return month;
    case DateUnit::kDayOfYear:
      return day_of_year;
    case DateUnit::kDay:
      return day;
    case DateUnit::kWeek:
      // Week 1 holds January 1st; a new week begins each Sunday.
      return WeekIndex(value.days) - WeekIndex(DaysFromCivil(year, 1, 1)) + 1;
    case DateUnit::kWeekday:
      return WeekdayOf(value.days);
    case DateUnit::kHour:
      return value.ms / 3600000;
    case DateUnit::kMinute:
      return value.ms / 60000 % 60;
    case DateUnit::kSecond:
      return value.ms / 1000 % 60;
    case DateUnit::kMillisecond:
      return value.ms % 1000;
  }
  return 0;
}

// The stored form of a datetime or smalldatetime result; 517 when it falls
// outside the type's range.
Status DateResult(DateTime value, const DataType& type, Scalar& out) {
  bool small = type.base == BaseType::kSmallDateTime;
  value = small ? RoundToMinute(value) : RoundToTicks(value);
  if (small ? !InSmallDateTimeRange(value) : !InDateTimeRange(value))
    return Raise(Msg::kDateAddOverflow, {Info(type.base).name});
  out = Scalar{type, FormatDateTime(value)};
  return std::nullopt;
}

Status DateAdd(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  DataType type = args[2].type.base == BaseType::kSmallDateTime ? args[2].type
                                                                : DefaultType(BaseType::kDateTime);
  out = Scalar{type, std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  DateUnit part;
  if (Status s = ReadPart(args[0], "dateadd", part)) return s;
  // The number counts whole units; a fraction is dropped.
  Scalar number, date;
  if (Status s = Coerce(Coherent(args[1]), DefaultType(BaseType::kInt), number)) return s;
  if (Status s = DateArgument(args[2], 3, "dateadd", date)) return s;
  int64_t n = std::get<int64_t>(number.value);
  DateTime value = ReadStamp(date);
  constexpr int64_t kFar = int64_t{1} << 40;  // beyond any datetime, without overflowing
  switch (part) {
    case DateUnit::kYear:
    case DateUnit::kQuarter:
    case DateUnit::kMonth: {
      int64_t months = part == DateUnit::kYear ? n * 12 : part == DateUnit::kQuarter ? n * 3 : n;
      int64_t year = 0;
      int month = 0, day = 0;
      CivilFromDays(value.days, year, month, day);
      int64_t total = year * 12 + (month - 1) + months;
      year = FloorDiv(total, 12);
      month = static_cast<int>(total - year * 12) + 1;
      if (year < 1 || year > 9999) return Raise(Msg::kDateAddOverflow, {Info(type.base).name});
      // The last day of a shorter month stands in for a day it lacks.
      day = std::min(day, MonthLength(year, month));
      value.days = DaysFromCivil(year, month, day);
      break;
    }
    case DateUnit::kDayOfYear:
    case DateUnit::kDay:
    case DateUnit::kWeekday:
    case DateUnit::kWeek:
      value.days += part == DateUnit::kWeek ? n * 7 : n;
      break;
    default: {
      int64_t unit = part == DateUnit::kHour     ? 3600000
                     : part == DateUnit::kMinute ? 60000
                     : part == DateUnit::kSecond ? 1000
                                                 : 1;
      int64_t ms = value.days * kMsPerDay + value.ms + std::max(-kFar, std::min(kFar, n)) * unit;
      value.days = FloorDiv(ms, kMsPerDay);
      value.ms = ms - value.days * kMsPerDay;
      break;
    }
  }
  return DateResult(value, type, out);
}

Status DateDiff(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  DateUnit part;
  if (Status s = ReadPart(args[0], "datediff", part)) return s;
  Scalar start, end;
  if (Status s = DateArgument(args[1], 2, "datediff", start)) return s;
  if (Status s = DateArgument(args[2], 3, "datediff", end)) return s;
  DateTime a = ReadStamp(start), b = ReadStamp(end);
  // The boundaries of the part crossed between the two.
  int64_t diff = 0;
  switch (part) {
    case DateUnit::kYear:
      diff = PartOf(DateUnit::kYear, b) - PartOf(DateUnit::kYear, a);
      break;
    case DateUnit::kQuarter:
      diff = (PartOf(DateUnit::kYear, b) * 4 + PartOf(DateUnit::kQuarter, b)) -
             (PartOf(DateUnit::kYear, a) * 4 + PartOf(DateUnit::kQuarter, a));
      break;
    case DateUnit::kMonth:
      diff = (PartOf(DateUnit::kYear, b) * 12 + PartOf(DateUnit::kMonth, b)) -
             (PartOf(DateUnit::kYear, a) * 12 + PartOf(DateUnit::kMonth, a));
      break;
    case DateUnit::kDayOfYear:
    case DateUnit::kDay:
    case DateUnit::kWeekday:
      diff = b.days - a.days;
      break;
    case DateUnit::kWeek:
      diff = WeekIndex(b.days) - WeekIndex(a.days);
      break;
    case DateUnit::kHour:
      diff = (b.days * 24 + b.ms / 3600000) - (a.days * 24 + a.ms / 3600000);
      break;
    case DateUnit::kMinute:
      diff = (b.days * 1440 + b.ms / 60000) - (a.days * 1440 + a.ms / 60000);
      break;
    case DateUnit::kSecond:
      diff = (b.days * 86400 + b.ms / 1000) - (a.days * 86400 + a.ms / 1000);
      break;
    case DateUnit::kMillisecond:
      diff = (b.days * kMsPerDay + b.ms) - (a.days * kMsPerDay + a.ms);
      break;
  }
  if (diff < std::numeric_limits<int32_t>::min() || diff > std::numeric_limits<int32_t>::max())
    return Raise(Msg::kDateDiffOverflow);
  out.value = diff;
  return std::nullopt;
}

Status DatePart(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  DateUnit part;
  if (Status s = ReadPart(args[0], "datepart", part)) return s;
  Scalar date;
  if (Status s = DateArgument(args[1], 2, "datepart", date)) return s;
  out.value = PartOf(part, ReadStamp(date));
  return std::nullopt;
}

Status DateName(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DataType{BaseType::kNVarChar, 30, 0, 0}, std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  DateUnit part;
  if (Status s = ReadPart(args[0], "datename", part)) return s;
  Scalar date;
  if (Status s = DateArgument(args[1], 2, "datename", date)) return s;
  int64_t value = PartOf(part, ReadStamp(date));
  if (part == DateUnit::kMonth) {
    out.value = std::string(kMonthNames[value - 1]);
  } else if (part == DateUnit::kWeekday) {
    out.value = std::string(kDayNames[value - 1]);
  } else {
    out.value = std::to_string(value);
  }
  return std::nullopt;
}

// DAY, MONTH and YEAR: DATEPART of one part.
template <DateUnit kPart>
Status PartFunction(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  if (args[0].is_null()) return std::nullopt;
  const char* name = kPart == DateUnit::kDay ? "day" : kPart == DateUnit::kMonth ? "month" : "year";
  Scalar date;
  if (Status s = DateArgument(args[0], 1, name, date)) return s;
  out.value = PartOf(kPart, ReadStamp(date));
  return std::nullopt;
}

// GETDATE in local time, GETUTCDATE in UTC.
template <bool kUtc>
Status Now(const FunctionArgs&, const EvalScope&, Scalar& out) {
  // The clock's milliseconds round to datetime's ticks like any other value.
  out = Scalar{DefaultType(BaseType::kDateTime),
               FormatDateTime(DateTimeAt(std::chrono::system_clock::now(), kUtc))};
  return std::nullopt;
}

constexpr FunctionRow kDateFunctions[] = {
    {"DATEADD", 3, 3, DateAdd, true},
    {"DATEDIFF", 3, 3, DateDiff, true},
    {"DATEPART", 2, 2, DatePart, true},
    {"DATENAME", 2, 2, DateName, true},
    {"DAY", 1, 1, PartFunction<DateUnit::kDay>},
    {"MONTH", 1, 1, PartFunction<DateUnit::kMonth>},
    {"YEAR", 1, 1, PartFunction<DateUnit::kYear>},
    {"GETDATE", 0, 0, Now<false>},
    {"GETUTCDATE", 0, 0, Now<true>},
};

}  // namespace

std::span<const FunctionRow> DateFunctions() { return kDateFunctions; }

}  // namespace server
