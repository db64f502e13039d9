#!/usr/bin/python3
"""Reads the Windows download's files for its tests, each check printing
what it found and exiting 1 with the reason when it fails:

    windows_files.py zip ZIP PROGRAM...            entries, times, the read-me
    windows_files.py resources EXE VERSION [window] version block (and icon)
    windows_files.py readme README EXE             the stated size of EXE
    windows_files.py winget DIR VERSION MSI        the manifest's fields
    windows_files.py lnk LNK                       prints target and icon
    windows_files.py packed GUID                   the registry's packed form
"""
import hashlib
import os
import re
import struct
import subprocess
import sys
import time
import zipfile


def fail(why):
    print(f"FAILED: {why}")
    sys.exit(1)


def check_zip(path, programs):
    epoch = int(os.environ["SOURCE_DATE_EPOCH"])
    stamp = time.gmtime(epoch - epoch % 2)[:6]  # a zip keeps even seconds
    with zipfile.ZipFile(path) as z:
        names = [i.filename for i in z.infolist()]
        if names != programs + ["说明.txt"]:
            fail(f"{path} holds {names}")
        for info in z.infolist():
            if info.date_time != stamp:
                fail(f"{info.filename} is dated {info.date_time}, not SOURCE_DATE_EPOCH")
        readme = z.read("说明.txt")
    # Older Notepad shows a file of bare line feeds as one line.
    if readme.count(b"\n") != readme.count(b"\r\n") or b"\r\n" not in readme:
        fail("说明.txt does not end every line with CR LF")
    text = readme.decode("utf-8-sig")
    if "无法撤销" not in text or "无法恢复" not in text:
        fail("说明.txt does not say that deleting cannot be undone")
    if "@" in text:
        fail("说明.txt still holds a placeholder")
    print(f"{path}: {' '.join(names)}, dated SOURCE_DATE_EPOCH, read-me in CR LF")


def pe_resources(path):
    """Every resource of a PE file as (type, name, language, bytes)."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional = struct.unpack_from("<H", data, pe + 6)[0], pe + 24
    directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    rva = struct.unpack_from("<I", data, directories + 8 * 2)[0]
    table = optional + struct.unpack_from("<H", data, pe + 20)[0]
    for i in range(sections):
        size, address, _, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        if address <= rva < address + size:
            shift = raw - address
    root = rva + shift

    def entries(at):
        count = sum(struct.unpack_from("<HH", data, at + 12))
        return [struct.unpack_from("<II", data, at + 16 + 8 * i) for i in range(count)]

    found = []
    for kind, names in entries(root):
        for name, languages in entries(root + (names & 0x7FFFFFFF)):
            for language, leaf in entries(root + (languages & 0x7FFFFFFF)):
                at, size = struct.unpack_from("<II", data, root + leaf)
                found.append((kind, name, language, data[at + shift:at + shift + size]))
    return found


def version_block(block, at=0, path=""):
    """The nodes of a VS_VERSIONINFO block as {path: value bytes}."""
    length, value_length, text = struct.unpack_from("<HHH", block, at)
    end, key_end = at + length, at + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if text else value_length
    nodes = {path + key: block[value_at:value_at + value_size]}
    child = (value_at + value_size + 3) & ~3
    while child < end:
        nodes.update(version_block(block, child, path + key + "/"))
        child = (child + struct.unpack_from("<H", block, child)[0] + 3) & ~3
    return nodes


def check_resources(exe, version, window_program=False):
    resources = pe_resources(exe)
    versions = [(lang, data) for kind, _, lang, data in resources if kind == 16]
    if [lang for lang, _ in versions] != [0x0804]:
        fail(f"the version block's languages are {[hex(l) for l, _ in versions]}, not 0804")
    nodes = version_block(versions[0][1])
    strings = {k.rsplit("/", 1)[1]: v.decode("utf-16-le").rstrip("\0")
               for k, v in nodes.items() if k.startswith("VS_VERSION_INFO/StringFileInfo/080403a8/")}
    for key in ("LegalCopyright", "CompanyName", "ProductName", "FileDescription"):
        if not strings.get(key):
            fail(f"the version block has no {key}: {strings}")
    if strings.get("FileVersion") != version or strings.get("ProductVersion") != version:
        fail(f"the version block says {strings.get('FileVersion')}, not {version}")
    if nodes.get("VS_VERSION_INFO/VarFileInfo/Translation") != struct.pack("<HH", 0x0804, 936):
        fail("the translation is not Chinese (0804) in code page 936")
    if not window_program:
        print(f"{exe}: version block in 0804 with LegalCopyright \"{strings['LegalCopyright']}\"")
        return
    groups = [data for kind, _, _, data in resources if kind == 14]
    if not groups:
        fail(f"{exe} has no icon")
    count = struct.unpack_from("<H", groups[0], 4)[0]
    images = [struct.unpack_from("<BBBBHH", groups[0], 6 + 14 * i) for i in range(count)]
    sizes = sorted(w or 256 for w, *_ in images)
    if sizes != [16, 20, 24, 32, 40, 48, 64, 256]:
        fail(f"the icon's sizes are {sizes}")
    if [(w, bits) for w, _, colours, _, _, bits in images if w == 32] != [(32, 4)]:
        fail("the icon's 32 x 32 image is not the window's 16-colour one")
    print(f"{exe}: version block in 0804 with LegalCopyright \"{strings['LegalCopyright']}\", "
          f"icon of {sizes}")


def check_readme(readme, *files):
    """Each file's size as the read-me states it ("`NAME` of about N KB" or
    "`NAME` (about N KB)"), within 10% of the file's own."""
    text = " ".join(open(readme, encoding="utf-8").read().split())
    for path in files:
        name = os.path.basename(path)
        stated = re.search(r"`" + re.escape(name) + r"`[^`]{0,20}?about (\d+) KB", text)
        if not stated:
            fail(f"{readme} does not state the size of {name}")
        measured = os.path.getsize(path) / 1024
        if abs(measured - int(stated[1])) > 0.1 * measured:
            fail(f"{readme} says {name} is about {stated[1]} KB; it is {measured:.0f} KB")
        print(f"{readme}: {name} about {stated[1]} KB, measured {measured:.0f} KB")


