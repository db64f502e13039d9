#!/usr/bin/env python3
"""Packs the Windows download: windows-zip.py OUT.zip FILE...

Each entry is stored under its bare name, flagged as UTF-8 (general purpose
bit 11), so that Windows' own unzip reads 说明.txt as it is written rather
than decoding it in the Chinese code page. Info-ZIP's zip leaves the flag
unset on Linux.

The entries come in the order given, each with the time SOURCE_DATE_EPOCH
(in UTC) and the same attributes whatever the builder's umask, so that the
zip is the same bytes whenever one commit is packed.
"""
import os
import sys
import time
import zipfile


class Utf8Info(zipfile.ZipInfo):
    """An entry whose name is flagged as UTF-8 whatever its characters;
    zipfile itself flags only names that are not ASCII."""

    def _encodeFilenameFlags(self):
        return self.filename.encode("utf-8"), self.flag_bits | 0x800


out, files = sys.argv[1], sys.argv[2:]
# A zip's times start in 1980.
stamp = time.gmtime(max(int(os.environ.get("SOURCE_DATE_EPOCH", time.time())), 315532800))[:6]
with zipfile.ZipFile(out + ".part", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for path in files:
        info = Utf8Info(os.path.basename(path), date_time=stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 0  # MS-DOS: attributes as Windows reads them
        info.external_attr = 0x20  # archive bit, nothing read-only
        with open(path, "rb") as data:
            archive.writestr(info, data.read())
os.replace(out + ".part", out)
