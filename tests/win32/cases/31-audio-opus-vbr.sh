# Audio page of an Opus file (opusenc) and of a VBR MP3 (lame -V), each equal to bqlite's
# JSON, with the Opus stream rows and the MP3's bitrate mode read back from the list view
# (sourced by run_wine_tests.sh).
AUD2=$FIX/audio2
mkdir -p "$AUD2"
if ! (cd "$AUD2" &&
      sox -n -b 16 -r 44100 -c 2 tone.wav synth 2 sine 440 &&
      opusenc --quiet --title 'Τραγούδι' --artist Band tone.wav song.opus &&
      lame --quiet -V 2 --tt Variable --ta Band tone.wav vbr.mp3) >/dev/null 2>&1; then
  fail "audio fixtures made by sox, opusenc and lame"
else
  dialog_case audio-opus "Brisquel,Hashes,Streams,Audio,Patterns" "$AUD2/song.opus"
  dialog_case audio-vbr-mp3 "Brisquel,Hashes,Streams,Audio,Patterns" "$AUD2/vbr.mp3"
  if msg=$(python3 - "$ART/audio-opus.dialog.json" "$ART/audio-vbr-mp3.dialog.json" <<'PY'
import json, sys
def rows(path):
    pages = json.load(open(path, encoding="utf-8"))["pages"]
    audio = [p for p in pages if p.get("title") == "Audio"]
    return {r["cells"][0]: r["cells"][1:] for r in audio[0]["rows"]} if audio else {}
opus, mp3 = rows(sys.argv[1]), rows(sys.argv[2])
want = [(opus, "Codec", "Opus"), (opus, "Input samplerate", "44100 Hz"), (opus, "Duration", "2000"),
        (opus, "Title", "Τραγούδι"), (mp3, "Bitrate mode", "VBR"), (mp3, "Container", "MPEG-1 Layer 3")]
bad = [f"{k}: {r.get(k)}" for r, k, v in want if r.get(k, [None])[0] != v]
print("; ".join(bad))
sys.exit(1 if bad else 0)
PY
  ); then
    pass "audio: the Opus stream rows and the VBR MP3's bitrate mode reach the list view"
  else
    fail "audio: the Opus stream rows and the VBR MP3's bitrate mode reach the list view" "$msg"
  fi
fi
