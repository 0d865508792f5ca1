/* Keeps a DLL loaded, as Explorer keeps BQLite.dll, until killed: holddll DLL READY-FILE.
   Creates READY-FILE once the DLL is loaded. */
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  if (!LoadLibraryExW(argv[1], NULL, 0)) return 3;
  HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  if (ready == INVALID_HANDLE_VALUE) return 4;
  CloseHandle(ready);
  for (;;) Sleep(1000);
}
