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
out=$work/out.zip  # where the signed archives go
# shellcheck source=tests/support/checks.sh
source "$src/tests/support/checks.sh"

quiet() { "$@" >/dev/null 2>&1; }
fails_verify() { ! quiet openssl dgst -sha256 -verify "$keys/$1.pub.pem" -signature "$2" "$3"; }  # KEY SIG FILE

# refuses NAME EXPECTED_TEXT COMMAND...: the command fails, says EXPECTED_TEXT
# on standard error, and leaves no $out behind.
refuses() {
  rm -f "$out"
  fails_saying "$1" "$2" "$work/stderr" logged "${@:3}"
  [ ! -e "$out" ] || fail "$1: left an archive"
}
logged() { "$@" >"$work/stdout" 2>"$work/stderr"; }

if [ ! -f "$keys/ready" ]; then
  echo "scripts_test: no keys in $keys: the make_keys fixture (openssl) did not run" >&2
  exit 1
fi

mkdir -p "$work/in"
xml=$work/in/any-name.xml
cp "$keys/catalogue.xml" "$xml"

# sign-catalogue: refusals.
refuses "too few arguments" "usage:" "$sign" "$keys/good.pem" "$xml"
refuses "missing key" "$work/none.pem" "$sign" "$work/none.pem" "$xml" "$out"
refuses "missing catalogue" "$work/none.xml" "$sign" "$keys/good.pem" "$work/none.xml" "$out"
refuses "public key given" "cannot read the private key" "$sign" "$keys/good.pub.pem" "$xml" "$out"
refuses "EC key" "not an RSA key" "$sign" "$keys/ec.pem" "$xml" "$out"
refuses "1024-bit key" "1024 bits" "$sign" "$keys/small.pem" "$xml" "$out"
refuses "2047-bit key" "2047 bits" "$sign" "$keys/short.pem" "$xml" "$out"
refuses "4104-bit key" "4104 bits" "$sign" "$keys/huge.pem" "$xml" "$out"
refuses "folder as output" "no file name" "$sign" "$keys/good.pem" "$xml" "$work/in"

# sign-catalogue: an existing archive is replaced, not added to.
(cd "$work" && echo stale >stale.txt && zip -q out.zip stale.txt)
check "signs" "$sign" "$keys/good.pem" "$xml" "$out" >/dev/null
check "exactly the two members, at the top" \
  test "$(zipinfo -1 "$out" | sort | tr '\n' ' ')" = "InstallFiles.xml InstallFiles.xml.sig "
check "no extra fields (zip -X)" \
  test "$(zipinfo -v "$out" | grep -c 'length of extra field: *0 bytes')" = 2
unzip -q -d "$work/x" "$out"
# Only the root's start tag gains the two attributes: strip them and the
# catalogue is byte for byte the one given.
check "catalogue stored unchanged but for expires and serial" cmp -s \
  <(sed -E 's/<Root expires="[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z" serial="[0-9]+">/<Root>/' \
    "$work/x/InstallFiles.xml") "$keys/catalogue.xml"
# Defaults: expires 30 days from now (UTC), serial the Unix time of signing.
now=$(date +%s)
stamp=$(sed -n 's/.*<Root expires="\([^"]*\)" serial="\([0-9]*\)">.*/\1 \2/p' "$work/x/InstallFiles.xml")
expires=$(date -u -d "${stamp% *}" +%s 2>/dev/null || echo 0)
check "expires defaults to 30 days ahead" test $((expires - now)) -ge $((30 * 86400 - 60)) -a \
  $((expires - now)) -le $((30 * 86400))
