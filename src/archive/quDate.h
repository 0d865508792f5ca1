// Archive time stamps: OLE Automation dates (days since 1899-12-30 00:00, the fraction being
// the time of day, local time; 0 for none) made from the formats' MS-DOS and FILETIME values.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/bqLocale.h"

namespace bq {

// MS-DOS date and time, minutes resolution (seconds are not used). Nothing when the date or
// time is not valid.
std::optional<double> DosDateTimeToTimestamp(uint16_t date, uint16_t time);
// Date in the high 16 bits, time in the low 16 bits, 2-second resolution; 0 when not valid.
double PackedDosDateTimeToTimestamp(uint32_t value);
// A FILETIME (UTC) in local time, through MS-DOS date and time (1980 to 2107), so with 2-second
// resolution; 0 when it cannot be converted.
double FileTimeToTimestamp(uint64_t fileTime);

// The calendar parts of a time stamp (rounded to the second).
TDateTimeParts TimestampToParts(double timestamp);
// A time stamp as the Archive page shows it: the user's short date and time.
std::string TimestampText(double timestamp);

// Exact to the second, for the formats whose times are not MS-DOS values (RAR 5, ISO 9660).
// A FILETIME (UTC) in local time, any year the system converts; nothing when it cannot.
std::optional<double> FileTimeToLocalTimestamp(uint64_t fileTime);
// A calendar date and time in UTC, shifted by offsetSeconds (subtracted: a time recorded at
// UTC+1 has offset 3600), as a FILETIME; nothing for an invalid date or one before 1601.
std::optional<uint64_t> UtcPartsToFileTime(const TDateTimeParts& when, int64_t offsetSeconds = 0);
// Seconds from 1601-01-01 (the FILETIME epoch) to 1970-01-01 (the Unix epoch).
constexpr int64_t kUnixEpochFrom1601 = 11644473600;
// Seconds since 1970-01-01 UTC as a FILETIME.
inline uint64_t UnixTimeToFileTime(uint32_t seconds) { return (seconds + uint64_t{kUnixEpochFrom1601}) * 10000000ull; }
// Seconds since 1970-01-01 UTC in local time, to the second; nothing outside the years the
// system can convert (FILETIME: 1601 on).
std::optional<double> UnixTimeToTimestamp(int64_t seconds);

}  // namespace bq
