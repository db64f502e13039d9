#!/usr/bin/env bash
# The Windows download names its read-me 说明.txt: every entry of the zip
# that cmake/windows-zip.py packs must carry the UTF-8 flag (general purpose
# bit 11) in its local and its central header, or Windows' own unzip decodes
# the name in the Chinese code page. Read from the zip's own bytes.
#
#   windows_zip_test.sh <source dir> <scratch dir>
set -euo pipefail
source=$1 scratch=$2
rm -rf "$scratch" && mkdir -p "$scratch/in"
printf 'MZ' >"$scratch/in/tidwen.exe"
cp "$source/packaging/windows/README.txt" "$scratch/in/说明.txt"
zip=$scratch/tidwen.zip
python3 "$source/cmake/windows-zip.py" "$zip" "$scratch/in/tidwen.exe" "$scratch/in/说明.txt"

mapfile -t b < <(od -An -v -tu1 "$zip" | tr -s ' ' '\n' | sed '/^$/d')
u16() { echo $(( b[$1] | b[$1 + 1] << 8 )); }
u32() { echo $(( b[$1] | b[$1 + 1] << 8 | b[$1 + 2] << 16 | b[$1 + 3] << 24 )); }
name() { local at=$1 len=$2 hex=; for ((i = at; i < at + len; i++)); do hex+=$(printf '\\x%02x' "${b[i]}"); done; printf "$hex"; }

# The central directory: its end record gives where it starts and how many
# entries it holds; each entry points at its local header.
end=-1
for ((i = ${#b[@]} - 22; i >= 0; i--)); do
  [[ $(u32 $i) -eq $((0x06054b50)) ]] && { end=$i; break; }
done
((end >= 0)) || { echo "FAILED: no end of central directory"; exit 1; }
count=$(u16 $((end + 10))) at=$(u32 $((end + 16))) names=()
for ((e = 0; e < count; e++)); do
  [[ $(u32 $at) -eq $((0x02014b50)) ]] || { echo "FAILED: no central header at $at"; exit 1; }
  len=$(u16 $((at + 28))) local=$(u32 $((at + 42)))
  entry=$(name $((at + 46)) "$len")
  names+=("$entry")
  (( $(u16 $((at + 8))) & 0x800 )) || { echo "FAILED: $entry: central header lacks the UTF-8 flag"; exit 1; }
  (( $(u16 $((local + 6))) & 0x800 )) || { echo "FAILED: $entry: local header lacks the UTF-8 flag"; exit 1; }
  at=$((at + 46 + len + $(u16 $((at + 30))) + $(u16 $((at + 32)))))
done
[[ "${names[*]}" == "tidwen.exe 说明.txt" ]] || { echo "FAILED: entries are: ${names[*]}"; exit 1; }
echo "$zip: ${names[*]}, each flagged UTF-8"
