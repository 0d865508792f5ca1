#!/usr/bin/python3
"""Independent reading of a PE file with pefile, printed as tab-separated lines that the PE
page tests compare with what the pages show:
  H name value                     the Header page's 81 rows
  S name virtaddr virtsize physaddr physsize flags
  I library function thunk         imports in descriptor and thunk order; one by ordinal is
                                   "#ORDINAL" with an empty thunk
  E name ordinal address forward   exports: the named ones in name-table order, then those by
                                   ordinal only ("#ORDINAL"); forward is "" when not forwarded
  R type name language size offset    resource leaves, in walk order; offset is the data's
                                   file offset through the section that holds it
  D group field value              Details page rows whose value pefile (or, for the signature,
                                   osslsigncode verify) gives in full
  d group field suffix             Details page rows whose value ends with suffix
Numbers are upper-case hexadecimal except E's ordinal and R's language and size (decimal)."""
import collections
import datetime
import math
import re
import struct
import subprocess
import sys
import ordlookup
import pefile

# The imphash here names every import by ordinal "ordN": pefile's table of names for the
# ordinals of ws2_32, wsock32 and oleaut32 is its own data, not something to copy.
ordlookup.ords.clear()


def h(v, digits):
    return "%0*X" % (digits, v)


def header_lines(pe):
    d, f = pe.DOS_HEADER, pe.FILE_HEADER
    out = []
    for name, v in [("Min Extra Paragraphs", d.e_minalloc), ("Max Extra Paragraphs", d.e_maxalloc),
                    ("Initial Stack Segment", d.e_ss), ("Initial Stack Pointer", d.e_sp),
                    ("Checksum for Header", d.e_csum), ("Initial Instruction Pointer", d.e_ip),
                    ("Initial Code Segment", d.e_cs), ("Relocation Table Offset", d.e_lfarlc),
                    ("Overlay Number", d.e_ovno)]:
        out.append((name, h(v, 4)))
    raw = pe.__data__[28:60]
    for i in range(8):
        out.append(("Reserved #%d" % i, h(int.from_bytes(raw[4 * i:4 * i + 4], "little"), 8)))
    out.append(("PE Header Pointer", h(d.e_lfanew, 8)))
    out += [("Signature", h(pe.NT_HEADERS.Signature, 8)), ("Machine", h(f.Machine, 4)),
            ("Number Of Sections", h(f.NumberOfSections, 4)), ("Time Date Stamp", h(f.TimeDateStamp, 8)),
            ("Pointer To Symbol Table", h(f.PointerToSymbolTable, 8)), ("Number Of Symbols", h(f.NumberOfSymbols, 8)),
            ("Size Of Optional Header", h(f.SizeOfOptionalHeader, 4)), ("Characteristics", h(f.Characteristics, 4))]
    o = pe.OPTIONAL_HEADER
    plus = o.Magic == 0x20B
    wide = 16 if plus else 8
    out += [("Optional Header Starts", h(o.Magic, 4)),
            ("Version Of Linker", h(o.MajorLinkerVersion | o.MinorLinkerVersion << 8, 4)),
            ("Size Of Code", h(o.SizeOfCode, 8)), ("Size Of Initialized Data", h(o.SizeOfInitializedData, 8)),
            ("Size Of Uninitialized Data", h(o.SizeOfUninitializedData, 8)),
            ("RVA Entry Point", h(o.AddressOfEntryPoint, 8)), ("Base Of Code", h(o.BaseOfCode, 8)),
            ("Base Of Data", "" if plus else h(o.BaseOfData, 8)), ("Image Base", h(o.ImageBase, wide)),
            ("Section Alignment", h(o.SectionAlignment, 8)), ("File Alignment", h(o.FileAlignment, 8)),
            ("OS Version Major", h(o.MajorOperatingSystemVersion, 4)),
            ("OS Version Minor", h(o.MinorOperatingSystemVersion, 4)),
            ("Image Version Major", h(o.MajorImageVersion, 4)), ("Image Version Minor", h(o.MinorImageVersion, 4)),
            ("Subsystem Version Major", h(o.MajorSubsystemVersion, 4)),
            ("Subsystem Version Minor", h(o.MinorSubsystemVersion, 4)),
            ("Reserved #0", h(o.Reserved1, 8)), ("Size Of Image", h(o.SizeOfImage, 8)),
            ("Size Of Headers", h(o.SizeOfHeaders, 8)), ("Checksum", h(o.CheckSum, 8)),
            ("Subsystem", h(o.Subsystem, 4)), ("DLL Characteristics", h(o.DllCharacteristics, 4)),
            ("Size Of Stack Reserve", h(o.SizeOfStackReserve, wide)),
            ("Size Of Stack Commit", h(o.SizeOfStackCommit, wide)),
            ("Size Of Heap Reserve", h(o.SizeOfHeapReserve, wide)),
            ("Size Of Heap Commit", h(o.SizeOfHeapCommit, wide)),
            ("Loader Flags", h(o.LoaderFlags, 8)), ("Number Of Rva And Sizes", h(o.NumberOfRvaAndSizes, 8))]
    prefixes = ["Export", "Import", "Resource", "Exception", "Security", "Relocation", "Debug", "Coypright",
                "Global Ptr", "Thread L.S.", "Load Config", "Bound Import", "IAT"]
    for i, p in enumerate(prefixes):
        dd = o.DATA_DIRECTORY[i] if i < len(o.DATA_DIRECTORY) else None
        out.append((p + " Directory Address", h(dd.VirtualAddress if dd else 0, 8)))
        out.append((p + " Directory Size", h(dd.Size if dd else 0, 8)))
    return out