check "serial defaults to the time of signing" test $((now - ${stamp#* })) -ge 0 -a $((now - ${stamp#* })) -le 60
check "signature verifies with the public key" quiet openssl dgst -sha256 -verify "$keys/good.pub.pem" \
  -signature "$work/x/InstallFiles.xml.sig" "$work/x/InstallFiles.xml"
check "signature fails with another key" fails_verify other "$work/x/InstallFiles.xml.sig" "$work/x/InstallFiles.xml"

# sign-catalogue: options.
refuses "serial with a sign" "--serial takes a decimal number" "$sign" --serial -5 "$keys/good.pem" "$xml" "$out"
refuses "serial of 2^63" "beyond 9223372036854775807" \
  "$sign" --serial 9223372036854775808 "$keys/good.pem" "$xml" "$out"
refuses "days that are no number" "--days takes a whole number" "$sign" --days 1.5 "$keys/good.pem" "$xml" "$out"
refuses "five keys" "at most four keys" "$sign" --key "$keys/other.pem" --key "$keys/big.pem" \
  --key "$keys/other.pem" --key "$keys/big.pem" "$keys/good.pem" "$xml" "$out"
refuses "a further key that the program would refuse" "1024 bits" \
  "$sign" --key "$keys/small.pem" "$keys/good.pem" "$xml" "$out"
printf 'no markup at all' >"$work/in/none.xml"
refuses "no root element" "no root element" "$sign" "$keys/good.pem" "$work/in/none.xml" "$out"

# Attributes of those names are replaced where they stand, whatever their
# quotes; everything else, the prolog's ">" and a child's own "expires"
# included, stays.
printf '<?xml version="1.0"?>\r\n<!-- a > b -->\r\n<Cat serial = \x27007\x27 name="x>y" expires="soon"\r\n  state="1">\r\n<A expires="k"/></Cat>\r\n' \
  >"$work/in/attrs.xml"
check "signs with --days and --serial" "$sign" --days 2 --serial 9223372036854775807 "$keys/good.pem" \
  "$work/in/attrs.xml" "$out" >/dev/null
printf '<?xml version="1.0"?>\r\n<!-- a > b -->\r\n<Cat serial="9223372036854775807" name="x>y" expires="X"\r\n  state="1">\r\n<A expires="k"/></Cat>\r\n' \
  >"$work/want.xml"
unzip -p "$out" InstallFiles.xml >"$work/got.xml"
check "attributes replaced in place" cmp -s "$work/want.xml" \
  <(sed -E 's/expires="[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z"/expires="X"/' "$work/got.xml")
expires=$(date -u -d "$(sed -n 's/.*Cat .*expires="\([^"]*Z\)".*/\1/p' "$work/got.xml")" +%s 2>/dev/null || echo 0)
check "--days 2" test $((expires - $(date +%s))) -ge $((2 * 86400 - 60)) -a $((expires - $(date +%s))) -le $((2 * 86400))

# Several keys: the first into .sig, each --key in order into .sig2 onwards,
# and each verifies with its own public key and no other.
check "signs with three keys" "$sign" --key "$keys/other.pem" --key "$keys/big.pem" "$keys/good.pem" \
  "$xml" "$out" >/dev/null
check "members of a three-key archive" test "$(zipinfo -1 "$out" | tr '\n' ' ')" = \
  "InstallFiles.xml InstallFiles.xml.sig InstallFiles.xml.sig2 InstallFiles.xml.sig3 "
rm -rf "$work/y" && unzip -q -d "$work/y" "$out"
for pair in good:sig other:sig2 big:sig3; do
  k=${pair%%:*} m=${pair#*:}
  check "$m verifies with the $k key" quiet openssl dgst -sha256 -verify "$keys/$k.pub.pem" \
    -signature "$work/y/InstallFiles.xml.$m" "$work/y/InstallFiles.xml"
done
check "sig2 is not the good key's" fails_verify good "$work/y/InstallFiles.xml.sig2" "$work/y/InstallFiles.xml"

# scripts/package: no build without a catalogue key unless asked for by name.
refuses "package without a key" "--catalogue-key" "$src/scripts/package" --base-url1 http://127.0.0.1:3/download/
check "the refusal says why" grep -q "checks no signatures" "$work/stderr"
refuses "package with five keys" "at most four" "$src/scripts/package" --catalogue-key "$keys/good.pub.pem" \
  --catalogue-key "$keys/good.pub.pem" --catalogue-key "$keys/good.pub.pem" --catalogue-key "$keys/good.pub.pem" \
  --catalogue-key "$keys/good.pub.pem"
refuses "package with a key and no key" "not both" "$src/scripts/package" --no-catalogue-key \
  --catalogue-key "$keys/good.pub.pem"

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

finish scripts_test
