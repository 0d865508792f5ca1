/* Stands in for SysWOW64\regsvr32.exe in the installer test (this machine runs no 32-bit
   code): appends its command line to regsvr32-calls.txt beside itself and exits with the
   number in regsvr32-exit.txt there (0 when there is none). */
#include <windows.h>
#include <stdio.h>
#include <wchar.h>

int wmain(void) {
  wchar_t folder[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 90;
  wchar_t* slash = wcsrchr(folder, L'\\');
  if (!slash) return 91;
  slash[1] = 0;
  wchar_t path[MAX_PATH + 32];
  swprintf(path, MAX_PATH + 32, L"%lsregsvr32-calls.txt", folder);
  FILE* calls = _wfopen(path, L"a");
  if (!calls) return 92;
  fprintf(calls, "%ls\n", GetCommandLineW());
  fclose(calls);
  int code = 0;
  swprintf(path, MAX_PATH + 32, L"%lsregsvr32-exit.txt", folder);
  FILE* exitFile = _wfopen(path, L"r");
  if (exitFile) {
    if (fscanf(exitFile, "%d", &code) != 1) code = 93;
    fclose(exitFile);
  }
  return code;
}
