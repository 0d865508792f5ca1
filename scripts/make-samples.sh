#!/usr/bin/env bash
# Makes a small sample set with real tools into the folder given (default build/samples).
set -euo pipefail
out=${1:-build/samples}
mkdir -p "$out"
cd "$out"

printf 'Brisquel Lite sample text.\r\nSecond line.\r\n' > readme.txt
cat > hello.c <<'C'
#include <stdio.h>
int main(void) { puts("hello"); return 0; }
C
python3 - <<'PY'
import wave, zipfile, struct, math
with zipfile.ZipFile('sample.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.write('readme.txt')
    z.write('hello.c')
with wave.open('tone.wav', 'wb') as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(8000)
    w.writeframes(b''.join(struct.pack('<h', int(8000 * math.sin(i / 8))) for i in range(8000)))
PY
if command -v x86_64-w64-mingw32-gcc >/dev/null 2>&1; then
  x86_64-w64-mingw32-gcc -O1 -s -o hello.exe hello.c
fi
ls -1 "$PWD"
