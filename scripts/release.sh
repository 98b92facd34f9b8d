#!/usr/bin/env bash
# Builds the download for users: build/release/ZEPHO-<version>.zip holding the
# 32-bit ZEPHO.exe and the user guide ZEPHO.txt (code page 932, CR LF, so that
# Notepad on any Windows reads it), and ZEPHO-<version>.zip.sha256 beside it.
# The version is the one the build makes from project(VERSION) in CMakeLists.txt.
#
# The program is built from scratch in a build folder of its own, with the same
# preset as the tests (win32, a release build). The same sources give the same
# bytes: the program carries no link time, the archive holds its two files in a
# fixed order with the time of the last commit (or SOURCE_DATE_EPOCH).
#
#   scripts/release.sh [--allow-dirty] [--arch win32|win64] [--out DIR]
#
#   --allow-dirty  build also when the checkout has changes that are not committed
#                  (such an archive cannot be made again by anyone else)
#   --arch win64   the same archive around the x86_64 build of the same sources,
#                  named ZEPHO-<version>-win64.zip: for testing on machines that
#                  cannot run 32-bit code; not for users
#   --out DIR      where the archive is written (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

arch=win32
out=build/release
allow_dirty=
while [ $# -gt 0 ]; do
  case $1 in
    --allow-dirty) allow_dirty=1; shift ;;
    --arch) arch=${2:?}; shift 2 ;;
    --out) out=${2:?}; shift 2 ;;
    *) echo "usage: scripts/release.sh [--allow-dirty] [--arch win32|win64] [--out DIR]" >&2; exit 2 ;;
  esac
done
case $arch in
  win32) pe='PE32 executable (GUI) Intel 80386'; suffix= ;;
  win64) pe='PE32+ executable (GUI) x86-64'; suffix=-win64 ;;
  *) echo "release: unknown arch $arch (win32 or win64)" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh

if [ -d .git ] || [ -f .git ]; then
  if [ -n "$(git status --porcelain)" ]; then
    if [ -z "$allow_dirty" ]; then
      echo "release: the checkout has changes that are not committed:" >&2
      git status --short >&2
      echo "release: commit them first (or pass --allow-dirty for a trial build)" >&2
      exit 1
    fi
    echo "release: building with changes that are not committed (--allow-dirty)"
  fi
  : "${SOURCE_DATE_EPOCH:=$(git log -1 --format=%ct)}"
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  echo "release: not a git checkout: set SOURCE_DATE_EPOCH to the sources' time" >&2
  exit 1
fi
export SOURCE_DATE_EPOCH

mkdir -p "$out"
out=$(cd "$out" && pwd)
build=$out/build-$arch
rm -rf "$build"
mkdir -p "$build"

# Configuring writes the version text that the build puts into the program.
cmake --preset "$arch" -B "$build" >/dev/null
version=$(cat "$build/generated/version.txt")

# The guide first, so that a character Notepad could not show stops the release
# before the build: UTF-8 in the repository, code page 932 with CR LF in the zip.
python3 - "$root/docs/ZEPHO.txt" "$version" "$build/ZEPHO.txt" <<'EOF'
import sys

source, version, target = sys.argv[1:]
with open(source, "rb") as f:
    text = f.read().decode("utf-8")
text = text.replace("\r\n", "\n").replace("@VERSION@", version)
if not text.endswith("\n"):
    text += "\n"
# Every character must have its own code page 932 form (U+301C, for one, is
# written as the code of U+FF5E and would read back as that).
for number, line in enumerate(text.split("\n"), 1):
    for c in line:
        try:
            same = c.encode("cp932").decode("cp932") == c
        except UnicodeEncodeError:
            same = False
        if not same:
            sys.exit("release: docs/ZEPHO.txt line %d: %r (U+%04X) has no code page 932 form"
                     % (number, c, ord(c)))
with open(target, "wb") as f:
    f.write(text.replace("\n", "\r\n").encode("cp932"))
EOF

cmake --build "$build" --target ZEPHO
exe=$build/ZEPHO.exe
file "$exe" | grep -q "$pe" || { echo "release: $exe is not a $pe program" >&2; exit 1; }

name=ZEPHO-$version$suffix.zip
rm -f "$out/$name" "$out/$name.sha256"
python3 - "$exe" "$build/ZEPHO.txt" "$out/$name" <<'EOF'
import os, sys, time, zipfile

exe, guide, archive = sys.argv[1:]
files = []
for name, path in (("ZEPHO.exe", exe), ("ZEPHO.txt", guide)):
    with open(path, "rb") as f:
        files.append((name, f.read()))

# Fixed order and time, no system-specific attributes: the same input gives the
# same bytes. The date is stored as written (zip dates carry no time zone).
stamp = time.gmtime(int(os.environ["SOURCE_DATE_EPOCH"]))
date_time = max((1980, 1, 1, 0, 0, 0), tuple(stamp[:6]))
with zipfile.ZipFile(archive, "w") as z:
    for name, data in files:
        info = zipfile.ZipInfo(name, date_time)
        info.create_system = 0          # MS-DOS attributes
        info.external_attr = 0x20       # "archive", as Windows writes them
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, data, compresslevel=9)
EOF
(cd "$out" && sha256sum "$name" > "$name.sha256")

echo "release: $out/$name"
echo "release: $(cat "$out/$name.sha256")"
