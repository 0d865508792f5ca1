#!/bin/bash
# Builds the PE fixtures into OUTDIR with the MinGW tool chains, once: x64/ and x86/ each hold
# lib.dll (exports by name, by ordinal only, a forwarder, ordinal base 5, an 8-character
# section name), app.exe (imports by name and by ordinal, one library by ordinal only, one
# library through two descriptors, resources of every common kind) and plain.exe (no exports, no
# resources), overlay.exe (app.exe with bytes appended), rich.exe and rich_badkey.exe (app.exe
# with a Rich header, its key right and wrong), delay.exe (app.exe with two delay-load
# libraries), debug.exe (a CodeView record naming its PDB, a TLS callback of its own, a section of
# random bytes) and
# ordnames.exe (imports by ordinal from ws2_32 and oleaut32), ver.exe (a German/1252 version
# resource and a manifest asking for administrator rights), signed.dll (lib.dll signed by
# osslsigncode with SHA-256 and an RFC 3161 token from its own time-stamp authority),
# signed_sha1.dll (SHA-1, no time stamp), signed_sha384.dll (SHA-384) and signed_modified.dll (signed.dll with a byte changed
# after signing); x64/damaged/ and x86/damaged/ hold copies of them cut or patched by hand;
# net/ holds .NET assemblies made by mcs (library, x86 exe, 32-bit preferred, strong-named).
set -euo pipefail
out=$1
# Made again when this script changes: .done holds the digest of the script that made them.
stamp=$(sha256sum "$0" | cut -c1-64)
[ "$(cat "$out/.done" 2>/dev/null)" = "$stamp" ] && exit 0
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat > lib.def <<'DEF'
LIBRARY lib.dll
EXPORTS
  Alpha @5
  Beta @6
  Fwd = KERNEL32.GetTickCount @7
  Hidden1 @8 NONAME
  Hidden2 @9 NONAME
  Hidden3 @10 NONAME
  Hidden4 @11 NONAME
  Hidden5 @12 NONAME
  Hidden6 @13 NONAME
  Hidden7 @14 NONAME
