#!/usr/bin/env bash
# Makes the tool-written test archives of the zip suite with Info-ZIP zip,
# Python's zipfile and 7-Zip, and a manifest of each (names, sizes, CRC-32)
# after `unzip -t` has checked that every entry's data matches its CRC-32.
# The archives are committed so that the Windows tests under Wine, which
# cannot run these tools, read the very same files. Run it again after
# changing it: tests/data/zip/make_archives.sh
set -euo pipefail
out=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C
cd "$work"

# Deterministic inputs with known times (UTC, so DOS time equals UT time).
mkdir -p src/folder/inner src/empty_dir
python3 - <<'PY'
import random
random.seed(7)
lines = ['<?xml version="1.0" encoding="GB2312"?>', '<InstallFiles>']
for i in range(400):
    lines.append('  <Dek name="Dek %d" fileName="dek%03d.exe" path="dek" modifyDate="2021-03-04" />' % (i, i))
lines.append('</InstallFiles>')
open('src/InstallFiles.xml', 'w', newline='\r\n').write('\n'.join(lines) + '\n')
open('src/notes.txt', 'w').write('Stored because zip -n .txt keeps text files as they are.\n' * 20)
open('src/empty.dat', 'wb').close()
open('src/folder/inner/deep.bin', 'wb').write(bytes(random.randrange(256) for _ in range(20000)))
open('src/ro.txt', 'w').write('read-only\n')
PY
touch -d '2021-03-04 05:06:08' src/InstallFiles.xml src/notes.txt src/empty.dat src/ro.txt
touch -d '2019-12-31 23:59:58' src/folder/inner/deep.bin
touch -d '2020-02-29 12:00:00' src/folder/inner src/folder src/empty_dir
chmod 444 src/ro.txt

( cd src && zip -q -r -n .txt -z ../infozip_basic.zip InstallFiles.xml notes.txt empty.dat ro.txt folder empty_dir \
    <<< 'Catalogue archive comment' )
( cd src && zip -q -0 -r ../infozip_stored.zip InstallFiles.xml folder )
( cd src && zip -q -P secret ../infozip_password.zip InstallFiles.xml notes.txt )
( cd src && zip -q -Z bzip2 ../infozip_bzip2.zip InstallFiles.xml )
( cd src && 7z a -tzip -mx=9 ../p7zip.zip InstallFiles.xml folder >/dev/null )
# A self-extracting style archive: a program stub in front, offsets left as
# the archive alone has them, so every position is shifted by the stub.
python3 -c "import sys; sys.stdout.buffer.write(b'MZ' + bytes(range(256)) * 24)" > stub.bin
cat stub.bin infozip_stored.zip > infozip_sfx.zip
# GBK names as a Chinese Windows zip tool stores them (no UTF-8 flag).
mkdir gbk && ( cd gbk && printf 'gbk\n' > "$(printf '\xcf\xc2\xd4\xd8\xb0\xb2\xd7\xb0.txt')" \
    && touch -d '2021-03-04 05:06:08' ./* && zip -q ../gbk_names.zip ./* )
# Data descriptors: zipfile streams to an unseekable file; UTF-8 names get flag bit 11.
python3 - <<'PY'
import zipfile, time
class Unseekable:
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
    def tell(self): raise OSError('unseekable')
    def seekable(self): return False
with open('python_stream.zip', 'wb') as raw:
    with zipfile.ZipFile(Unseekable(raw), 'w', zipfile.ZIP_DEFLATED) as z:
        for name, data in [('InstallFiles.xml', open('src/InstallFiles.xml', 'rb').read()),
                           ('下载/安装说明.txt', '安装说明\r\n'.encode('utf-8') * 50),
                           ('zero.txt', b'')]:
            with z.open(zipfile.ZipInfo(name, (2021, 3, 4, 5, 6, 8)), 'w') as f:
                f.write(data)
PY

for a in infozip_basic infozip_stored infozip_password infozip_sfx p7zip gbk_names python_stream; do
  # Exit status 1 is a warning only (the stub in front of the sfx archive).
  status=0; unzip -tqq -P secret $a.zip >/dev/null 2>&1 || status=$?
  [ $status -le 1 ] || { echo "make_archives: unzip -t fails on $a.zip" >&2; exit 1; }
  python3 - $a.zip > $a.manifest <<'PY'
import sys, zipfile
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    raw = i.filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')
    print('%08x %d %s' % (i.CRC, i.file_size, raw.hex()))
PY
done
cp infozip_basic.zip infozip_stored.zip infozip_password.zip infozip_bzip2.zip infozip_sfx.zip \
   p7zip.zip gbk_names.zip python_stream.zip ./*.manifest "$out"/
echo "make_archives: written to $out"
