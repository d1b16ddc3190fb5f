#!/usr/bin/env bash
# Packs a release the way `make release` does, from a folder where the stand-in port library
# lies beside the program (as in a dry run's folder), and checks what a hobbyist downloads:
# exactly kalibrix.exe and LIESMICH.txt, neither of them the stand-in library; the program at
# most 64 KB; the read-me in Windows-1252 with CRLF line ends; the checksums right.
#
#   check_release.sh SOURCE_DIR PROGRAM STANDIN_LIBRARY SCRATCH_DIR
set -euo pipefail

source_dir=$1
program=$2
standin=$3
scratch=$4

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

rm -rf "$scratch"
mkdir -p "$scratch/dry-run" "$scratch/unpacked"
cp "$program" "$scratch/dry-run/kalibrix.exe"
cp "$standin" "$scratch/dry-run/inpout32.dll"

"$source_dir/tools/make-release" "$scratch/dry-run/kalibrix.exe" "$scratch/release"
archive="$scratch/release/kalibrix-V1-win32.zip"

members=$(cmake -E tar tf "$archive" | sort | tr '\n' ' ')
[ "$members" = "LIESMICH.txt kalibrix.exe " ] ||
    fail "the archive holds '$members', not exactly kalibrix.exe and LIESMICH.txt"
(cd "$scratch/unpacked" && cmake -E tar xf "$archive")
for file in "$scratch"/unpacked/*; do
    if cmp -s "$file" "$standin"; then
        fail "$(basename "$file") in the archive is the stand-in port library"
    fi
done

exe="$scratch/unpacked/kalibrix.exe"
size=$(stat -c %s "$exe")
[ "$size" -le 65536 ] || fail "kalibrix.exe has $size bytes, more than 64 KB"
if i686-w64-mingw32-objdump -h "$exe" | grep -q '\.debug'; then
    fail "kalibrix.exe is not stripped"
fi

readme="$scratch/unpacked/LIESMICH.txt"
lines=$(wc -l <"$readme")
crlf=$(grep -c $'\r$' "$readme" || true)
[ "$lines" -gt 0 ] && [ "$lines" -eq "$crlf" ] || fail "LIESMICH.txt has lines without CRLF"
LC_ALL=C grep -q $'Fr\xe4sen' "$readme" || fail "LIESMICH.txt is not Windows-1252 (no 'Fr\\xe4sen')"
iconv -f WINDOWS-1252 -t UTF-8 "$readme" >/dev/null || fail "LIESMICH.txt is not Windows-1252"
for phrase in "inpout32.dll" "kalibrix.exe" "1 / Ergebnis" "STOP!" "Windows XP"; do
    grep -qF "$phrase" "$readme" || fail "LIESMICH.txt does not mention '$phrase'"
done

(cd "$scratch/release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
echo "release archive: kalibrix.exe ($size bytes) and LIESMICH.txt ($(stat -c %s "$readme") bytes)"
