# Audio page: an MP3 with a Greek title and a Japanese artist, an Ogg, a FLAC, a WAV and two
# MP3 files side by side, each equal to bqlite's JSON; the non-Latin text must reach the list
# view whole (sourced by run_wine_tests.sh).
AUD=$FIX/audio
mkdir -p "$AUD"
if ! (cd "$AUD" &&
      sox -n -b 16 -r 44100 -c 2 tone.wav synth 1 sine 440 &&
      lame --quiet -b 128 --tt 'Τίτλος' --ta 'アーティスト' --tl Album --ty 2004 --tn 3/12 --tg Rock tone.wav song.mp3 &&
      lame --quiet -b 64 -m m --tt Other --tl 'Κάτι' tone.wav other.mp3 &&
      oggenc -Q -c TITLE=Song -c ARTIST=Ψ tone.wav -o song.ogg &&
      flac -s -f -T TITLE=Song -T ARTIST=Band tone.wav -o song.flac &&
      ffmpeg -loglevel error -y -i tone.wav -metadata title=Song -metadata artist=Band song.wav) >/dev/null 2>&1; then
  fail "audio fixtures made by sox, lame, oggenc, flac and ffmpeg"
else
  dialog_case audio-mp3 "Brisquel,Hashes,Streams,Audio,Patterns" "$AUD/song.mp3"
  dialog_case audio-ogg "Brisquel,Hashes,Streams,Audio,Patterns" "$AUD/song.ogg"
  dialog_case audio-flac "Brisquel,Hashes,Streams,Audio,Patterns" "$AUD/song.flac"
  dialog_case audio-wav "Brisquel,Hashes,Streams,Audio,Patterns" "$AUD/song.wav"
  dialog_case audio-two-mp3 "Brisquel,Hashes,Audio,Patterns" "$AUD/song.mp3" "$AUD/other.mp3"
  # The Audio page as the dialog showed it: the Greek title and the Japanese artist.
  if msg=$(python3 - "$ART/audio-mp3.dialog.json" <<'PY'
import json, sys
pages = json.load(open(sys.argv[1], encoding="utf-8"))["pages"]
audio = [p for p in pages if p.get("title") == "Audio"]
rows = {r["cells"][0]: r["cells"][1:] for r in audio[0]["rows"]} if audio else {}
want = {"Title/Songname/Content description": "Τίτλος",
        "Lead artist/Lead performer/Soloist/Performing group": "アーティスト", "Container": "MPEG-1 Layer 3"}
bad = [f"{k}: {rows.get(k)}" for k, v in want.items() if rows.get(k, [None])[0] != v]
print("; ".join(bad))
sys.exit(1 if bad else 0)
PY
  ); then
    pass "audio: the Greek title and the Japanese artist reach the list view whole"
  else
    fail "audio: the Greek title and the Japanese artist reach the list view whole" "$msg"
  fi
fi
