#include "archive/quDate.h"

#include <cmath>

namespace bq {

namespace {
// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

const int64_t kOleEpoch = DaysFromCivil(1899, 12, 30);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

std::optional<double> Compose(int year, int month, int day, int hour, int minute, int second) {
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const double days = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kOleEpoch);
  return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}
}  // namespace

std::optional<double> DosDateTimeToTimestamp(uint16_t date, uint16_t time) {
  return Compose(1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, 0);
}

double PackedDosDateTimeToTimestamp(uint32_t value) {
  const uint16_t date = static_cast<uint16_t>(value >> 16), time = static_cast<uint16_t>(value);
  return Compose(1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, 2 * (time & 31))
      .value_or(0.0);
}

double FileTimeToTimestamp(uint64_t fileTime) {
  TDateTimeParts local;
  if (!FileTimeToLocalParts(fileTime, local) || local.Year < 1980 || local.Year > 2107) return 0;
  // Through MS-DOS date and time: seconds round down to an even number.
  const uint32_t packed = (static_cast<uint32_t>(local.Year - 1980) << 25) | (static_cast<uint32_t>(local.Month) << 21) |
                          (static_cast<uint32_t>(local.Day) << 16) | (static_cast<uint32_t>(local.Hour) << 11) |
                          (static_cast<uint32_t>(local.Minute) << 5) | static_cast<uint32_t>(local.Second / 2);
  return PackedDosDateTimeToTimestamp(packed);
}

TDateTimeParts TimestampToParts(double timestamp) {
  TDateTimeParts parts;
  if (!std::isfinite(timestamp) || std::fabs(timestamp) > 3e6) timestamp = 0;  // beyond year 9999
  const int64_t seconds = std::llround(timestamp * 86400.0);
  int64_t days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) { rest += 86400; --days; }
  CivilFromDays(days + kOleEpoch, parts.Year, parts.Month, parts.Day);
  parts.Hour = static_cast<int>(rest / 3600);
  parts.Minute = static_cast<int>(rest / 60 % 60);
  parts.Second = static_cast<int>(rest % 60);
  return parts;
}

std::string TimestampText(double timestamp) { return ShortDateTimeText(TimestampToParts(timestamp)); }

std::optional<double> FileTimeToLocalTimestamp(uint64_t fileTime) {
  TDateTimeParts local;
  if (!FileTimeToLocalParts(fileTime, local)) return std::nullopt;
  return Compose(local.Year, local.Month, local.Day, local.Hour, local.Minute, local.Second);
}

std::optional<uint64_t> UtcPartsToFileTime(const TDateTimeParts& when, int64_t offsetSeconds) {
  if (!Compose(when.Year, when.Month, when.Day, when.Hour, when.Minute, when.Second)) return std::nullopt;
  const int64_t seconds = (DaysFromCivil(when.Year, static_cast<unsigned>(when.Month), static_cast<unsigned>(when.Day)) -
                           DaysFromCivil(1601, 1, 1)) * 86400 + when.Hour * 3600 + when.Minute * 60 + when.Second - offsetSeconds;
  if (seconds < 0) return std::nullopt;
  return static_cast<uint64_t>(seconds) * 10000000ull;
}

std::optional<double> UnixTimeToTimestamp(int64_t seconds) {
  constexpr int64_t kLast = 910670515199;  // 30827-12-31 23:59:59, the last FILETIME the system converts
  if (seconds < -kUnixEpochFrom1601 || seconds > kLast) return std::nullopt;
  return FileTimeToLocalTimestamp(static_cast<uint64_t>(seconds + kUnixEpochFrom1601) * 10000000u);
}

}  // namespace bq
