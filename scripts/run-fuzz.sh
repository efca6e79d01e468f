#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target for a bounded time.
#   scripts/run-fuzz.sh [seconds per target, default 30]
# Each target keeps its corpus in build/fuzz/corpus/<target>, seeded with small valid files of the
# formats it reads, so later runs start from what earlier ones found. Exits non-zero on a finding.
set -euo pipefail

seconds="${1:-30}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

seed_dir="build/fuzz/seeds"
mkdir -p "$seed_dir"
# Seeds: tiny valid pictures, written byte by byte (no sample files are kept in the repository).
printf 'P6\n2 2\n255\n\xff\x00\x00\x00\xff\x00\x00\x00\xff\xff\xff\xff' > "$seed_dir/tiny.ppm"
if command -v cjpeg >/dev/null; then cjpeg -quality 50 "$seed_dir/tiny.ppm" > "$seed_dir/tiny.jpg"; fi
printf 'GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;' \
  > "$seed_dir/tiny.gif"
printf 'BM\x3a\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x01\x00\x18\x00\x00\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x10\x20\x30\x00' \
  > "$seed_dir/tiny.bmp"
python3 - "$seed_dir" <<'PY' || true
import struct, sys, zlib
d = sys.argv[1]
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
raw = b"\x00\xff\x00\x00\x00\x00\xff"
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 1, 8, 2, 0, 0, 0)) \
      + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
open(d + "/tiny.png", "wb").write(png)
# A 1 x 1 uncompressed RGB TIFF.
entries = [(256, 3, 1, 1), (257, 3, 1, 1), (258, 3, 1, 8), (259, 3, 1, 1), (262, 3, 1, 2),
           (273, 4, 1, 8), (277, 3, 1, 3), (278, 3, 1, 1), (279, 4, 1, 3)]
ifd = struct.pack("<H", len(entries)) + b"".join(struct.pack("<HHII", *e) for e in entries) + b"\0\0\0\0"
tiff = b"II*\0" + struct.pack("<I", 11) + b"\x10\x20\x30" + ifd
open(d + "/tiny.tif", "wb").write(tiff)
# A small zip: stored and deflated entries, a folder, a UTF-8 name and one that climbs out.
import zipfile
with zipfile.ZipFile(d + "/tiny.zip", "w") as z:
    z.writestr("a.txt", "a")
    z.writestr("sub/b.txt", "bb" * 40, compress_type=zipfile.ZIP_DEFLATED)
    z.writestr("\u00fc.txt", "u")
    z.writestr(zipfile.ZipInfo("../escaped"), "x")
PY

status=0
for target in build/fuzz/fuzz/*_fuzz; do
  [[ -x "$target" ]] || continue
  name="$(basename "$target")"
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "run-fuzz: $name for ${seconds}s"
  if ! "$target" "$corpus" "$seed_dir" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
       -print_final_stats=1 -artifact_prefix="build/fuzz/$name-" 2>"build/fuzz/$name.log"; then
    tail -40 "build/fuzz/$name.log"
    status=1
  else
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "build/fuzz/$name.log" || true
  fi
done
exit $status
