#!/usr/bin/env python3
"""Proves statically that Windows programs load on Windows XP.

usage: xp_loader_check.py --cc MINGW-GCC FILE...

For every file: each imported DLL is one that XP has; each function imported
from a system DLL other than msvcrt.dll is declared by the mingw-w64 headers
at the XP API level (_WIN32_WINNT=0x0501), which is how those headers mark
what Vista and later added; each msvcrt.dll import is one that XP's msvcrt.dll
exports; the PE headers ask for nothing XP's loader refuses; each program
carries a manifest with its UAC execution level. Every fault is
one line naming the file and the function; the exit code is 1 when there is
any. The imports checked are counted per file on the way.
"""

import os
import re
import struct
import subprocess
import sys
import tempfile

# DLLs of a Windows XP installation the programs may import from.
XP_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "comctl32.dll", "comdlg32.dll", "rpcrt4.dll", "winmm.dll", "msvcrt.dll", "version.dll", "shlwapi.dll",
    "riched20.dll", "riched32.dll", "imm32.dll", "ws2_32.dll", "winspool.drv", "uxtheme.dll", "ntdll.dll",
}

# Headers whose declarations at the XP level stand for the XP API.
HEADERS = ["windows.h", "commctrl.h", "shlobj.h", "shellapi.h", "mmsystem.h", "objbase.h", "rpc.h", "richedit.h",
           "shlwapi.h"]

# msvcrt.dll grew with Vista: the secure "_s" functions and the "_l" locale
# variants came then, with the few others named here. XP's msvcrt.dll has
# none of them.
MSVCRT_VISTA = {
    "_set_invalid_parameter_handler", "_get_invalid_parameter_handler", "_create_locale", "_free_locale",
    "_get_current_locale", "_configthreadlocale", "_wassert", "_fseeki64", "_ftelli64", "_recalloc",
    "_aligned_recalloc", "_set_abort_behavior", "_get_errno", "_set_errno", "_get_doserrno", "_set_doserrno",
    "_get_fmode", "_get_pgmptr", "_get_wpgmptr", "_get_environ", "_get_wenviron", "_get_osplatform",
    "_get_osver", "_get_winver", "_get_winmajor", "_get_winminor", "_get_heap_handle", "_set_output_format",
    "_get_output_format", "_get_printf_count_output", "_set_printf_count_output", "_invalid_parameter",
    "_set_purecall_handler", "_get_purecall_handler", "__crtGetShowWindowMode", "_gmtime32", "_localtime32",
    "_mktime32", "_time32", "_ctime32", "_difftime32", "_difftime64", "_mkgmtime32", "_wctime32",
    "_ftime32", "_futime32", "_utime32", "_wutime32", "_stat32", "_fstat32", "_wstat32", "_findfirst32",
    "_findnext32", "_wfindfirst32", "_wfindnext32", "_strtoi64_l", "_strtoui64_l", "_atoflt", "_atodbl_l",
    "__stdio_common_vfprintf", "_vsnprintf_c", "_vsprintf_p", "_swprintf_c",
}