DEF
cat > lib.c <<'SRC'
__attribute__((section(".longsec"))) int LongSection = 1;
int Alpha(int x) { return x + 1; }
int Beta(int x) { return x + 2; }
int Hidden1(void) { return 1; }
int Hidden2(void) { return 2; }
int Hidden3(void) { return 3; }
int Hidden4(void) { return 4; }
int Hidden5(void) { return 5; }
int Hidden6(void) { return 6; }
int Hidden7(void) { return 7; }
SRC
# Import libraries only: ord.dll by ordinal, and one DLL named in two spellings, which the
# linker turns into two descriptors.
printf 'LIBRARY ord.dll\nEXPORTS\n  OrdOne @3 NONAME\n  OrdTwo @4 NONAME\n  OrdNamed @5\n' > ord.def
printf 'LIBRARY solo.dll\nEXPORTS\n  Solo @9 NONAME\n' > solo.def
printf 'LIBRARY TWICE.dll\nEXPORTS\n  TwiceA\n' > twice_a.def
printf 'LIBRARY twice.dll\nEXPORTS\n  TwiceB\n' > twice_b.def
cat > app.c <<'SRC'
#include <windows.h>
int OrdOne(void); int OrdTwo(void); int OrdNamed(void); int TwiceA(void); int TwiceB(void); int Solo(void);
int main(void) {
  MessageBoxA(0, "x", "y", 0);
  return OrdOne() + OrdTwo() + OrdNamed() + TwiceA() + TwiceB() + Solo() + (int)GetTickCount();
}
SRC
# Imports by ordinal from the libraries whose ordinals the imphash names (one ordinal each that
# it does not know), the library names spelt in capitals.
printf 'LIBRARY WS2_32.DLL\nEXPORTS\n  WsA @3 NONAME\n  WsB @115 NONAME\n  WsC @999 NONAME\n' > ws2_32.def
printf 'LIBRARY OLEAUT32.dll\nEXPORTS\n  OleA @2 NONAME\n  OleB @9 NONAME\n  OleC @4000 NONAME\n' > oleaut32.def
printf 'int WsA(void); int WsB(void); int WsC(void); int OleA(void); int OleB(void); int OleC(void);\nint main(void) { return WsA() + WsB() + WsC() + OleA() + OleB() + OleC(); }\n' > ordnames.c
printf 'int main(void) { return 0; }\n' > plain.c
/usr/bin/python3 -c "import random; r = random.Random(7); print('const unsigned char Noise[] = {%s};' % ','.join(str(r.randrange(256)) for _ in range(16384)))" > noise.h
cat > debug.c <<'SRC'
#include <windows.h>
__attribute__((section(".noise"), used))
#include "noise.h"
static void NTAPI OnTls(PVOID module, DWORD reason, PVOID reserved) { (void)module, (void)reason, (void)reserved; }
__attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK FixtureTlsCallback = OnTls;
int main(void) { return 0; }
SRC
cat > app.manifest <<'MAN'
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"><assemblyIdentity name="Brisquel.Fixture" version="1.0.0.0" type="win32"/></assembly>
MAN
printf 'raw bytes of a custom type\n' > custom.bin
/usr/bin/python3 - <<'PY'
import struct
# A 16x16 32-bit icon: ICONDIR, one ICONDIRENTRY, a BITMAPINFOHEADER, pixels, AND mask.
w = h = 16
pixels = bytes([0x20, 0x80, 0xE0, 0xFF]) * (w * h)
mask = b"\0" * (4 * h)
bmp = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0) + pixels + mask
ico = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(bmp), 22) + bmp
open("icon.ico", "wb").write(ico)
PY
cat > app.rc <<'RC'
#include <windows.h>
LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
1 ICON "icon.ico"
MAINICON ICON "icon.ico"
FIXTURE CUSTOMTYPE "custom.bin"
7 RCDATA { "rcdata bytes" }
1 RT_MANIFEST "app.manifest"
STRINGTABLE { 1, "Hello" 2, "World" }
LANGUAGE LANG_GERMAN, SUBLANG_GERMAN
STRINGTABLE { 1, "Hallo" 2, "Welt" }
LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US
1 VERSIONINFO
FILEVERSION 1,2,3,4
PRODUCTVERSION 1,2,3,4
FILEOS 0x4
FILETYPE 0x1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "FileDescription", "Brisquel PE fixture"
      VALUE "FileVersion", "1.2.3.4"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
RC

cat > ver.manifest <<'MAN'
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <assemblyIdentity name="Brisquel.Versioned" version="2.0.0.0" type="win32"/>
  <trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">
    <security><requestedPrivileges>
      <requestedExecutionLevel level='requireAdministrator' uiAccess="false"/>
    </requestedPrivileges></security>
  </trustInfo>
  <dependency><dependentAssembly>
    <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
      processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
  </dependentAssembly></dependency>
  <dependency><dependentAssembly>
    <assemblyIdentity type="win32" name="Microsoft.VC90.CRT" version="9.0.21022.8" processorArchitecture="*"/>
  </dependentAssembly></dependency>
</assembly>
MAN
cat > ver.rc <<'RC'
#include <windows.h>
LANGUAGE LANG_GERMAN, SUBLANG_GERMAN
1 RT_MANIFEST "ver.manifest"
1 VERSIONINFO
FILEVERSION 3,14,159,2653
PRODUCTVERSION 10,0,19041,1
FILEOS 0x40004
FILETYPE 0x1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040704e4"
    BEGIN
      VALUE "CompanyName", "Marrowgate Test GmbH"
      VALUE "FileDescription", "Versioned fixture"
      VALUE "FileVersion", "3.14.159.2653"
      VALUE "InternalName", "ver"
      VALUE "LegalCopyright", "(C) 2024 nobody"
      VALUE "OriginalFilename", "ver.exe"
      VALUE "ProductName", "Brisquel fixtures"
      VALUE "ProductVersion", "10.0"
      VALUE "BuildFlavour", "checked"
      VALUE "Empty", ""
    END
    BLOCK "040904b0"
    BEGIN
      VALUE "CompanyName", "second table, not shown"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x407, 1252
  END
