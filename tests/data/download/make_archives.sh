#!/usr/bin/env bash
# Rebuilds the catalogue archives that the catalogue fetch tests serve.
# Needs Info-ZIP's zip. Run from anywhere; the archives are committed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

plain='<InstallFiles><Group name="定额库" state="3"><Dek name="北京2008" fileName="bj2008.exe" path="dek/2008" state="2"/><Dek name="上海" fileName="sh.exe" state="1"/></Group><Version number="3"><Dek name="hidden" fileName="h.exe"/></Version><Tool name="工具" fileName="tool.exe"/></InstallFiles>'
other='<Other><Dek name="wrong" fileName="wrong.exe"/></Other>'

make() {  # archive, then pairs of (stored name, content)
  local archive=$1; shift
  rm -rf "$work/in" && mkdir -p "$work/in"
  local names=()
  while [ $# -gt 0 ]; do
    mkdir -p "$work/in/$(dirname "$1")"
    printf '%s' "$2" > "$work/in/$1"
    names+=("$1"); shift 2
  done
  rm -f "$here/$archive"
  (cd "$work/in" && zip -q -X -D "$here/$archive" "${names[@]}")
}

make plain.zip InstallFiles.xml "$plain"
make declared.zip InstallFiles.xml $'<?xml version="1.0" encoding="UTF-8"?>\r\n<!-- the catalogue -->\r\n'"$plain"
make upper.zip installfiles.XML "$plain"
make subfolder.zip data/InstallFiles.xml "$plain"
make absent.zip Other.xml "$other"
make later.zip readme.txt "read me" InstallFiles.xml "$plain" INSTALLFILES.XML "$other"
printf 'PK\003\004 this is no archive at all' > "$here/garbage.zip"

# Twenty thousand packages: a catalogue whose tree takes some megabytes.
many="<InstallFiles>$(for i in $(seq 20000); do printf '<Dek name="定额%d" fileName="d%d.exe" state="2"/>' "$i" "$i"; done)</InstallFiles>"
make many.zip InstallFiles.xml "$many"

# The catalogue padded with blanks after its root element to exactly the
# largest size that is extracted (64 MiB), and one byte over it. Both deflate
# to about 64 KB: what counts is the size the archive records.
pad() {  # archive, size
  rm -rf "$work/in" && mkdir -p "$work/in"
  printf '%s' "$plain" > "$work/in/InstallFiles.xml"
  truncate -s "$2" "$work/in/InstallFiles.xml"
  # truncate pads with zero bytes; make them blanks.
  tr '\0' ' ' < "$work/in/InstallFiles.xml" > "$work/in/padded" && mv "$work/in/padded" "$work/in/InstallFiles.xml"
  rm -f "$here/$1"
  (cd "$work/in" && zip -q -X -9 "$here/$1" InstallFiles.xml)
}
pad limit.zip $((64 * 1024 * 1024))
pad over.zip $((64 * 1024 * 1024 + 1))