class PeError(Exception):
    pass


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise PeError("not a PE image")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise PeError("not a PE image")
        coff = pe + 4
        (self.machine, self.section_count, self.timestamp, _, _, opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", d, coff)
        opt = coff + 20
        self.magic = struct.unpack_from("<H", d, opt)[0]
        self.is64 = self.magic == 0x20B
        if self.magic not in (0x10B, 0x20B):
            raise PeError("unknown optional header")
        self.image_base = struct.unpack_from("<Q", d, opt + 24)[0] if self.is64 else struct.unpack_from("<I", d, opt + 28)[0]
        self.os_version = struct.unpack_from("<HH", d, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", d, opt + 48)
        self.subsystem = struct.unpack_from("<H", d, opt + 68)[0]
        dirs = opt + (112 if self.is64 else 96)
        count = struct.unpack_from("<I", d, dirs - 4)[0]
        self.directories = [struct.unpack_from("<II", d, dirs + 8 * i) for i in range(min(count, 16))]
        self.sections = []
        for i in range(self.section_count):
            s = opt + opt_size + 40 * i
            name = d[s:s + 8].rstrip(b"\0").decode("latin-1")
            vsize, va, raw_size, raw = struct.unpack_from("<IIII", d, s + 8)
            self.sections.append((name, va, max(vsize, raw_size), raw, raw_size))

    def is_dll(self):
        return bool(self.characteristics & 0x2000)

    def offset(self, rva):
        for _, va, size, raw, raw_size in self.sections:
            if va <= rva < va + size:
                if rva - va >= raw_size:
                    raise PeError("address 0x%x has no file bytes" % rva)
                return raw + rva - va
        raise PeError("address 0x%x is in no section" % rva)

    def cstring(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b"\0", o)].decode("latin-1")

    def pointer(self, rva):
        o = self.offset(rva)
        return struct.unpack_from("<Q" if self.is64 else "<I", self.data, o)[0]

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imports(self):
        """[(dll, [name or '#ordinal', ...])], normal and delay-loaded."""
        result = []
        size = 8 if self.is64 else 4
        ordinal_flag = 1 << (63 if self.is64 else 31)
        for index, entry_size, name_field, thunk_fields in ((1, 20, 3, (0, 4)), (13, 32, 1, (4, 3))):
            rva, _ = self.directory(index)
            if not rva:
                continue
            o = self.offset(rva)
            while True:
                fields = struct.unpack_from("<%dI" % (entry_size // 4), self.data, o)
                if not any(fields):
                    break
                dll = self.cstring(fields[name_field])
                thunk = fields[thunk_fields[0]] or fields[thunk_fields[1]]
                names = []
                while True:
                    value = self.pointer(thunk)
                    if not value:
                        break
                    if value & ordinal_flag:
                        names.append("#%d" % (value & 0xFFFF))
                    else:
                        names.append(self.cstring((value & 0x7FFFFFFF) + 2))
                    thunk += size
                result.append((dll, names))
                o += entry_size
        return result

    def resources(self):
        """[(type, name, language, size, data)], a type or name being a number or an upper-case text."""
        rva, _ = self.directory(2)
        if not rva:
            return []
        base = self.offset(rva)

        def label(entry):
            if entry & 0x80000000:
                o = base + (entry & 0x7FFFFFFF)
                n = struct.unpack_from("<H", self.data, o)[0]
                return self.data[o + 2:o + 2 + 2 * n].decode("utf-16-le")
            return entry & 0xFFFF

        def entries(offset):
            named, ids = struct.unpack_from("<HH", self.data, base + offset + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, base + offset + 16 + 8 * i)

        found = []
        for t, to in entries(0):
            for n, no in entries(to & 0x7FFFFFFF):
                for lang, lo in entries(no & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from("<II", self.data, base + lo)
                    o = self.offset(data_rva)
                    found.append((label(t), label(n), lang, size, self.data[o:o + size]))
        return found

    def tls(self):
        """(template bytes, zero fill, number of callbacks) or None."""
        rva, _ = self.directory(9)
        if not rva:
            return None
        o = self.offset(rva)
        if self.is64:
            start, end, _, callbacks, zero_fill = struct.unpack_from("<QQQQI", self.data, o)
        else:
            start, end, _, callbacks, zero_fill = struct.unpack_from("<IIIII", self.data, o)
        count = 0
        if callbacks:
            at = callbacks - self.image_base
            while self.pointer(at):
                count += 1
                at += 8 if self.is64 else 4
        return end - start, zero_fill, count


def undeclared(cc, names):
    """The names the XP-level headers do not declare, with the compiler's reason."""
    source = "".join("#include <%s>\n" % h for h in HEADERS)
    source += "void take_addresses(void) {\n"
    lines = {}
    for i, name in enumerate(sorted(names)):
        source += "    (void)&%s;\n" % name
        lines[source.count("\n")] = name
    source += "}\n"
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "xp_api.c")
        with open(path, "w") as f:
            f.write(source)
        run = subprocess.run([cc, "-fsyntax-only", "-fmax-errors=0", "-D_WIN32_WINNT=0x0501", "-DWINVER=0x0501",
                              "-D_WIN32_IE=0x0600", "-DNTDDI_VERSION=0x05010300", path],
                             capture_output=True, text=True, env=dict(os.environ, LC_ALL="C"))
    faults = {}
    for line in run.stderr.splitlines():
        m = re.match(r".*xp_api\.c:(\d+):\d+: error: (.*)", line)
        if m and int(m.group(1)) in lines:
            faults.setdefault(lines[int(m.group(1))], m.group(2))
    if run.returncode != 0 and not faults:
        raise PeError("the header check did not compile:\n" + run.stderr)
    return faults


def msvcrt_fault(name):
    if name.startswith("#"):
        return "imported by ordinal"
    if name in MSVCRT_VISTA:
        return "msvcrt.dll has it from Vista on"
    if name.endswith("_s") or name.endswith("_l"):
        return "msvcrt.dll has the secure and locale variants from Vista on"
    return None


def check(path, cc):
    faults = []
    name = os.path.basename(path)
    image = Image(path)
    imports = image.imports()
    api = {}
    counts = []
    for dll, functions in imports:
        lower = dll.lower()
        counts.append("%s %d" % (lower, len(functions)))
        if lower not in XP_DLLS:
            faults.append("%s: imports from %s, which is no system DLL of Windows XP" % (name, dll))
            continue
        for f in functions:
            if lower == "msvcrt.dll":
                why = msvcrt_fault(f)
                if why:
                    faults.append("%s: imports %s from %s: %s" % (name, f, dll, why))
            elif f.startswith("#"):
                faults.append("%s: imports %s from %s by ordinal, which the header check cannot prove" % (name, f, dll))
            else:
                api.setdefault(f, dll)
    for f, why in sorted(undeclared(cc, api).items()):
        faults.append("%s: imports %s from %s, which is not in the XP API (%s)" % (name, f, api[f], why))

    # XP's loader takes subsystem versions up to its own, 5.1 (5.2 for x64,
    # which only exists as XP x64 and Server 2003), and at most 96 sections.
    limit = (5, 2) if image.is64 else (5, 1)
    for what, version in (("subsystem version", image.subsystem_version), ("OS version", image.os_version)):
        if tuple(version) > limit:
            faults.append("%s: %s %d.%d is newer than XP accepts (%d.%d)" % ((name, what) + tuple(version) + limit))
    if image.subsystem not in (2, 3):
        faults.append("%s: subsystem %d is neither GUI nor console" % (name, image.subsystem))
    if image.section_count > 96:
        faults.append("%s: %d sections, XP's loader refuses more than 96" % (name, image.section_count))
    tls = image.tls()
    # XP gives no static TLS block to a DLL loaded with LoadLibrary (dsetup.dll
    # is): thread-local data there would be written through a null block.
    if tls and image.is_dll() and (tls[0] > 8 or tls[1] > 0):
        faults.append("%s: a DLL with %d bytes of thread-local data, which XP does not allocate for a DLL loaded "
                      "at run time" % (name, tls[0] + tls[1]))
    # Vista and later decide a program's elevation by its manifest, and
    # without one guess it from the file name ("Setup", "Uninstall").
    level = "-"
    if not image.is_dll():
        manifests = [d for t, n, _, _, d in image.resources() if t == 24 and n == 1]
        m = re.search(rb'requestedExecutionLevel\s+level="(\w+)"', manifests[0]) if manifests else None
        if not m:
            faults.append("%s: no manifest with a requestedExecutionLevel: UAC would guess from its name" % name)
        else:
            level = m.group(1).decode()
    total = sum(len(f) for _, f in imports)
    summary = "%s: %d imports (%s); subsystem %d.%d; %d sections; TLS %s; execution level %s" % (
        name, total, ", ".join(counts), image.subsystem_version[0], image.subsystem_version[1], image.section_count,
        "none" if not tls else "%d bytes, %d callbacks" % (tls[0] + tls[1], tls[2]), level)
    return summary, faults


def main(argv):
    if len(argv) < 4 or argv[1] != "--cc":
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    cc = argv[2]
    faults = []
    for path in argv[3:]:
        try:
            summary, found = check(path, cc)
        except (OSError, PeError, struct.error, ValueError) as e:
            faults.append("%s: %s" % (path, e))
            continue
        print(summary)
        faults += found
    for f in faults:
        print(f, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
