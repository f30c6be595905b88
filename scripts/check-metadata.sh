#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the desktop entry and the AppStream metadata as a distribution's tools see them: both
# validators pass with no warning (appstreamcli also with no info-level hint), and every text a
# launcher or software centre shows is there in each of the ten languages of the menus.
set -euo pipefail
cd "$(dirname "$0")/.."
desktop=data/org.tavrik.Tavrik.desktop
metainfo=data/org.tavrik.Tavrik.metainfo.xml

appstreamcli validate --strict --explain --no-net "$metainfo"
out=$(desktop-file-validate "$desktop" 2>&1) || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "desktop-file-validate: $out"; exit 1; }

python3 - "$desktop" "$metainfo" <<'PY'
import configparser, sys, xml.etree.ElementTree as ET
desktop, metainfo = sys.argv[1:]
# Simplified and Traditional Chinese, Japanese, Spanish, French, German, Italian, Portuguese, Korean
# besides the untranslated English.
langs = ["zh_CN", "zh_TW", "ja", "es", "fr", "de", "it", "pt", "ko"]
faults = []

entry = configparser.RawConfigParser(strict=True, interpolation=None)
entry.optionxform = str
entry.read(desktop, encoding="utf-8")
e = entry["Desktop Entry"]
for key in ["Name", "GenericName", "Comment", "Keywords"]:
    for lang in [None] + langs:
        k = key if lang is None else f"{key}[{lang}]"
        if not e.get(k, "").strip():
            faults.append(f"{desktop}: no {k}")
    if key == "Keywords":
        for lang in langs:
            if not e.get(f"Keywords[{lang}]", "").endswith(";"):
                faults.append(f"{desktop}: Keywords[{lang}] does not end with ';'")

XML_LANG = "{http://www.w3.org/XML/1998/namespace}lang"
root = ET.parse(metainfo).getroot()
summaries = {s.get(XML_LANG) for s in root.findall("summary")}
paragraphs = [p.get(XML_LANG) for p in root.find("description")]
english = paragraphs.count(None)
for lang in [None] + langs:
    if lang not in summaries:
        faults.append(f"{metainfo}: no summary for {lang or 'English'}")
    if paragraphs.count(lang) != english:
        faults.append(f"{metainfo}: {paragraphs.count(lang)} of {english} description paragraphs for {lang}")
license = root.findtext("project_license")
if license != "GPL-3.0-or-later":
    faults.append(f"{metainfo}: project_license is {license}")

print("\n".join(faults) or f"desktop entry and AppStream metadata in {len(langs) + 1} languages: ok")
sys.exit(1 if faults else 0)
PY
