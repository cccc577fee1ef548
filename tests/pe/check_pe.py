#!/usr/bin/env python3
"""Static checks of the 32-bit product: machine, subsystem, imports, resources.

check_pe.py <swfsaver.scr> [--dll]   (--dll: a DLL of ours, imports only)
Exits non-zero with a message per failed check.
"""
import struct
import sys

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll",
    "comdlg32.dll", "comctl32.dll", "shell32.dll", "msvcrt.dll", "shlwapi.dll", "uuid.dll",
    "windowscodecs.dll", "gdiplus.dll", "version.dll", "winmm.dll", "mpr.dll",
}
# MinGW runtime DLLs must never be needed beside the product.
FORBIDDEN_PREFIXES = ("libgcc", "libstdc++", "libwinpthread", "zlib", "libz")

RT_ICON, RT_STRING, RT_RCDATA, RT_GROUP_ICON, RT_VERSION = 3, 6, 10, 14, 16


class PE:
    def __init__(self, data):
        self.d = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ file")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, nsec, _, _, _, optsize, self.chars = struct.unpack_from("<HHIIIHH", data, self.pe + 4)
        opt = self.pe + 24
        self.magic = struct.unpack_from("<H", data, opt)[0]
        if self.magic == 0x10B:
            self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
            ddir = opt + 96
        else:
            self.subsystem = struct.unpack_from("<H", data, opt + 68)[0]
            ddir = opt + 112
        self.dirs = [struct.unpack_from("<II", data, ddir + 8 * i) for i in range(16)]
        sec = opt + optsize
        self.sections = []
        for i in range(nsec):
            name, vsize, va, rsize, rptr = struct.unpack_from("<8sIIII", data, sec + 40 * i)
            self.sections.append((name.rstrip(b"\0"), va, max(vsize, rsize), rptr, rsize))

    def off(self, rva):
        for _, va, size, rptr, rsize in self.sections:
            if va <= rva < va + size:
                return rptr + (rva - va)
        raise ValueError("rva %x outside sections" % rva)

    def cstr(self, off):
        end = self.d.index(b"\0", off)
        return self.d[off:end].decode("latin-1")

    def imports(self):
        rva, size = self.dirs[1]
        out = []
        if not rva:
            return out
        p = self.off(rva)
        while True:
            ilt, _, _, name, iat = struct.unpack_from("<IIIII", self.d, p)
            if not name:
                break
            out.append(self.cstr(self.off(name)))
            p += 20
        return out

    def resources(self):
        """{type: {name: [(lang, data)]}} with names as int or str."""
        rva, size = self.dirs[2]
        if not rva:
            return {}
        base = self.off(rva)

        def entries(off):
            _, _, _, _, nnamed, nid = struct.unpack_from("<IIHHHH", self.d, off)
            for i in range(nnamed + nid):
                name, target = struct.unpack_from("<II", self.d, off + 16 + 8 * i)
                if name & 0x80000000:
                    p = base + (name & 0x7FFFFFFF)
                    n = struct.unpack_from("<H", self.d, p)[0]
                    key = self.d[p + 2:p + 2 + 2 * n].decode("utf-16-le")
                else:
                    key = name
                yield key, target

        tree = {}
        for t, tt in entries(base):
            tree[t] = {}
            for n, nt in entries(base + (tt & 0x7FFFFFFF)):
                tree[t][n] = []
                for lang, lt in entries(base + (nt & 0x7FFFFFFF)):
                    drva, dsize = struct.unpack_from("<II", self.d, base + lt)
                    tree[t][n].append((lang, self.d[self.off(drva):self.off(drva) + dsize]))
        return tree


def main():
    path = sys.argv[1]
    is_dll = "--dll" in sys.argv
    errors = []
    pe = PE(open(path, "rb").read())
    if pe.machine != 0x14C:
        errors.append("machine is 0x%X, not i386 (0x14C)" % pe.machine)
    if pe.magic != 0x10B:
        errors.append("not a PE32 (32-bit) optional header")
    if not is_dll and pe.subsystem != 2:
        errors.append("subsystem %d, not Windows GUI (2)" % pe.subsystem)
    imports = [i.lower() for i in pe.imports()]
    for dll in imports:
        if dll.startswith(FORBIDDEN_PREFIXES) or dll not in SYSTEM_DLLS:
            errors.append("imports from %s, not a system DLL" % dll)
    if not is_dll:
        res = pe.resources()
        if RT_VERSION in res:
            errors.append("has a version resource")
        if RT_STRING in res:
            errors.append("has a string table")
        groups = res.get(RT_GROUP_ICON, {})
        if list(groups.keys()) != ["MAINICON"]:
            errors.append("icon groups %r, expected only MAINICON" % list(groups.keys()))
        else:
            data = groups["MAINICON"][0][1]
            _, typ, count = struct.unpack_from("<HHH", data, 0)
            if count != 1:
                errors.append("MAINICON has %d images, expected 1" % count)
            else:
                w, h, colors, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", data, 6)
                if (w, h) != (32, 32):
                    errors.append("MAINICON image is %dx%d, expected 32x32" % (w, h))
                img = res.get(RT_ICON, {}).get(icon_id)
                if not img:
                    errors.append("MAINICON image %d missing" % icon_id)
                else:
                    bih = img[0][1]
                    bpp = struct.unpack_from("<H", bih, 14)[0]
                    if bpp != 8:
                        errors.append("MAINICON image has %d bits per pixel, expected 8 (256 colours)" % bpp)
        rc = res.get(RT_RCDATA, {})
        for form in ("TFORM1", "TFORM3"):
            if form not in rc:
                errors.append("form definition %s missing" % form)
    for e in errors:
        print("FAIL: %s: %s" % (path, e))
    if not errors:
        print("OK: %s: i386, %s, imports %s" % (path, "DLL" if is_dll else "GUI", ", ".join(sorted(set(imports)))))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