def name_of(entry, level0_dir):
    if entry.name is not None:
        return entry.name.decode("utf-16-le", "replace") if isinstance(entry.name, bytes) else str(entry.name)
    if level0_dir:
        return pefile.RESOURCE_TYPE.get(entry.id, str(entry.id)) if entry.id in pefile.RESOURCE_TYPE else str(entry.id)
    return str(entry.id)


def entropy(data):
    if not data:
        return 0.0
    counts = collections.Counter(bytes(data))
    return -sum(c / len(data) * math.log2(c / len(data)) for c in counts.values())


def details_lines(pe):
    f, o = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    data = pe.__data__
    out = [("d", "File", "Machine", "(%s)" % h(f.Machine, 4)), ("d", "File", "Subsystem", "(%d)" % o.Subsystem)]
    stamp = datetime.datetime.fromtimestamp(f.TimeDateStamp, datetime.timezone.utc)
    if f.TimeDateStamp and stamp.year <= datetime.datetime.now(datetime.timezone.utc).year + 1:
        out.append(("D", "File", "Time Date Stamp", stamp.strftime("%Y-%m-%d %H:%M:%S UTC")))
    else:
        out.append(("D", "File", "Time Date Stamp", h(f.TimeDateStamp, 8)))
    out.append(("D", "File", "Linker Version", "%d.%d" % (o.MajorLinkerVersion, o.MinorLinkerVersion)))
    computed = pe.generate_checksum()
    if not o.CheckSum:
        out.append(("D", "File", "Checksum", "not set"))
    elif o.CheckSum == computed:
        out.append(("D", "File", "Checksum", h(o.CheckSum, 8) + " (valid)"))
    else:
        out.append(("D", "File", "Checksum", "%s (wrong: %s)" % (h(o.CheckSum, 8), h(computed, 8))))
    ep = pe.get_section_by_rva(o.AddressOfEntryPoint) if o.AddressOfEntryPoint else None
    out.append(("D", "File", "Entry Point Section", ep.Name.split(b"\0")[0].decode("latin-1") if ep else "none"))
    out.append(("d", "File", "Image Size", "(%d bytes)" % o.SizeOfImage))
    start = pe.get_overlay_data_start_offset()
    # pefile counts a certificate table after the sections as overlay; the page does not.
    sec = o.DATA_DIRECTORY[4]
    if start and sec.VirtualAddress == start and sec.Size:
        start = sec.VirtualAddress + sec.Size if sec.VirtualAddress + sec.Size < len(data) else None
    out.append(("D", "File", "Overlay", "offset %s, %d bytes" % (h(start, 8), len(data) - start) if start else "none"))
    e = entropy(data)
    out.append(("D", "File", "File Entropy", "%.2f%s" % (e, " packed or compressed?" if e > 7.2 else "")))
    for s in pe.sections:
        if s.SizeOfRawData and s.PointerToRawData < len(data):
            e = s.get_entropy()
            out.append(("D", "File", "Section Entropy", "%.2f (%s)%s" % (e, s.Name.split(b"\0")[0].decode("latin-1"),
                                                                          " packed or compressed?" if e > 7.2 else "")))
    imports = [d for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) if d.imports]
    if imports:
        out.append(("D", "Imports", "Libraries", str(len(set(d.dll.lower() for d in imports)))))
        out.append(("D", "Imports", "Functions", str(sum(len(d.imports) for d in imports))))
        out.append(("D", "Imports", "Imphash", pe.get_imphash()))
        out.append(("D", "Imports", "Bound Imports", "yes" if hasattr(pe, "DIRECTORY_ENTRY_BOUND_IMPORT") else "no"))
    for d in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
        out.append(("D", "Imports", "Delay-Load Library", d.dll.decode("latin-1")))
    for d in getattr(pe, "DIRECTORY_ENTRY_DEBUG", []):
        out.append(("d", "Debug", "Debug Entry", "(%d)" % d.struct.Type))
        cv = d.entry
        if cv is not None and getattr(cv, "CvSignature", None) == b"RSDS":
            out.append(("D", "Debug", "PDB Path", cv.PdbFileName.split(b"\0")[0].decode("latin-1")))
            out.append(("D", "Debug", "PDB GUID", "{%08X-%04X-%04X-%02X%02X-%s}" % (
                cv.Signature_Data1, cv.Signature_Data2, cv.Signature_Data3, cv.Signature_Data4, cv.Signature_Data5,
                cv.Signature_Data6.hex().upper())))
            out.append(("D", "Debug", "PDB Age", str(cv.Age)))
    tls = getattr(pe, "DIRECTORY_ENTRY_TLS", None)
    if tls is not None:
        count, word = 0, 8 if o.Magic == 0x20B else 4
        at = tls.struct.AddressOfCallBacks - o.ImageBase
        while tls.struct.AddressOfCallBacks and int.from_bytes(pe.get_data(at + count * word, word), "little"):
            count += 1
        out.append(("D", "TLS", "TLS Callbacks", str(count)))
    rich = pe.RICH_HEADER
    if rich is not None:
        out.append(("D", "Rich Header", "Rich Header Hash", pe.get_rich_header_hash()))
        values = rich.values
        for i in range(0, len(values) - 1, 2):
            count = values[i + 1]
            out.append(("D", "Rich Header", "Entry", "Product id %d, build %d: %d object%s" % (
                values[i] >> 16, values[i] & 0xFFFF, count, "" if count == 1 else "s")))
    out += version_lines(pe) + dotnet_lines(pe) + signature_lines(pe)
    return out


