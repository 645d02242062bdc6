#include "server/types/datetime.h"

#include <cstdio>
#include <ctime>

#include "server/types/collation.h"

namespace server {

namespace {

constexpr const char* kMonthNames[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// A cursor over the text being read.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }
  void Skip(size_t n = 1) { pos_ += n; }
  void SkipBlanks() {
    while (Peek() == ' ' || Peek() == '\t') ++pos_;
  }
  // A run of digits (at most 9, enough for any field) and its length.
  bool Number(int64_t& value, int& digits) {
    value = 0;
    digits = 0;
    while (IsDigit(Peek())) {
      if (digits < 9) value = value * 10 + (Peek() - '0');
      ++digits;
      ++pos_;
    }
    return digits > 0;
  }
  std::string Word() {
    std::string word;
    while (IsAlpha(Peek())) word += text_[pos_++];
    return word;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

int MonthFromName(const std::string& word) {
  if (word.size() < 3) return 0;
  for (int m = 0; m < 12; ++m) {
    if (EqualNoCase(word.substr(0, 3), kMonthNames[m])) return m + 1;
  }
  return 0;
}

int64_t ExpandYear(int64_t year, int digits) {
  if (digits <= 2) return year < 50 ? 2000 + year : 1900 + year;
  return year;
}

// Reads "hh[:mm[:ss[.fff]]] [AM|PM]" (a bare hour needs AM or PM).
DateParse ReadTime(Reader& in, int64_t& ms) {
  int64_t hour = 0, minute = 0, second = 0, milli = 0;
  int digits = 0;
  if (!in.Number(hour, digits)) return DateParse::kSyntax;
  bool has_minutes = false;
  if (in.Peek() == ':') {
    in.Skip();
    if (!in.Number(minute, digits)) return DateParse::kSyntax;
    has_minutes = true;
    if (in.Peek() == ':') {
      in.Skip();
      if (!in.Number(second, digits)) return DateParse::kSyntax;
      if (in.Peek() == '.' || in.Peek() == ':') {
        bool dot = in.Peek() == '.';
        in.Skip();
        int64_t fraction = 0;
        if (!in.Number(fraction, digits)) return DateParse::kSyntax;
        if (dot) {
          // ".1" is 100 ms, ".12" 120 ms; digits past the third are dropped.
          while (digits < 3) {
            fraction *= 10;
            ++digits;
          }
          while (digits > 3) {
            fraction /= 10;
            --digits;
          }
        }
        milli = fraction;
      }
    }
  }
  in.SkipBlanks();
  std::string meridian = in.Word();
  if (!meridian.empty()) {
    if (!EqualNoCase(meridian, "AM") && !EqualNoCase(meridian, "PM")) return DateParse::kSyntax;
    if (hour < 1 || hour > 12) return DateParse::kRange;
    if (hour == 12) hour = 0;
    if (EqualNoCase(meridian, "PM")) hour += 12;
  } else if (!has_minutes) {
    return DateParse::kSyntax;
  }
  if (hour > 23 || minute > 59 || second > 59 || milli > 999) return DateParse::kRange;
  ms = ((hour * 60 + minute) * 60 + second) * 1000 + milli;
  return DateParse::kOk;
}

}  // namespace

int64_t DaysFromCivil(int64_t year, int month, int day) {
  // Days from 0000-03-01 (proleptic Gregorian), shifted to 1900-01-01.
  int64_t y = month <= 2 ? year - 1 : year;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = (month + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  constexpr int64_t kDays1900 = 693901;  // 1900-01-01 counted the same way
  return era * 146097 + doe - kDays1900;
}

void CivilFromDays(int64_t days, int64_t& year, int& month, int& day) {
  int64_t z = days + 693901;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

namespace {

// "Jan 1[,] 2001" or, with `day_first`, "1 Jan[,] 2001": the reader stands on
// the first field.
DateParse ReadAlphabeticDate(Reader& in, bool day_first, int64_t& year, int& month, int& day) {
  int64_t d = 0, y = 0;
  int digits = 0;
  if (day_first) {
    in.Number(d, digits);
    in.SkipBlanks();
  }
  month = MonthFromName(in.Word());
  if (month == 0) return DateParse::kSyntax;
  in.SkipBlanks();
  if (!day_first) {
    if (!in.Number(d, digits)) return DateParse::kSyntax;
    in.SkipBlanks();
  }
  if (in.Peek() == ',') in.Skip();
  in.SkipBlanks();
  if (!in.Number(y, digits) || digits > 4) return DateParse::kSyntax;
  year = ExpandYear(y, digits);
  day = static_cast<int>(d);
  return DateParse::kOk;
}

// "01/02/2001", "2001-01-02", "20010102", "010102" or "2001": the reader
// stands on the first digit.
DateParse ReadNumericDate(Reader& in, DateOrder order, int64_t& year, int& month, int& day) {
  int64_t a = 0, b = 0, c = 0;
  int da = 0, db = 0, dc = 0;
  in.Number(a, da);
  char sep = in.Peek();
  if (sep != '/' && sep != '-' && sep != '.') {
    // Unseparated digits: yyyymmdd, yymmdd or a year alone.
    if (da == 8) {
      year = a / 10000;
    } else if (da == 6) {
      year = ExpandYear(a / 10000, 2);
    } else if (da == 4) {
      year = a;
      month = 1;
      day = 1;
      return DateParse::kOk;
    } else {
      return DateParse::kSyntax;
    }
    month = static_cast<int>(a / 100 % 100);
    day = static_cast<int>(a % 100);
    return DateParse::kOk;
  }
  in.Skip();
  if (!in.Number(b, db) || in.Peek() != sep) return DateParse::kSyntax;
  in.Skip();
  if (!in.Number(c, dc)) return DateParse::kSyntax;
  if (da == 4) {
    year = a;
    month = static_cast<int>(b);
    day = static_cast<int>(c);
    return DateParse::kOk;
  }
  if (da > 2 || db > 2 || dc > 4) return DateParse::kSyntax;
  switch (order) {
    case DateOrder::kMdy:
      month = static_cast<int>(a);
      day = static_cast<int>(b);
      year = ExpandYear(c, dc);
      break;
    case DateOrder::kDmy:
      day = static_cast<int>(a);
      month = static_cast<int>(b);
      year = ExpandYear(c, dc);
      break;
    case DateOrder::kYmd:
      if (dc > 2) return DateParse::kSyntax;
      year = ExpandYear(a, da);
      month = static_cast<int>(b);
      day = static_cast<int>(c);
      break;
  }
  return DateParse::kOk;
}

}  // namespace

DateParse ParseDateTime(std::string_view text, DateTime& out, DateOrder order) {
  Reader in(text);
  in.SkipBlanks();
  int64_t year = 1900;
  int month = 1, day = 1;
  bool has_date = false;
  DateParse date = DateParse::kOk;
  if (IsAlpha(in.Peek())) {
    date = ReadAlphabeticDate(in, false, year, month, day);
    has_date = true;
  } else if (IsDigit(in.Peek())) {
    // Look ahead: "15 Apr 2001" starts with a day, "10:20" and "4 PM" are
    // times, anything else is a numeric date.
    size_t run = 0;
    while (IsDigit(in.Peek(run))) ++run;
    size_t word = run;
    while (in.Peek(word) == ' ' || in.Peek(word) == '\t') ++word;
    std::string name;
    while (IsAlpha(in.Peek(word + name.size()))) name += in.Peek(word + name.size());
    char after = in.Peek(run);
    if (run <= 2 && MonthFromName(name) != 0) {
      date = ReadAlphabeticDate(in, true, year, month, day);
      has_date = true;
    } else if (!(after == ':' || ((after == ' ' || IsAlpha(after)) && run <= 2))) {
      date = ReadNumericDate(in, order, year, month, day);
      has_date = true;
    }
  } else if (!in.AtEnd()) {
    return DateParse::kSyntax;
  }
  if (date != DateParse::kOk) return date;
  int64_t ms = 0;
  if (has_date && (in.Peek() == 'T' || in.Peek() == 't') && IsDigit(in.Peek(1))) in.Skip();
  in.SkipBlanks();
  if (!in.AtEnd()) {
    DateParse time = ReadTime(in, ms);
    if (time != DateParse::kOk) return time;
    in.SkipBlanks();
    if (!in.AtEnd()) return DateParse::kSyntax;
  }
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return DateParse::kRange;
  }
  out.days = DaysFromCivil(year, month, day);
  out.ms = ms;
  return DateParse::kOk;
}

bool InDateTimeRange(const DateTime& value) {
  return value.days >= DaysFromCivil(1753, 1, 1) && value.days <= DaysFromCivil(9999, 12, 31);
}

bool InSmallDateTimeRange(const DateTime& value) {
  return value.days >= 0 && value.days <= DaysFromCivil(2079, 6, 6);
}

int64_t TicksOfDay(int64_t ms) { return (ms * 3 + 5) / 10; }

DateTime FromTicks(int64_t days, int64_t ticks) {
  DateTime out{days + ticks / kTicksPerDay, ticks % kTicksPerDay};
  // Back to the millisecond the tick shows as: 1 tick is .003, 2 are .007.
  out.ms = (out.ms * 10 + 1) / 3;
  return out;
}

DateTime RoundToTicks(const DateTime& value) { return FromTicks(value.days, TicksOfDay(value.ms)); }

DateTime RoundToMinute(const DateTime& value) {
  DateTime out = RoundToTicks(value);
  int64_t minutes = (out.ms + 30000) / 60000;
  out.ms = minutes * 60000;
  if (out.ms >= kMsPerDay) {
    out.ms -= kMsPerDay;
    ++out.days;
  }
  return out;
}

DateTime DateTimeAt(std::chrono::system_clock::time_point when, bool utc) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm parts{};
  if (utc) {
    gmtime_r(&seconds, &parts);
  } else {
    localtime_r(&seconds, &parts);
  }
  int64_t ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  DateTime value;
  value.days = DaysFromCivil(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
  value.ms = ((parts.tm_hour * 60 + parts.tm_min) * 60 + parts.tm_sec) * 1000 + ms;
  return RoundToTicks(value);
}

std::string FormatDateTime(const DateTime& value) {
  int64_t year;
  int month, day;
  CivilFromDays(value.days, year, month, day);
  int64_t ms = value.ms;
  if (year < 0 || year > 9999 || ms < 0 || ms >= 86400000) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02d-%02d %02lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(year), month, day, static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return buffer;
  }
  // Every stored datetime is written this way: digits by hand rather than
  // through snprintf, which took most of a row's conversions.
  char text[] = "0000-00-00 00:00:00.000";
  auto put = [&text](size_t at, int64_t number, int width) {
    for (int i = width - 1; i >= 0; --i) {
      text[at + static_cast<size_t>(i)] = static_cast<char>('0' + number % 10);
      number /= 10;
    }
  };
  put(0, year, 4);
  put(5, month, 2);
  put(8, day, 2);
  put(11, ms / 3600000, 2);
  put(14, ms / 60000 % 60, 2);
  put(17, ms / 1000 % 60, 2);
  put(20, ms % 1000, 3);
  return std::string(text, sizeof text - 1);
}

}  // namespace server