# The required fields of each file of a multi-file manifest, schema 1.28.0,
# from its JSON schemas ("required") and documentation: the installer's
# InstallerType may stand at the root or in each installer.
WINGET_REQUIRED = {
    "version": ["PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType",
                "ManifestVersion"],
    "installer": ["PackageIdentifier", "PackageVersion", "Installers", "ManifestType",
                  "ManifestVersion"],
    "defaultLocale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher",
                      "PackageName", "License", "ShortDescription", "ManifestType",
                      "ManifestVersion"],
    "locale": ["PackageIdentifier", "PackageVersion", "PackageLocale", "ManifestType",
               "ManifestVersion"],
}
WINGET_INSTALLER_REQUIRED = ["Architecture", "InstallerUrl", "InstallerSha256"]


def check_winget(folder, version, msi):
    import yaml
    identifier = "Orvanta.Tidwen"
    files = {name: yaml.safe_load(open(os.path.join(folder, name), encoding="utf-8"))
             for name in sorted(os.listdir(folder))}
    expected = [f"{identifier}.installer.yaml", f"{identifier}.locale.en-US.yaml",
                f"{identifier}.locale.zh-CN.yaml", f"{identifier}.yaml"]
    if sorted(files) != expected:
        fail(f"{folder} holds {sorted(files)}")
    for name, manifest in files.items():
        kind = manifest.get("ManifestType")
        missing = [f for f in WINGET_REQUIRED.get(kind, ["ManifestType"]) if manifest.get(f) in (None, "")]
        if missing:
            fail(f"{name} ({kind}) lacks {missing}")
        if (manifest["PackageIdentifier"], manifest["PackageVersion"],
                manifest["ManifestVersion"]) != (identifier, version, "1.28.0"):
            fail(f"{name} is for {manifest['PackageIdentifier']} {manifest['PackageVersion']!r}, "
                 f"schema {manifest['ManifestVersion']}")
    locales = {m["PackageLocale"]: m["ManifestType"] for m in files.values() if "PackageLocale" in m}
    if locales != {"en-US": "defaultLocale", "zh-CN": "locale"} or \
            files[f"{identifier}.yaml"]["DefaultLocale"] != "en-US":
        fail(f"the locales are {locales}")
    installer = files[f"{identifier}.installer.yaml"]
    sha256 = hashlib.sha256(open(msi, "rb").read()).hexdigest().upper()
    for entry in installer["Installers"]:
        missing = [f for f in WINGET_INSTALLER_REQUIRED if not entry.get(f)]
        if missing or not (entry.get("InstallerType") or installer.get("InstallerType")):
            fail(f"an installer lacks {missing or ['InstallerType']}")
        if entry["InstallerSha256"].upper() != sha256:
            fail(f"InstallerSha256 is {entry['InstallerSha256']}, the installer's is {sha256}")
        if not entry["InstallerUrl"].endswith("/" + os.path.basename(msi)):
            fail(f"InstallerUrl {entry['InstallerUrl']} is not the installer's name")
    properties = dict(line.rstrip("\r").split("\t", 1) for line in subprocess.run(
        ["msiinfo", "export", msi, "Property"], check=True, capture_output=True,
        text=True).stdout.splitlines()[3:])
    if installer["ProductCode"] != properties["ProductCode"]:
        fail(f"ProductCode {installer['ProductCode']} is not the installer's")
    print(f"{folder}: {len(files)} files of schema 1.28.0, each with its required fields; "
          f"SHA-256 and product code those of {os.path.basename(msi)}")


def lnk(path):
    """The target and the icon of a shell link."""
    data = open(path, "rb").read()
    flags, at = struct.unpack_from("<I", data, 0x14)[0], 0x4C
    if flags & 0x1:  # an item ID list
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = ""
    if flags & 0x2:  # link info, with the local path
        size, header, _, _, local = struct.unpack_from("<IIIII", data, at)
        start = at + local
        target = data[start:data.index(b"\0", start)].decode("latin-1")
        at += size
    strings = {}
    for bit in (0x4, 0x8, 0x10, 0x20, 0x40):
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            strings[bit] = data[at + 2:at + 2 + 2 * count].decode("utf-16-le")
            at += 2 + 2 * count
    print(f"{target}\n{strings.get(0x40, '')}")


def packed(guid):
    """A GUID as the installer's registry keys write it."""
    g = guid.strip("{}").replace("-", "")
    parts = [g[0:8][::-1], g[8:12][::-1], g[12:16][::-1]] + \
        [g[i:i + 2][::-1] for i in range(16, 32, 2)]
    print("".join(parts).upper())


if __name__ == "__main__":
    command, args = sys.argv[1], sys.argv[2:]
    {"zip": lambda: check_zip(args[0], args[1:]),
     "resources": lambda: check_resources(args[0], args[1], args[2:] == ["window"]),
     "readme": lambda: check_readme(*args),
     "winget": lambda: check_winget(*args),
     "lnk": lambda: lnk(*args),
     "packed": lambda: packed(*args)}[command]()
