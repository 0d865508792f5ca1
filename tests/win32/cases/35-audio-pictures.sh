# Audio page of an M4A with a cover (sourced by run_wine_tests.sh): the page equals bqlite's,
# and the screenshot shows the cover's thumbnail beside the list; an M4A whose cover does not
# decode shows none.
PIC=$FIX/pictures
mkdir -p "$PIC"
if ! (cd "$PIC" &&
      ffmpeg -loglevel error -y -f lavfi -i testsrc=size=160x120 -frames:v 1 cover.png &&
      sox -n -b 16 -r 44100 -c 2 tone.wav synth 1 sine 440 &&
      ffmpeg -loglevel error -y -i tone.wav -c:a aac -b:a 64k covered.m4a &&
      ffmpeg -loglevel error -y -i tone.wav -c:a aac -b:a 64k broken.m4a &&
      head -c 300 /dev/urandom > junk.jpg &&
      /usr/bin/python3 "$ROOT/tests/tags/make_picture_fixtures.py" m4a covered.m4a cover.png cover.png &&
      /usr/bin/python3 "$ROOT/tests/tags/make_picture_fixtures.py" m4a broken.m4a junk.jpg junk.jpg) >/dev/null 2>&1; then
  fail "picture fixtures made by ffmpeg, sox and mutagen"
else
  dialog_case audio-m4a-cover "Brisquel,Hashes,Streams,Audio,Patterns" "$PIC/covered.m4a"
  dialog_case audio-m4a-broken-cover "Brisquel,Hashes,Streams,Audio,Patterns" "$PIC/broken.m4a"
  # The test source's colour bars are saturated: the right half of the page with the cover has
  # many more such pixels than the same page whose cover does not decode (the tabs' icons are
  # on both).
  count_colour() {
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
offset, = struct.unpack_from("<I", data, 10)
width, height = struct.unpack_from("<ii", data, 18)
bpp, = struct.unpack_from("<H", data, 28)
step = bpp // 8
stride = (width * step + 3) & ~3
count = 0
for y in range(abs(height)):
    row = offset + y * stride
    for x in range(width // 2, width):
        b, g, r = data[row + x * step:row + x * step + 3]
        if max(r, g, b) - min(r, g, b) > 120:
            count += 1
print(count)
PY
  }
  shot=$(ls "$ART"/shots/audio-m4a-cover-*-Audio.bmp 2>/dev/null | head -1)
  broken=$(ls "$ART"/shots/audio-m4a-broken-cover-*-Audio.bmp 2>/dev/null | head -1)
  if [ -n "$shot" ] && [ -n "$broken" ]; then
    n=$(count_colour "$shot"); m=$(count_colour "$broken")
    if [ "${n:-0}" -gt $(( ${m:-0} + 1000 )) ]; then
      pass "audio: the cover's thumbnail is in the screenshot ($n saturated pixels; $m for a cover that does not decode)"
    else
      fail "audio: the cover's thumbnail is in the screenshot" "coloured pixels: $n with the cover, $m with a broken one"
    fi
  else
    fail "audio: screenshots of the M4A Audio pages" "$(ls "$ART"/shots | grep m4a)"
  fi
fi
