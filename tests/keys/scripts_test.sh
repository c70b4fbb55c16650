#!/usr/bin/env bash
# Checks scripts/sign-catalogue and scripts/package-hash from the outside:
# what they refuse, what they write, and that openssl agrees with the result.
# Uses the keys that make_keys.sh made in KEYS_DIR.
#   scripts_test.sh KEYS_DIR SOURCE_DIR
set -uo pipefail

keys=$1 src=$2
sign=$src/scripts/sign-catalogue
hash=$src/scripts/package-hash
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

check() {  # check NAME COMMAND...: the command must succeed
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else echo "FAILED: $name" >&2; failed=$((failed + 1)); fi
}

quiet() { "$@" >/dev/null 2>&1; }

# refuses NAME EXPECTED_TEXT COMMAND...: the command fails, says EXPECTED_TEXT
# on standard error, and leaves no $work/out.zip behind.
refuses() {
  local name=$1 text=$2
  shift 2
  rm -f "$work/out.zip"
  if "$@" >"$work/stdout" 2>"$work/stderr"; then
    echo "FAILED: $name: succeeded" >&2
    failed=$((failed + 1))
  elif ! grep -qF -- "$text" "$work/stderr"; then
    echo "FAILED: $name: no '$text' in: $(cat "$work/stderr")" >&2
    failed=$((failed + 1))
  elif [ -e "$work/out.zip" ]; then
    echo "FAILED: $name: left an archive" >&2
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}

if [ ! -f "$keys/ready" ]; then
  echo "scripts_test: no keys in $keys: the make_keys fixture (openssl) did not run" >&2
  exit 1
fi

mkdir -p "$work/in"
cp "$keys/catalogue.xml" "$work/in/any-name.xml"

# sign-catalogue: refusals.
refuses "too few arguments" "usage:" "$sign" "$keys/good.pem" "$work/in/any-name.xml"
refuses "missing key" "$work/none.pem" "$sign" "$work/none.pem" "$work/in/any-name.xml" "$work/out.zip"
refuses "missing catalogue" "$work/none.xml" "$sign" "$keys/good.pem" "$work/none.xml" "$work/out.zip"
refuses "public key given" "cannot read the private key" \
  "$sign" "$keys/good.pub.pem" "$work/in/any-name.xml" "$work/out.zip"
refuses "EC key" "not an RSA key" "$sign" "$keys/ec.pem" "$work/in/any-name.xml" "$work/out.zip"
refuses "1024-bit key" "1024 bits" "$sign" "$keys/small.pem" "$work/in/any-name.xml" "$work/out.zip"
refuses "2047-bit key" "2047 bits" "$sign" "$keys/short.pem" "$work/in/any-name.xml" "$work/out.zip"
refuses "4104-bit key" "4104 bits" "$sign" "$keys/huge.pem" "$work/in/any-name.xml" "$work/out.zip"
refuses "folder as output" "no file name" "$sign" "$keys/good.pem" "$work/in/any-name.xml" "$work/in"

# sign-catalogue: an existing archive is replaced, not added to.
(cd "$work" && echo stale >stale.txt && zip -q out.zip stale.txt)
check "signs" "$sign" "$keys/good.pem" "$work/in/any-name.xml" "$work/out.zip" >/dev/null
check "exactly the two members, at the top" \
  test "$(zipinfo -1 "$work/out.zip" | sort | tr '\n' ' ')" = "InstallFiles.xml InstallFiles.xml.sig "
check "no extra fields (zip -X)" \
  test "$(zipinfo -v "$work/out.zip" | grep -c 'length of extra field: *0 bytes')" = 2
unzip -q -d "$work/x" "$work/out.zip"
check "catalogue stored unchanged" cmp -s "$work/x/InstallFiles.xml" "$keys/catalogue.xml"
check "signature verifies with the public key" quiet openssl dgst -sha256 -verify "$keys/good.pub.pem" \
  -signature "$work/x/InstallFiles.xml.sig" "$work/x/InstallFiles.xml"
check "signature fails with another key" \
  bash -c '! openssl dgst -sha256 -verify "$1" -signature "$2" "$3" >/dev/null 2>&1' _ \
  "$keys/other.pub.pem" "$work/x/InstallFiles.xml.sig" "$work/x/InstallFiles.xml"

# package-hash.
printf abc >"$work/abc"
: >"$work/empty"
check "hash of abc" test "$("$hash" "$work/abc")" = \
  ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad
check "hash of an empty file" test "$("$hash" "$work/empty")" = \
  e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855
refuses "hash without a file" "usage:" "$hash"
refuses "hash of a missing file" "$work/none" "$hash" "$work/none"
refuses "hash of a folder" "$work/in" "$hash" "$work/in"

echo "scripts_test: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
