#!/usr/bin/env python3
"""Checks the release package: its files, the install text, the PE facts.

check_package.py --checker check_pe.py --scr <built .scr> --dll <built .dll>
                 [--build <cmake> <build dir>] --release <release dir>
    (--build: make the release target first)
check_package.py --checker ... --scr ... --dll ... --self-test <cmake> <packaging dir>
    lays out a good package from the built files and variants with one fault
    each; the good one must pass and every variant must fail.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

FILES = ("swfsaver.scr", "swfstandin.dll", "INSTALL.txt")
# What the install text must tell: how to install, where to copy, when and how
# to register the control, and how to remove everything.
PHRASES = ("right-click", "Install", "System32", "SysWOW64", "regsvr32 ", "no Flash control",
           "Removing", "regsvr32 /u")


def run_pe_check(checker, path, dll):
    args = [sys.executable, checker, path] + (["--dll"] if dll else [])
    p = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return p.returncode, p.stdout.strip()


def check(release, scr, dll, checker):
    errors = []
    folder = os.path.join(release, "swfsaver")
    zpath = os.path.join(release, "swfsaver.zip")
    if not os.path.isdir(folder):
        return ["no release folder %s" % folder]
    if not os.path.isfile(zpath):
        return ["no zip %s" % zpath]

    present = sorted(os.listdir(folder))
    if present != sorted(FILES):
        errors.append("folder holds %s, expected %s" % (present, sorted(FILES)))
    with zipfile.ZipFile(zpath) as z:
        names = sorted(z.namelist())
        expected = sorted("swfsaver/" + f for f in FILES)
        if names != expected:
            errors.append("zip holds %s, expected %s" % (names, expected))
        for f in FILES:
            name, path = "swfsaver/" + f, os.path.join(folder, f)
            if name in names and os.path.isfile(path) and z.read(name) != open(path, "rb").read():
                errors.append("%s in the zip differs from the folder's" % f)

    for f, built in (("swfsaver.scr", scr), ("swfstandin.dll", dll)):
        path = os.path.join(folder, f)
        if not os.path.isfile(path):
            continue
        if open(path, "rb").read() != open(built, "rb").read():
            errors.append("%s is not the built %s" % (f, built))
        rc, out = run_pe_check(checker, path, f.endswith(".dll"))
        if rc != 0:
            errors.append("PE check of %s failed: %s" % (f, out))

    text_path = os.path.join(folder, "INSTALL.txt")
    if os.path.isfile(text_path):
        raw = open(text_path, "rb").read()
        try:
            text = raw.decode("ascii")
        except UnicodeDecodeError:
            errors.append("INSTALL.txt is not plain ASCII")
            text = raw.decode("latin-1")
        if raw.count(b"\n") == 0 or raw.count(b"\n") != raw.count(b"\r\n"):
            errors.append("INSTALL.txt lines do not all end in CR LF")
        for phrase in PHRASES:
            if phrase.lower() not in text.lower():
                errors.append("INSTALL.txt does not mention %r" % phrase)
    return errors


def make_package(cmake, packaging, scr, dll, out):
    subprocess.run([cmake, "-DSCR=" + scr, "-DDLL=" + dll, "-DTEXT=" + os.path.join(packaging, "INSTALL.txt"),
                    "-DOUT=" + out, "-P", os.path.join(packaging, "make_package.cmake")], check=True)


def rezip(release):
    folder = os.path.join(release, "swfsaver")
    with zipfile.ZipFile(os.path.join(release, "swfsaver.zip"), "w") as z:
        for f in sorted(os.listdir(folder)):
            z.write(os.path.join(folder, f), "swfsaver/" + f)


def edit(path, fn):
    data = open(path, "rb").read()
    open(path, "wb").write(fn(data))


def set_machine(data, machine):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return data[:pe + 4] + struct.pack("<H", machine) + data[pe + 6:]


# Each fault: (name, change to the laid-out release dir, rezip afterwards,
# what the check must say about it).
FAULTS = [
    ("control DLL missing", lambda r: os.remove(os.path.join(r, "swfsaver", "swfstandin.dll")), True,
     "folder holds"),
    ("extra file", lambda r: open(os.path.join(r, "swfsaver", "readme.md"), "w").write("x"), True,
     "zip holds"),
    ("zip not remade", lambda r: edit(os.path.join(r, "swfsaver", "INSTALL.txt"), lambda d: d + b"\r\n"), False,
     "INSTALL.txt in the zip differs"),
    ("saver not the built one", lambda r: edit(os.path.join(r, "swfsaver", "swfsaver.scr"), lambda d: d + b"\0"), True,
     "swfsaver.scr is not the built"),
    ("64-bit control DLL", lambda r: edit(os.path.join(r, "swfsaver", "swfstandin.dll"),
                                          lambda d: set_machine(d, 0x8664)), True,
     "PE check of swfstandin.dll failed"),
    ("LF line ends", lambda r: edit(os.path.join(r, "swfsaver", "INSTALL.txt"),
                                    lambda d: d.replace(b"\r\n", b"\n")), True,
     "CR LF"),
    ("no removal text", lambda r: edit(os.path.join(r, "swfsaver", "INSTALL.txt"),
                                       lambda d: d.replace(b"regsvr32 /u", b"regsvr32")), True,
     "'regsvr32 /u'"),
]


def self_test(cmake, packaging, scr, dll, checker):
    failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        good = os.path.join(tmp, "good")
        make_package(cmake, packaging, scr, dll, good)
        errors = check(good, scr, dll, checker)
        if errors:
            print("FAIL: the good package is rejected: %s" % errors)
            failed += 1
        for name, change, remake, reason in FAULTS:
            r = os.path.join(tmp, name.replace(" ", "_"))
            shutil.copytree(good, r)
            change(r)
            if remake:
                rezip(r)
            errors = check(r, scr, dll, checker)
            said = [e for e in errors if reason in e]
            if said:
                print("ok: %s rejected: %s" % (name, said[0]))
            else:
                print("FAIL: %s %s" % (name, "rejected for other reasons: %s" % errors if errors else "accepted"))
                failed += 1
    return 1 if failed else 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--checker", required=True)
    ap.add_argument("--scr", required=True)
    ap.add_argument("--dll", required=True)
    ap.add_argument("--build", nargs=2, metavar=("CMAKE", "BUILD_DIR"))
    ap.add_argument("--release")
    ap.add_argument("--self-test", nargs=2, metavar=("CMAKE", "PACKAGING_DIR"))
    a = ap.parse_args()
    if a.self_test:
        return self_test(a.self_test[0], a.self_test[1], a.scr, a.dll, a.checker)
    if not a.release:
        ap.error("--release or --self-test is needed")
    if a.build:
        subprocess.run([a.build[0], "--build", a.build[1], "--target", "release"], check=True)
    errors = check(a.release, a.scr, a.dll, a.checker)
    for e in errors:
        print("FAIL: %s" % e)
    if not errors:
        print("OK: %s: %s" % (a.release, ", ".join(FILES)))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