def version_lines(pe):
    """The fixed versions and the first string table, as pefile reads the version resource."""
    out = []
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if fixed:
        f = fixed[0]
        for name, ms, ls in [("File Version", f.FileVersionMS, f.FileVersionLS),
                             ("Product Version", f.ProductVersionMS, f.ProductVersionLS)]:
            out.append(("D", "Version Information", name, "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)))
    for group in getattr(pe, "FileInfo", None) or []:
        for entry in group:
            if entry.Key == b"StringFileInfo" and entry.StringTable:
                for key, value in entry.StringTable[0].entries.items():
                    out.append(("D", "Version Information", key.decode("utf-8"), value.decode("utf-8")))
                return out
    return out


def dotnet_lines(pe):
    """IMAGE_COR20_HEADER and the metadata root's version string, unpacked from the bytes
    pefile maps for data directory 14 (this pefile does not parse them itself)."""
    dirs = pe.OPTIONAL_HEADER.DATA_DIRECTORY
    if len(dirs) <= 14 or not dirs[14].VirtualAddress:
        return []
    cb, major, minor, md_rva, md_size, flags, entry = struct.unpack("<IHHIIII", pe.get_data(dirs[14].VirtualAddress, 24))
    out = [("D", ".NET", "Runtime Version", "%d.%d" % (major, minor))]
    root = pe.get_data(md_rva, 16)
    if root[:4] == b"BSJB":
        length = struct.unpack("<I", root[12:16])[0]
        out.append(("D", ".NET", "Metadata Version", pe.get_data(md_rva + 16, length).split(b"\0")[0].decode("ascii")))
    out.append(("D", ".NET", "Entry Point RVA" if flags & 0x10 else "Entry Point Token", h(entry, 8)))
    return out


def signature_lines(pe):
    """The signature as osslsigncode verify reads it."""
    sec = pe.OPTIONAL_HEADER.DATA_DIRECTORY[4]
    if not sec.VirtualAddress or not sec.Size:
        return [("D", "Signature", "Signature", "Not signed")]
    text = subprocess.run(["osslsigncode", "verify", "-in", FILE],
                          capture_output=True, text=True).stdout
    out = []
    algorithm = re.search(r"^Message digest algorithm\s*: (\S+)", text, re.M)
    current = re.search(r"^Current message digest\s*: (\S+)", text, re.M)
    calculated = re.search(r"^Calculated message digest\s*: (\S+)", text, re.M)
    subject = re.search(r"Signer #0:\s*\n\s*Subject: (.*)\n\s*Issuer : (.*)\n\s*Serial : (\S+)", text)
    if algorithm:
        out.append(("D", "Signature", "Digest Algorithm", {"SHA1": "SHA-1", "SHA256": "SHA-256", "SHA384": "SHA-384",
                                                            "SHA512": "SHA-512", "MD5": "MD5"}[algorithm.group(1)]))
    cn = lambda name: re.search(r"/CN=([^/]*)", name).group(1)
    if subject:
        out += [("D", "Signature", "Signer", cn(subject.group(1))), ("D", "Signature", "Issuer", cn(subject.group(2))),
                ("D", "Signature", "Serial Number", subject.group(3).upper())]
    stamp = re.search(r"Timestamp time: (.*)", text)
    if stamp:
        when = datetime.datetime.strptime(stamp.group(1).strip(), "%b %d %H:%M:%S %Y GMT")
        out.append(("D", "Signature", "Signing Time", when.strftime("%Y-%m-%d %H:%M:%S UTC")))
    if current and calculated:
        out.append(("D", "Signature", "Signed Digest", current.group(1).lower()))
        out.append(("D", "Signature", "File Digest", calculated.group(1).lower()))
        out.append(("D", "Signature", "Integrity",
                    "intact" if current.group(1) == calculated.group(1) else "MODIFIED after signing"))
    return out


FILE = None


def main():
    global FILE
    FILE = sys.argv[1]
    pe = pefile.PE(sys.argv[1])
    for name, value in header_lines(pe):
        print("H\t%s\t%s" % (name, value))
    for s in pe.sections:
        print("S\t%s\t%s\t%s\t%s\t%s\t%s" % (s.Name.split(b"\0")[0].decode("latin-1"), h(s.VirtualAddress, 8),
                                             h(s.Misc_VirtualSize, 8), h(s.PointerToRawData, 8),
                                             h(s.SizeOfRawData, 8), h(s.Characteristics, 8)))
    for d in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        for imp in d.imports:
            if imp.import_by_ordinal:
                print("I\t%s\t#%d\t" % (d.dll.decode("latin-1"), imp.ordinal))
            elif imp.name:
                print("I\t%s\t%s\t%s" % (d.dll.decode("latin-1"), imp.name.decode("latin-1"), h(imp.hint_name_table_rva, 8)))
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        e = pe.DIRECTORY_ENTRY_EXPORT
        for sym in e.symbols:
            name = sym.name.decode("latin-1") if sym.name else "#%d" % sym.ordinal
            forward = sym.forwarder.decode("latin-1") if sym.forwarder else ""
            print("E\t%s\t%d\t%s\t%s" % (name, sym.ordinal, h(sym.address, 8), forward))
    if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
            for n in t.directory.entries:
                for lang in n.directory.entries:
                    data = lang.data.struct
                    try:
                        offset = pe.get_offset_from_rva(data.OffsetToData)
                    except pefile.PEFormatError:
                        offset = data.OffsetToData  # in no section: taken as a file offset
                    print("R\t%s\t%s\t%d\t%d\t%s" % (name_of(t, True), name_of(n, False), lang.id, data.Size,
                                                     h(offset, 8)))
    for line in details_lines(pe):
        print("\t".join(line))


if __name__ == "__main__":
    main()
