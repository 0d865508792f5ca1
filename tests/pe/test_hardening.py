#!/usr/bin/python3
"""The build's hardening check (cmake/check_pe_hardening.py) against images MinGW links at test
time: those linked as the project links its binaries pass, and each image that lost one
protection (ASLR, DEP, high-entropy VA, the relocations, non-writable code, no DWARF) fails
naming it. What the check reads must equal pefile's reading of the same image.

  test_hardening.py WORKDIR [IMAGE...]   extra IMAGEs (built binaries) must pass and agree too
"""
import json
import os
import subprocess
import sys

import pefile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHECK = os.path.join(ROOT, "cmake", "check_pe_hardening.py")
SOURCE = r"""
#include <windows.h>
__declspec(dllexport) int twice(int x) { return 2 * x; }
static const char *names[] = {"one", "two"};  /* an absolute address: a base relocation */
const char *pick(int i) { return names[i & 1]; }
#ifdef EXE
int main(void) { return twice(1) + (pick(0) != 0); }
#else
BOOL WINAPI DllMain(HINSTANCE h, DWORD r, LPVOID p) { return TRUE; }
#endif
"""
WX_SOURCE = '__asm__(".section .wx,\\"wx\\"\\n\\t.byte 0xC3\\n\\t.text");\n'
GCC = {"x64": "x86_64-w64-mingw32-gcc-posix", "x86": "i686-w64-mingw32-gcc-posix"}
TOOL = {"x64": "x86_64-w64-mingw32-", "x86": "i686-w64-mingw32-"}

failures = 0


def check(ok, what, detail=""):
    global failures
    print(("PASS " if ok else "FAIL ") + what)
    if not ok:
        failures += 1
        if detail:
            print("    " + detail.replace("\n", "\n    "))


def run_check(image, *options):
    p = subprocess.run([sys.executable, CHECK, *options, image], capture_output=True, text=True)
    return p.returncode, p.stderr


def pefile_facts(image):
    pe = pefile.PE(image, fast_load=True)
    reloc = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    return {"machine": pe.FILE_HEADER.Machine, "pe32plus": pe.OPTIONAL_HEADER.Magic == 0x20B,
            "characteristics": pe.FILE_HEADER.Characteristics,
            "dll_characteristics": pe.OPTIONAL_HEADER.DllCharacteristics, "reloc_dir_size": reloc.Size,
            "sections": [(s.Name.rstrip(b"\0").decode("latin-1"), s.Characteristics, s.SizeOfRawData)
                         for s in pe.sections]}


def agrees(image):
    out = subprocess.run([sys.executable, CHECK, "--facts", image], capture_output=True, text=True, check=True).stdout
    mine = json.loads(out)
    mine.pop("file")
    # pefile leaves long names as "/offset" into the string table; the check resolves them.
    theirs = pefile_facts(image)
    ours = [(s["name"], s["flags"], s["size"]) for s in mine["sections"]]
    same_names = all(a[0] == b[0] or b[0].startswith("/") for a, b in zip(ours, theirs["sections"]))
    flags = [(a[1], a[2]) == (b[1], b[2]) for a, b in zip(ours, theirs["sections"])]
    mine_head = {k: v for k, v in mine.items() if k != "sections"}
    theirs_head = {k: v for k, v in theirs.items() if k != "sections"}
    ok = mine_head == theirs_head and len(ours) == len(theirs["sections"]) and same_names and all(flags)
    return ok, f"check: {mine_head} {ours}\npefile: {theirs_head} {theirs['sections']}"


def compile_objects(workdir, arch):
    """The sources compiled once an architecture; each image only links them."""
    objects = {}
    for name, source, flags in (("dll", "hardening.c", []), ("exe", "hardening.c", ["-DEXE"]),
                                ("debug", "hardening.c", ["-g"]), ("wx", "wx.c", [])):
        objects[name] = os.path.join(workdir, f"{arch}-{name}.o")
        subprocess.run([GCC[arch], "-O1", "-c", "-o", objects[name], os.path.join(workdir, source), *flags],
                       check=True, capture_output=True)
    return objects


def link(workdir, arch, name, objects, kind="dll", ldflags=()):
    image = os.path.join(workdir, f"{arch}-{name}.{kind}")
    args = [GCC[arch], "-s", "-o", image, *objects, *[f"-Wl,{f}" for f in ldflags]]
    subprocess.run(args + ([] if kind == "exe" else ["-shared"]), check=True, capture_output=True)
    return image


