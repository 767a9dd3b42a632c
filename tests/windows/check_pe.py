#!/usr/bin/env python3
"""A Windows build read as the Windows loader and Explorer read it: each import
held against imports.tsv and the build's floor, the header's versions, the
manifest (resource 1 of type 24) and the version resource.

Usage: check_pe.py OBJDUMP PROGRAM.exe i686|x86_64 IMPORTS_TABLE VERSION
Exits 77 (skipped) where python3-pefile is missing, after the import check."""
import re
import subprocess
import sys

# The oldest Windows each build must start on, per line of Windows; msvcrt.dll
# is held to what Windows 98 and NT 4.0 ship.
NT_ORDER = ["3.1", "3.5", "3.51", "4.0", "2000", "XP", "XP x64", "Vista", "7"]
FLOORS = {
    "i686": {"system": ("95", "4.0"), "msvcrt.dll": ("98", "4.0"), "header": (4, 0)},
    "x86_64": {"system": (None, "XP x64"), "msvcrt.dll": (None, "XP x64"), "header": (5, 2)},
}
NINE_X_ORDER = ["95", "98", "ME"]

MANIFEST_NEEDS = [
    'level="asInvoker"',
    '<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">',
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10 and 11
]


def imports(objdump, program):
    text = subprocess.run([objdump, "-p", program], check=True, capture_output=True, text=True).stdout
    found, dll = [], None
    for line in text.splitlines():
        match = re.match(r"\s*DLL Name: (\S+)", line)
        if match:
            dll = match.group(1)
            continue
        match = re.match(r"\t[0-9a-f]+\t +\d+ +(\S+)$", line)
        if match and dll:
            found.append((dll, match.group(1)))
    header = {k: int(v) for k, v in re.findall(r"^(M\w+Version)\s+(\d+)$", text, re.M)}
    return found, header


def table(path):
    rows = {}
    for line in open(path, encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        dll, function, nine_x, nt, source = line.rstrip("\n").split("\t")
        rows[(dll.lower(), function)] = (nine_x, nt, source)
    return rows


def too_new(oldest, floor, order):
    return floor is not None and (oldest == "-" or order.index(oldest) > order.index(floor))


def check_imports(objdump, program, arch, rows):
    faults = []
    found, header = imports(objdump, program)
    if not found:
        faults.append("no import table read")
    for dll, function in sorted(set(found)):
        row = rows.get((dll.lower(), function))
        if row is None:
            faults.append(f"{dll} {function}: not in the table; add it with the oldest Windows that exports it")
            continue
        nine_x, nt, _ = row
        floor = FLOORS[arch]["msvcrt.dll" if dll.lower() == "msvcrt.dll" else "system"]
        if too_new(nine_x, floor[0], NINE_X_ORDER) or too_new(nt, floor[1], NT_ORDER):
            faults.append(f"{dll} {function}: needs Windows {nine_x} / NT {nt}, newer than this build's floor")
    major, minor = FLOORS[arch]["header"]
    for field in ("OSystem", "Subsystem"):
        got = (header.get(f"Major{field}Version"), header.get(f"Minor{field}Version"))
        if got != (major, minor):
            faults.append(f"the header's {field} version is {got}, not {major}.{minor}")
    return faults, len(set(found))


def check_resources(program, version):
    import pefile  # python3-pefile

    pe = pefile.PE(program)
    faults = []
    manifest = None
    kinds = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    for kind in kinds:
        if kind.id != 24:
            continue
        for entry in kind.directory.entries:
            if entry.id == 1:
                data = entry.directory.entries[0].data.struct
                manifest = pe.get_data(data.OffsetToData, data.Size).decode("utf-8")
    if manifest is None:
        faults.append("no manifest as resource 1 of type 24")
    else:
        faults += [f"the manifest lacks {need}" for need in MANIFEST_NEEDS if need not in manifest]
        if "processorArchitecture" in manifest:
            faults.append("the manifest names a processorArchitecture")
        if manifest.count("urn:schemas-microsoft-com:asm.v3") != 1:
            faults.append("the manifest declares the asm.v3 namespace other than once, on trustInfo")
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table_ in getattr(entry, "StringTable", []):
                strings.update({k.decode(): v.decode() for k, v in table_.entries.items()})
    expected = {
        "FileVersion": version,
        "ProductVersion": version,
        "OriginalFilename": "morvex-uninstall.exe",
        "ProductName": "Morvex C/C++ Compiler",
        "FileDescription": "Morvex C/C++ Compiler uninstall program",
    }
    for key, value in expected.items():
        if strings.get(key) != value:
            faults.append(f"version resource {key} is {strings.get(key)!r}, not {value!r}")
    if not strings.get("LegalCopyright", "").startswith("Copyright"):
        faults.append("version resource has no LegalCopyright")
    return faults


def main():
    objdump, program, arch, table_path, version = sys.argv[1:6]
    faults, count = check_imports(objdump, program, arch, table(table_path))
    try:
        import pefile  # noqa: F401
        resources_read = True
    except ImportError:
        resources_read = False
    if resources_read:
        faults += check_resources(program, version)
    for fault in faults:
        print(f"{program}: {fault}")
    if faults:
        return 1
    print(f"{program}: {count} imports within the {arch} build's floor"
          + (", manifest and version resource as they must be" if resources_read else ""))
    if not resources_read:
        print("skipped: the resources were not read (python3-pefile is not installed)")
        return 77
    return 0


if __name__ == "__main__":
    sys.exit(main())
