#!/usr/bin/python3
"""Writes the winget manifest of the Windows installer:

    winget-manifest.py OUT_DIR VERSION INSTALLER.msi

from the templates in packaging/winget/ (a multi-file manifest: version,
installer, default locale en-US and the zh-CN locale), into
OUT_DIR/manifests/o/Orvanta/Tidwen/VERSION/ as the community repository
lays them out. The installer's SHA-256 and product code are read from the
installer itself; the release date is SOURCE_DATE_EPOCH's.
"""
import glob
import hashlib
import os
import subprocess
import sys
import time
from string import Template

# The newest manifest schema: its JSON schemas and documentation are what
# tests/packaging/winget_test.py checks the manifest against.
MANIFEST_VERSION = "1.28.0"
HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATES = os.path.join(HERE, "..", "packaging", "winget")


def msi_property(msi, name):
    table = subprocess.run(["msiinfo", "export", msi, "Property"], check=True,
                           capture_output=True, text=True).stdout
    for line in table.splitlines():
        key, _, value = line.rstrip("\r").partition("\t")
        if key == name:
            return value
    sys.exit(f"winget-manifest: {msi} has no {name}")


def main():
    out, version, msi = sys.argv[1:4]
    with open(msi, "rb") as f:
        sha256 = hashlib.sha256(f.read()).hexdigest().upper()
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", time.time()))
    values = {
        "manifest_version": MANIFEST_VERSION,
        "version": version,
        "sha256": sha256,
        "msi": os.path.basename(msi),
        "product_code": msi_property(msi, "ProductCode"),
        "upgrade_code": msi_property(msi, "UpgradeCode"),
        "release_date": time.strftime("%Y-%m-%d", time.gmtime(epoch)),
    }
    folder = os.path.join(out, "manifests", "o", "Orvanta", "Tidwen", version)
    os.makedirs(folder, exist_ok=True)
    for template in sorted(glob.glob(os.path.join(TEMPLATES, "*.yaml"))):
        with open(template, encoding="utf-8") as f:
            text = Template(f.read()).substitute(values)
        with open(os.path.join(folder, os.path.basename(template)), "w", encoding="utf-8") as f:
            f.write(text)
    print(f"winget manifest in {folder}")


if __name__ == "__main__":
    main()