def main():
    workdir = sys.argv[1]
    os.makedirs(workdir, exist_ok=True)
    with open(os.path.join(workdir, "hardening.c"), "w") as f:
        f.write(SOURCE)
    with open(os.path.join(workdir, "wx.c"), "w") as f:
        f.write(WX_SOURCE)

    for arch in ("x64", "x86"):
        o = compile_objects(workdir, arch)
        # Linked as the project links (MinGW's defaults, -s: the C runtime's objects carry DWARF).
        for kind in ("dll", "exe"):
            tag = f"{arch} {kind}"
            good = link(workdir, arch, "good", [o[kind]], kind)
            rc, err = run_check(good, "--no-debug")
            check(rc == 0, f"{tag} linked as the project links passes", err)
            ok, detail = agrees(good)
            check(ok, f"{tag}: the check reads what pefile reads", detail)
            want = 0x0160 if arch == "x64" else 0x0140
            dc = pefile_facts(good)["dll_characteristics"]
            check(dc & want == want, f"{tag}: pefile shows DllCharacteristics {dc:#06x} holding {want:#06x}")

        # Each protection lost in turn. ld writes .reloc whatever it is told; a tool can remove it.
        broken = [("no-aslr", [o["dll"]], "dll", ["--disable-dynamicbase"], "ASLR"),
                  ("no-dep", [o["dll"]], "dll", ["--disable-nxcompat"], "DEP"),
                  ("wx", [o["dll"], o["wx"]], "dll", [], "writable and executable")]
        if arch == "x64":
            broken.append(("no-heva", [o["dll"]], "dll", ["--disable-high-entropy-va"], "HIGH_ENTROPY_VA"))
        images = [(name, link(workdir, arch, name, objs, kind, ld), expected) for name, objs, kind, ld, expected in broken]
        for kind in ("dll", "exe"):
            stripped = os.path.join(workdir, f"{arch}-reloc-removed.{kind}")
            subprocess.run([TOOL[arch] + "objcopy", "--remove-section=.reloc", os.path.join(workdir, f"{arch}-good.{kind}"),
                            stripped], check=True, capture_output=True)
            images.append((f"{kind} reloc-removed", stripped, ".reloc"))
        for name, image, expected in images:
            rc, err = run_check(image)
            check(rc == 1 and expected in err, f"{arch} {name}: the check fails naming {expected}", err)
            ok, detail = agrees(image)
            check(ok, f"{arch} {name}: the check reads what pefile reads", detail)

        # As a build step: the faulty image is removed, so that the next build links it again.
        doomed = os.path.join(workdir, f"{arch}-doomed.dll")
        subprocess.run(["cp", images[0][1], doomed], check=True)
        rc, err = run_check(doomed, "--remove")
        check(rc == 1 and not os.path.exists(doomed), f"{arch}: --remove deletes a faulty image", err)
        rc, _ = run_check(good, "--remove")
        check(rc == 0 and os.path.exists(good), f"{arch}: --remove keeps a sound image")

        debug = os.path.join(workdir, f"{arch}-debug.dll")
        subprocess.run([GCC[arch], "-shared", "-o", debug, o["debug"]], check=True, capture_output=True)
        rc, err = run_check(debug, "--no-debug")
        check(rc == 1 and ".debug_info" in err, f"{arch} -g: --no-debug names the DWARF sections", err)
        check(run_check(debug)[0] == 0, f"{arch} -g: DWARF alone is no hardening fault")
        ok, detail = agrees(debug)
        check(ok, f"{arch} -g: the check reads what pefile reads", detail)
        # pefile leaves long names unresolved; objdump resolves them.
        dump = subprocess.run([TOOL[arch] + "objdump", "-h", debug], capture_output=True, text=True).stdout
        theirs = sorted(w for line in dump.splitlines() for w in line.split()[1:2] if w.startswith(".debug_"))
        facts = json.loads(subprocess.run([sys.executable, CHECK, "--facts", debug], capture_output=True,
                                          text=True).stdout)
        mine = sorted(s["name"] for s in facts["sections"] if s["name"].startswith(".debug_"))
        check(mine == theirs and mine, f"{arch} -g: the DWARF section names are objdump's", f"{mine} != {theirs}")

    for image in sys.argv[2:]:
        rc, err = run_check(image)
        check(rc == 0, f"{image} passes", err)
        ok, detail = agrees(image)
        check(ok, f"{image}: the check reads what pefile reads", detail)

    print(f"{failures} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
