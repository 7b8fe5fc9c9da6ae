#!/usr/bin/env python3
"""The shipped programs start on Windows 7 SP1: every DLL they import is one that Windows 7 SP1
has (win7_dlls.txt), and no function they import is one it lacks (not_on_win7.txt: those are
loaded at run time, with GetProcAddress, where the program uses them at all).

Reads the import tables with the cross toolchain's objdump; the Windows DLLs themselves are not
needed. Exit code 0 when every program passes; 1 with one line per fault otherwise.

  check_imports.py --objdump OBJDUMP PROGRAM...
  check_imports.py --objdump OBJDUMP --must-flag NAME... PROGRAM...
      (the checker's own test: passes only when each NAME, a DLL or a function, is reported)
"""
import argparse
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def entries(path):
    """Non-empty, non-comment lines of a list beside this script, split into words."""
    with open(os.path.join(HERE, path), encoding="utf-8") as f:
        return [line.split("#")[0].split() for line in f if line.split("#")[0].strip()]


def imports(objdump, program):
    """{dll (lower case): [function or None for an import by ordinal]}, and whether the program
    has delay-loaded imports (which the tables below do not list)."""
    out = subprocess.run([objdump, "-p", program], check=True, capture_output=True, text=True).stdout
    delay = re.search(r"^Entry d ([0-9a-fA-F]+) ([0-9a-fA-F]+) Delay Import Directory", out, re.M)
    delayed = bool(delay and int(delay.group(2), 16))
    table = {}
    dll = None
    for line in out.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            table.setdefault(dll, [])
            continue
        if not line.strip():
            continue
        # binutils before 2.44: "vma<TAB> hint  name"; from 2.44 on: "vma  ordinal  hint  name",
        # where the column that does not apply reads <none>. A name of <none> is an import by
        # ordinal.
        m = re.match(r"\t[0-9a-fA-F]+\t\s*\d+\s+(\S+)", line) or re.match(
            r"\t[0-9a-fA-F]+\s+(?:<none>|[0-9a-fA-F]+)\s+(?:<none>|[0-9a-fA-F]+)\s+(\S+)", line)
        if dll and m:
            table[dll].append(None if m.group(1) == "<none>" else m.group(1))
        elif dll and line.startswith("\tvma:"):
            continue
        elif not line.startswith("\t"):
            dll = None  # the tables have ended
    return table, delayed


def faults(objdump, program, dlls, absent):
    name = os.path.basename(program)
    table, delayed = imports(objdump, program)
    if not table:
        yield f"{name}: no import table found (is this a Windows program?)", name
    if delayed:
        yield f"{name}: has delay-loaded imports, which this check does not read", name
    for dll, functions in sorted(table.items()):
        # A table read as empty would pass whatever it holds: an objdump whose lines this
        # script does not know must fail the check, not pass it.
        if not functions:
            yield f"{name}: no function read from {dll}'s import table (an objdump format this check does not know?)", dll
        if dll.startswith("api-ms-win-") or dll.startswith("ext-ms-"):
            yield f"{name}: imports {dll}, an API set of later Windows (or of the UCRT)", dll
        elif dll not in dlls:
            yield f"{name}: imports {dll}, which is not a Windows 7 SP1 system DLL in win7_dlls.txt", dll
        for f in functions:
            if f is None:
                yield f"{name}: imports from {dll} by ordinal, which this check cannot name", dll
            elif (dll, f) in absent:
                yield f"{name}: imports {dll}!{f}, {absent[(dll, f)]}: load it at run time", f


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--objdump", required=True)
    p.add_argument("--must-flag", action="append", default=[])
    p.add_argument("programs", nargs="+")
    a = p.parse_args()
    dlls = {e[0].lower() for e in entries("win7_dlls.txt")}
    absent = {}
    for e in entries("not_on_win7.txt"):
        dll, since = e[0].lower(), " ".join(e[2:]) or "not on Windows 7 SP1"
        absent[(dll, e[1])] = "new in " + since if e[2:] else since
    found = []
    for program in a.programs:
        found += list(faults(a.objdump, program, dlls, absent))
    if a.must_flag:
        flagged = {what for _, what in found}
        missed = [n for n in a.must_flag if n not in flagged]
        for n in missed:
            print(f"not reported: {n}")
        return 1 if missed else 0
    for text, _ in found:
        print(text)
    if not found:
        names = ", ".join(os.path.basename(p) for p in a.programs)
        print(f"{names}: nothing imported that Windows 7 SP1 lacks")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