END
RC
# A self-made code-signing certificate and a time-stamp authority's, for osslsigncode.
openssl req -x509 -newkey rsa:2048 -nodes -keyout sign.key -out sign.pem -days 3650 -subj "/CN=Brisquel Test Signer/O=Marrowgate" \
  -set_serial 0x1F2E3D4C5B6A7988 2>/dev/null
openssl req -x509 -newkey rsa:2048 -nodes -keyout tsa.key -out tsa.pem -days 3650 -subj "/CN=Brisquel Test TSA" \
  -addext "extendedKeyUsage=critical,timeStamping" 2>/dev/null

for arch in x64 x86; do
  case $arch in x64) t=x86_64-w64-mingw32 ;; x86) t=i686-w64-mingw32 ;; esac
  mkdir -p "$arch"
  $t-gcc -shared -O1 -s -o "$arch/lib.dll" lib.c lib.def
  for d in ord solo twice_a twice_b ws2_32 oleaut32; do $t-dlltool -d $d.def -l "$arch/lib$d.a"; done
  $t-windres app.rc -O coff -o "$arch/app.res"
  $t-gcc -O1 -s -o "$arch/app.exe" app.c "$arch/app.res" -L"$arch" -lord -lsolo -ltwice_a -ltwice_b -luser32
  $t-gcc -O1 -s -o "$arch/plain.exe" plain.c
  $t-gcc -O1 -s -o "$arch/ordnames.exe" ordnames.c -L"$arch" -lws2_32 -loleaut32
  $t-gcc -O1 -s -o "$arch/debug.exe" debug.c -Wl,--pdb=debug.pdb
  $t-windres ver.rc -O coff -o "$arch/ver.res"
  $t-gcc -O1 -s -o "$arch/ver.exe" plain.c "$arch/ver.res"
  osslsigncode sign -certs sign.pem -key sign.key -h sha256 -TSA-certs tsa.pem -TSA-key tsa.key -TSA-time 1700000000 \
    -in "$arch/lib.dll" -out "$arch/signed.dll" >/dev/null
  osslsigncode sign -certs sign.pem -key sign.key -h sha1 -in "$arch/lib.dll" -out "$arch/signed_sha1.dll" >/dev/null
  osslsigncode sign -certs sign.pem -key sign.key -h sha384 -in "$arch/lib.dll" -out "$arch/signed_sha384.dll" >/dev/null
  rm -f "$arch"/*.a "$arch"/*.res
  mkdir -p "$arch/damaged"
  /usr/bin/python3 - "$arch" <<'PY'
import struct
import sys
import pefile
arch = sys.argv[1]
app = open(arch + "/app.exe", "rb").read()
lib = open(arch + "/lib.dll", "rb").read()

def put(name, data):
    open(arch + "/damaged/" + name, "wb").write(data)

def offset(pe, d):
    return pe.get_offset_from_rva(pe.OPTIONAL_HEADER.DATA_DIRECTORY[d].VirtualAddress)

pe = pefile.PE(data=app)
# Bytes after the last section: an overlay, which leaves the checksum wrong.
open(arch + "/overlay.exe", "wb").write(app + bytes(range(256)) * 16)

# A Rich header put between the DOS stub and the PE header, which move up by its size; its key
# is the checksum of the DOS header and stub (e_lfanew left out) and the entries.
def rol(v, n):
    n &= 31
    return (v << n | v >> (32 - n)) & 0xFFFFFFFF if n else v

def with_rich(data, wrong_key=False):
    entries = [(259, 30159, 12), (260, 30159, 3), (1, 0, 42), (255, 30795, 1), (257, 30795, 5)]
    e_lfanew = int.from_bytes(data[0x3C:0x40], "little")
    assert e_lfanew >= 0x80
    size = 16 + 8 * len(entries) + 8
    size += -size % 16
    stub = data[:0x80]
    key = 0x80
    for i in range(0x80):
        if not 0x3C <= i < 0x40:
            key = (key + rol(stub[i], i)) & 0xFFFFFFFF
    for prod, build, count in entries:
        key = (key + rol(prod << 16 | build, count)) & 0xFFFFFFFF
    if wrong_key:
        key ^= 0x01010101
    dwords = [0x536E6144 ^ key, key, key, key]
    for prod, build, count in entries:
        dwords += [(prod << 16 | build) ^ key, count ^ key]
    rich = struct.pack("<%dI" % len(dwords), *dwords) + b"Rich" + struct.pack("<I", key)
    rich += b"\0" * (size - len(rich))
    pe = pefile.PE(data=data)
    end = e_lfanew + 24 + pe.FILE_HEADER.SizeOfOptionalHeader + 40 * pe.FILE_HEADER.NumberOfSections
    first = min(s.PointerToRawData for s in pe.sections if s.SizeOfRawData)
    assert end - e_lfanew + 0x80 + size <= first
    head = bytearray(data[:0x80] + rich + data[e_lfanew:end])
    head[0x3C:0x40] = (0x80 + size).to_bytes(4, "little")
    out = bytes(head) + b"\0" * (first - len(head)) + data[first:]
    pe = pefile.PE(data=bytes(out))
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    return pe.write()

# A delay-import directory written into the slack after .data's bytes (GNU ld leaves the
# directory empty): two libraries, each with one function imported by name.
def with_delay(data):
    pe = pefile.PE(data=data)
    plus = pe.OPTIONAL_HEADER.Magic == 0x20B
    word = 8 if plus else 4
    s = [s for s in pe.sections if s.Name.rstrip(b"\0") == b".data"][0]
    rva = (s.VirtualAddress + s.Misc_VirtualSize + 15) & ~15
    blob = bytearray(32 * 3)  # two descriptors and one of zeros
    def add(b):
        at = rva + len(blob)
        blob.extend(b + b"\0" * (-len(b) % 16))
        return at
    for i, (dll, fn) in enumerate([(b"delayed.dll", b"DelayedOne"), (b"Later.DLL", b"LaterTwo")]):
        name = add(dll + b"\0")
        hint = add(b"\0\0" + fn + b"\0")
        names = add(hint.to_bytes(word, "little") + bytes(word))
        iat = add(hint.to_bytes(word, "little") + bytes(word))
        handle = add(bytes(8))
        blob[32 * i:32 * i + 32] = struct.pack("<8I", 1, name, handle, iat, names, 0, 0, 0)
    assert s.SizeOfRawData >= rva - s.VirtualAddress + len(blob)
    out = bytearray(data)
    at = s.PointerToRawData + rva - s.VirtualAddress
    out[at:at + len(blob)] = blob
    pe = pefile.PE(data=bytes(out))
    [t for t in pe.sections if t.Name == s.Name][0].Misc_VirtualSize = rva - s.VirtualAddress + len(blob)
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[13].VirtualAddress = rva
    pe.OPTIONAL_HEADER.DATA_DIRECTORY[13].Size = 32 * 3
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    return pe.write()

open(arch + "/delay.exe", "wb").write(with_delay(app))
open(arch + "/rich.exe", "wb").write(with_rich(app))
open(arch + "/rich_badkey.exe", "wb").write(with_rich(app, True))
# The section table cut inside its third entry: the headers are whole.
table = pe.DOS_HEADER.e_lfanew + 24 + pe.FILE_HEADER.SizeOfOptionalHeader
put("cut_sections.exe", app[:table + 2 * 40 + 20])
# The import descriptors cut inside the third one.
put("cut_imports.exe", app[:offset(pe, 1) + 2 * 20 + 6])
# The third library's lookup table moved past the end of the file: the others stay.
bad = bytearray(app)
at = pe.DIRECTORY_ENTRY_IMPORT[2].struct.get_file_offset()
bad[at:at + 4] = (0x7FFFFF00).to_bytes(4, "little")
put("bad_thunks.exe", bytes(bad))
# The resource tree cut inside its last data entry.
leaves = [l for t in pe.DIRECTORY_ENTRY_RESOURCE.entries for n in t.directory.entries for l in n.directory.entries]
last = max(l.data.struct.get_file_offset() for l in leaves)
put("cut_resources.exe", app[:last + 8])
# A resource's data moved into another section than the tree's: its RVA now lies at the start
# of the first section.
leaf = pe.DIRECTORY_ENTRY_RESOURCE.entries[0].directory.entries[0].directory.entries[0]
moved = bytearray(app)
at = leaf.data.struct.get_file_offset()
moved[at:at + 4] = pe.sections[0].VirtualAddress.to_bytes(4, "little")
put("moved_resource.exe", bytes(moved))

# signed.dll with one byte of its code changed after signing.
signed = open(arch + "/signed.dll", "rb").read()
spe = pefile.PE(data=signed)
text = [s for s in spe.sections if s.Name.rstrip(b"\0") == b".text"][0]
changed = bytearray(signed)
changed[text.PointerToRawData + 16] ^= 0xFF
open(arch + "/signed_modified.dll", "wb").write(bytes(changed))
# The certificate table's size running past the end of the file, and its offset past the end.
sec = spe.OPTIONAL_HEADER.DATA_DIRECTORY[4]
entry = sec.get_file_offset()
bad = bytearray(signed)
bad[entry + 4:entry + 8] = (sec.Size + 4096).to_bytes(4, "little")
put("sig_past_end.dll", bytes(bad))
bad = bytearray(signed)
bad[entry:entry + 4] = (len(signed) + 16).to_bytes(4, "little")
put("sig_offset_past_end.dll", bytes(bad))
# The WIN_CERTIFICATE's own length larger than its table, and its blob not PKCS#7.
bad = bytearray(signed)
bad[sec.VirtualAddress:sec.VirtualAddress + 4] = (sec.Size + 100).to_bytes(4, "little")
put("sig_entry_too_long.dll", bytes(bad))
bad = bytearray(signed)
bad[sec.VirtualAddress + 8:sec.VirtualAddress + 40] = b"\x30\x82\xff\xff" + b"\0" * 28
put("sig_garbage.dll", bytes(bad))
# A version resource whose lengths lie: the root claims more than the resource, and one
# string's length runs past its table.
ver = open(arch + "/ver.exe", "rb").read()
vpe = pefile.PE(data=ver)
vleaf = [t for t in vpe.DIRECTORY_ENTRY_RESOURCE.entries if t.id == 16][0].directory.entries[0].directory.entries[0]
vat = vpe.get_offset_from_rva(vleaf.data.struct.OffsetToData)
bad = bytearray(ver)
bad[vat:vat + 2] = (0xFFF0).to_bytes(2, "little")
put("ver_root_lies.exe", bytes(bad))
bad = bytearray(ver)
company = bytes(ver).find("CompanyName".encode("utf-16-le"), vat)
bad[company - 6:company - 4] = (0x7FF0).to_bytes(2, "little")
put("ver_string_lies.exe", bytes(bad))

pe = pefile.PE(data=lib)
# The export names cut after the first one: its pointer table, ordinals and addresses are whole.
e = pe.DIRECTORY_ENTRY_EXPORT
first = pe.get_offset_from_rva(pe.get_dword_at_rva(e.struct.AddressOfNames))
put("cut_exports.dll", lib[:first + len(e.symbols[0].name) + 1])
PY
done

# .NET assemblies: a library, an x86 executable, a 32-bit-preferred one and a strong-named
# library (the key pair as a CryptoAPI private key blob, which is what an .snk file holds).
mkdir -p net
cat > net.cs <<'CS'
public static class Fixture { public static int Twice(int x) { return 2 * x; } public static int Main() { return Twice(21) - 42; } }
CS
openssl genrsa -out strong.pem 1024 2>/dev/null
openssl rsa -in strong.pem -outform MSBLOB -out strong.snk 2>/dev/null
mcs -nologo -target:library -out:net/lib.dll net.cs
mcs -nologo -platform:x86 -out:net/x86.exe net.cs
mcs -nologo -platform:anycpu32bitpreferred -out:net/prefer32.exe net.cs
mcs -nologo -target:library -keyfile:strong.snk -out:net/strong.dll net.cs
mkdir -p "$out"
cp -r x64 x86 net "$out/"
echo "$stamp" > "$out/.done"
