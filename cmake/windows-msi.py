#!/usr/bin/python3
"""Builds the Windows installer with wixl (msitools):

    windows-msi.py OUT.msi VERSION ICON PROGRAM.exe...

The first program gets the Start-menu shortcut. The source is
packaging/windows/tidwen.wxs.in with a component for each program. The
result depends on its inputs alone, so two builds of one commit are the same
bytes:

- the product code follows from the version (one per version), the package
  code from the inputs' bytes (one per distinct package);
- the summary information's times are SOURCE_DATE_EPOCH, and the embedded
  cabinet's file times too (wixl takes them from the files);
- wixl writes its own random package code and the current time, so both are
  written over afterwards, in place, with the stream's size unchanged.

wixl cannot write text outside ASCII: it drops it, or crashes. So the
Chinese texts go in as ASCII markers, and msibuild then sets the database's
code page (936) and writes the texts over the markers.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import uuid
from string import Template

import olefile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.join(HERE, "..", "packaging", "windows", "tidwen.wxs.in")
UPGRADE_CODE = uuid.UUID("9B6CE696-60B8-43FD-A5D2-7BB6E0C74BFF")
CODEPAGE = 936

# (table, column, key column, key, text) written over wixl's ASCII markers.
CHINESE_TEXTS = [
    ("Shortcut", "Name", "Shortcut", "StartMenuShortcut", "TIDWEN~1|Tidwen 垃圾清理"),
    ("Shortcut", "Description", "Shortcut", "StartMenuShortcut",
     "扫描驱动器上的垃圾文件并删除选中的文件"),
    ("LaunchCondition", "Description", "Condition", "NOT WIX_DOWNGRADE_DETECTED",
     "已经安装了更新版本的 Tidwen。"),
]

# Summary information: the property numbers and their types.
PID_TEMPLATE, PID_REVISION, PID_CREATED, PID_SAVED = 7, 9, 12, 13
VT_LPSTR, VT_FILETIME = 30, 64


def identifier(name):
    """A file name as a WiX identifier: letters, digits, '_' and '.'."""
    return "".join(c if c.isalnum() or c in "_." else "_" for c in name)


def components(programs):
    parts, refs = [], []
    for i, path in enumerate(programs):
        name = os.path.basename(path)
        ident = identifier(name)
        remove = ('\n              <RemoveFolder Id="RemoveINSTALLDIR" On="uninstall"/>'
                  if i == 0 else "")
        parts.append(f'            <Component Id="{ident}" Guid="*">\n'
                     f'              <File Id="{ident}" Name="{name}" Source="{name}"'
                     f' KeyPath="yes"/>{remove}\n'
                     f'            </Component>')
        refs.append(f'      <ComponentRef Id="{ident}"/>')
    return "\n".join(parts), "\n".join(refs)


def filetime(unix_seconds):
    return (unix_seconds + 11644473600) * 10_000_000


def fix_summary(msi, package_code, epoch):
    """Writes the package code, the times and the language over wixl's."""
    with olefile.OleFileIO(msi, write_mode=True) as ole:
        name = "\x05SummaryInformation"
        data = bytearray(ole.openstream(name).read())
        section = struct.unpack_from("<I", data, 44)[0]
        count = struct.unpack_from("<I", data, section + 4)[0]
        wanted, found = {PID_TEMPLATE, PID_REVISION, PID_CREATED, PID_SAVED}, set()
        for i in range(count):
            pid, offset = struct.unpack_from("<II", data, section + 8 + 8 * i)
            at = section + offset
            kind = struct.unpack_from("<I", data, at)[0]
            if pid in (PID_CREATED, PID_SAVED) and kind == VT_FILETIME:
                struct.pack_into("<Q", data, at + 4, filetime(epoch))
            elif pid in (PID_REVISION, PID_TEMPLATE) and kind == VT_LPSTR:
                value = package_code if pid == PID_REVISION else "x64;2052"
                length = struct.unpack_from("<I", data, at + 4)[0]
                encoded = value.encode("ascii") + b"\0"
                if len(encoded) != length:
                    sys.exit(f"windows-msi: summary property {pid} holds {length} bytes, "
                             f"not {len(encoded)}")
                data[at + 8:at + 8 + length] = encoded
            else:
                continue
            found.add(pid)
        if found != wanted:
            sys.exit(f"windows-msi: the summary information lacks {sorted(wanted - found)}")
        ole.write_stream(name, bytes(data))


def sql_text(text):
    return "'" + text.replace("'", "''") + "'"


def main():
    out, version, icon, programs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    if not programs:
        sys.exit("usage: windows-msi.py OUT.msi VERSION ICON PROGRAM.exe...")
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", time.time()))
    program_components, program_refs = components(programs)
    with open(SOURCE, encoding="utf-8") as f:
        wxs = Template(f.read()).substitute(
            product_code=str(uuid.uuid5(UPGRADE_CODE, "Tidwen " + version)).upper(),
            version=version, icon="tidwen.ico", program_components=program_components,
            program_refs=program_refs,
            shortcut_target=identifier(os.path.basename(programs[0])))

    # The package code: the same inputs, the same package.
    digest = hashlib.sha256(wxs.encode("utf-8"))
    for path in [icon] + programs:
        with open(path, "rb") as f:
            digest.update(f.read())
    package_code = "{" + str(uuid.uuid5(UPGRADE_CODE, digest.hexdigest())).upper() + "}"

    with tempfile.TemporaryDirectory(prefix="tidwen-msi-") as stage:
        # The cabinet keeps each file's time: the inputs are staged with one.
        for path, name in [(icon, "tidwen.ico")] + [(p, os.path.basename(p)) for p in programs]:
            shutil.copyfile(path, os.path.join(stage, name))
            os.utime(os.path.join(stage, name), (epoch, epoch))
        with open(os.path.join(stage, "tidwen.wxs"), "w", encoding="utf-8") as f:
            f.write(wxs)
        with open(os.path.join(stage, "_ForceCodepage.idt"), "w", newline="\r\n") as f:
            f.write(f"\n\n{CODEPAGE}\t_ForceCodepage\n")
        msi = os.path.join(stage, "tidwen.msi")
        env = dict(os.environ, TZ="UTC", LC_ALL="C")
        subprocess.run(["wixl", "-a", "x64", "-o", msi, "tidwen.wxs"], cwd=stage, env=env,
                       check=True)
        queries = []
        for table, column, key, value, text in CHINESE_TEXTS:
            queries += ["-q", f"UPDATE `{table}` SET `{column}`={sql_text(text)} "
                              f"WHERE `{key}`={sql_text(value)}"]
        subprocess.run(["msibuild", msi, "-i", "_ForceCodepage.idt"] + queries, cwd=stage,
                       env=env, check=True)
        fix_summary(msi, package_code, epoch)
        shutil.copyfile(msi, out + ".part")
    os.replace(out + ".part", out)


if __name__ == "__main__":
    main()
