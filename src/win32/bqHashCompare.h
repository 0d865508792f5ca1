// The "Compare:" box of the Hashes page: filled from the clipboard when the page opens, and
// compared with every value of the list as the values arrive.
#pragma once
#include <windows.h>

namespace bq::win32 {

class TWinPageView;

inline constexpr int kCompareEdit = 1668;
inline constexpr int kCompareResult = 1669;
inline constexpr UINT_PTR kCompareTimer = 0x4251;

// True when the page has a "Compare:" box.
bool HasCompareBox(HWND page);
// Lays the box, its result line and the list out and puts a hexadecimal value from the
// clipboard into the box.
void InitCompareBox(HWND page);
// Compares the box with the list's values: matching rows read "matches" in the Check column,
// the result line names the first match, or says "No match" once allIn.
void UpdateCompare(HWND page, bool allIn, TWinPageView& view);

}  // namespace bq::win32
