// CONVERT's date styles: the texts datetime values convert to, and the field
// order character data is read back in.

#include "server/types/date_style.h"

namespace server {

namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// `value` with leading zeros to `width` digits.
std::string Digits(int64_t value, size_t width) {
  std::string text = std::to_string(value);
  if (text.size() < width) text.insert(0, width - text.size(), '0');
  return text;
}

}  // namespace

DateStyle ClassifyDateStyle(int style) {
  if (style == 130 || style == 131) return DateStyle::kHijri;
  if (style == 126 || style == 20 || style == 21 || style == 120 || style == 121)
    return DateStyle::kGregorian;
  if ((style >= 0 && style <= 14) || (style >= 100 && style <= 114)) return DateStyle::kGregorian;
  return DateStyle::kUndefined;
}

DateOrder DateStyleOrder(int style) {
  switch (style % 100) {
    case 3:
    case 4:
    case 5:
    case 6:
    case 13:
      return DateOrder::kDmy;
    case 2:
    case 11:
    case 12:
    case 20:
    case 21:
    case 26:
      return DateOrder::kYmd;
    default:
      return DateOrder::kMdy;
  }
}

std::string FormatDateStyle(const DateTime& value, int style) {
  int64_t year;
  int month, day;
  CivilFromDays(value.days, year, month, day);
  int ms = static_cast<int>(value.ms);
  int hour = ms / 3600000;
  // Styles below 100 write two-digit years, except those that only exist
  // with the century.
  int base = style == 126 ? 126 : style % 100;
  bool century = style >= 100 || base == 0 || base == 9 || base == 13 || base == 20 || base == 21;
  std::string yyyy = Digits(year, 4), yy = century ? yyyy : Digits(year % 100, 2);
  std::string mm = Digits(month, 2), dd = Digits(day, 2), mon = kMonths[month - 1];
  std::string hh = Digits(hour, 2), mi = Digits(ms / 60000 % 60, 2);
  std::string ss = Digits(ms / 1000 % 60, 2), mmm = Digits(ms % 1000, 3);
  // The default styles write "Jan  1 2001  1:05PM": day and hour padded with blanks.
  std::string day_blank = (day < 10 ? " " : "") + std::to_string(day);
  int hour12 = hour % 12 == 0 ? 12 : hour % 12;
  std::string hour_blank = (hour12 < 10 ? " " : "") + std::to_string(hour12);
  std::string meridian = hour < 12 ? "AM" : "PM";
  switch (base) {
    case 0:
      return mon + " " + day_blank + " " + yyyy + " " + hour_blank + ":" + mi + meridian;
    case 1:
      return mm + "/" + dd + "/" + yy;
    case 2:
      return yy + "." + mm + "." + dd;
    case 3:
      return dd + "/" + mm + "/" + yy;
    case 4:
      return dd + "." + mm + "." + yy;
    case 5:
      return dd + "-" + mm + "-" + yy;
    case 6:
      return dd + " " + mon + " " + yy;
    case 7:
      return mon + " " + dd + ", " + yy;
    case 8:
      return hh + ":" + mi + ":" + ss;
    case 9:
      return mon + " " + day_blank + " " + yyyy + " " + hour_blank + ":" + mi + ":" + ss + ":" +
             mmm + meridian;
    case 10:
      return mm + "-" + dd + "-" + yy;
    case 11:
      return yy + "/" + mm + "/" + dd;
    case 12:
      return yy + mm + dd;
    case 13:
      return dd + " " + mon + " " + yyyy + " " + hh + ":" + mi + ":" + ss + ":" + mmm;
    case 14:
      return hh + ":" + mi + ":" + ss + ":" + mmm;
    case 20:
      return yyyy + "-" + mm + "-" + dd + " " + hh + ":" + mi + ":" + ss;
    case 21:
      return yyyy + "-" + mm + "-" + dd + " " + hh + ":" + mi + ":" + ss + "." + mmm;
    default:  // 126, ISO 8601
      return yyyy + "-" + mm + "-" + dd + "T" + hh + ":" + mi + ":" + ss + "." + mmm;
  }
}

}  // namespace server
