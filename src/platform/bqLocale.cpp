#include "platform/bqLocale.h"

#include <cstdio>
#include <ctime>

#include "platform/bqText.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace bq {

namespace {
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;  // 1970-01-01 as a FILETIME
constexpr uint64_t kFileTimeTicksPerSecond = 10000000ull;

// Code page 437, bytes 0x80 to 0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
}  // namespace

bool FileTimeToLocalParts(uint64_t fileTime, TDateTimeParts& local) {
#ifdef _WIN32
  FILETIME utc{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)}, loc;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &loc) || !FileTimeToSystemTime(&loc, &st)) return false;
  local = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  return true;
#else
  if (fileTime > static_cast<uint64_t>(INT64_MAX)) return false;
  const int64_t seconds = (static_cast<int64_t>(fileTime) - static_cast<int64_t>(kFileTimeUnixEpoch)) /
                          static_cast<int64_t>(kFileTimeTicksPerSecond);
  const time_t t = static_cast<time_t>(seconds);
  if (static_cast<int64_t>(t) != seconds) return false;
  struct tm tm {};
  if (!localtime_r(&t, &tm)) return false;
  local = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  return true;
#endif
}

std::string ShortDateTimeText(const TDateTimeParts& when) {
#ifdef _WIN32
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(when.Year);
  st.wMonth = static_cast<WORD>(when.Month);
  st.wDay = static_cast<WORD>(when.Day);
  st.wHour = static_cast<WORD>(when.Hour);
  st.wMinute = static_cast<WORD>(when.Minute);
  st.wSecond = static_cast<WORD>(when.Second);
  wchar_t date[128], time[128];
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128) > 0 &&
      GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &st, nullptr, time, 128) > 0)
    return Utf16ToUtf8(reinterpret_cast<const char16_t*>(date)) + " " +
           Utf16ToUtf8(reinterpret_cast<const char16_t*>(time));
#endif
  const int hour12 = when.Hour % 12 == 0 ? 12 : when.Hour % 12;
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d/%d %d:%02d %s", when.Month, when.Day, when.Year, hour12, when.Minute,
                when.Hour < 12 ? "AM" : "PM");
  return text;
}

std::string OemToUtf8(std::string_view bytes) {
  return EightBitToUtf8(bytes, kWindowsOemCodePage, kCp437High);
}

}  // namespace bq
