// Dates, local time and the OEM code page: what the system's locale decides.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace bq {

// A calendar date and time of day, as the system's time functions give it.
struct TDateTimeParts {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0;
};

// A FILETIME (100 ns units since 1601-01-01, UTC) in local time. False when the system cannot
// convert it.
bool FileTimeToLocalParts(uint64_t fileTime, TDateTimeParts& local);

// The user's short date, one space, the user's short time (hours and minutes). Off Windows it
// is English (United States): "M/d/yyyy h:mm AM".
std::string ShortDateTimeText(const TDateTimeParts& when);

// Decodes 8-bit text in the OEM code page: the Windows build asks the system; elsewhere it is
// code page 437.
std::string OemToUtf8(std::string_view bytes);

}  // namespace bq
