#!/usr/bin/env bash
# Packs a release the way `make release` does, from a folder where the stand-in port library
# lies beside the program (as in a dry run's folder), and checks what a hobbyist downloads:
# exactly kalibrix.exe and LIESMICH.txt, neither of them the stand-in library; the program at
# most 64 KB; the read-me in Windows-1252 with CRLF line ends and under 80 columns; every line of
# SHA256SUMS OK where the zip is unpacked beside it; and the same bytes when packed again a
# second later, in another time zone and with another umask.
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
mkdir -p "$scratch/dry-run" "$scratch/download"
cp "$program" "$scratch/dry-run/kalibrix.exe"
cp "$standin" "$scratch/dry-run/inpout32.dll"

"$source_dir/tools/make-release" "$scratch/dry-run/kalibrix.exe" "$scratch/release" >/dev/null
sleep 1.1
(umask 077 && TZ=KIT-14 "$source_dir/tools/make-release" \
    "$scratch/dry-run/kalibrix.exe" "$scratch/again" >/dev/null)
for file in kalibrix-V1-win32.zip kalibrix.exe LIESMICH.txt SHA256SUMS; do
    cmp -s "$scratch/release/$file" "$scratch/again/$file" ||
        fail "$file differs when packed again: the release is not reproducible"
done

# As a user downloads it: the zip and SHA256SUMS in one folder, unpacked there.
cp "$scratch/release/kalibrix-V1-win32.zip" "$scratch/release/SHA256SUMS" "$scratch/download/"
archive="$scratch/download/kalibrix-V1-win32.zip"
members=$(cmake -E tar tf "$archive" | sort | tr '\n' ' ')
[ "$members" = "LIESMICH.txt kalibrix.exe " ] ||
    fail "the archive holds '$members', not exactly kalibrix.exe and LIESMICH.txt"
(cd "$scratch/download" && cmake -E tar xf "$archive")
(cd "$scratch/download" && sha256sum --strict --quiet -c SHA256SUMS) ||
    fail "SHA256SUMS does not verify where the download is unpacked"
for file in "$scratch"/download/*; do
    if cmp -s "$file" "$standin"; then
        fail "$(basename "$file") in the archive is the stand-in port library"
    fi
done

exe="$scratch/download/kalibrix.exe"
size=$(stat -c %s "$exe")
[ "$size" -le 65536 ] || fail "kalibrix.exe has $size bytes, more than 64 KB"
if i686-w64-mingw32-objdump -h "$exe" | grep -q '\.debug'; then
    fail "kalibrix.exe is not stripped"
fi

readme="$scratch/download/LIESMICH.txt"
lines=$(wc -l <"$readme")
crlf=$(grep -c $'\r$' "$readme" || true)
[ "$lines" -gt 0 ] && [ "$lines" -eq "$crlf" ] || fail "LIESMICH.txt has lines without CRLF"
LC_ALL=C grep -q $'Fr\xe4sen' "$readme" || fail "LIESMICH.txt is not Windows-1252 (no 'Fr\\xe4sen')"
iconv -f WINDOWS-1252 -t UTF-8 "$readme" >/dev/null || fail "LIESMICH.txt is not Windows-1252"
wide=$(tr -d '\r' <"$readme" | LC_ALL=C awk 'length > 79 { print NR; exit }')
[ -z "$wide" ] || fail "LIESMICH.txt line $wide has 80 columns or more"
for phrase in "inpout32.dll" "kalibrix.exe" "C:\\Kalibrix" "Pin 2" "STOP!" "Windows XP"; do
    grep -qF "$phrase" "$readme" || fail "LIESMICH.txt does not mention '$phrase'"
done

echo "release archive: kalibrix.exe ($size bytes) and LIESMICH.txt ($(stat -c %s "$readme") bytes)"
