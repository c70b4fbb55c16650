#!/usr/bin/env bash
# Checks scripts/package's signing of the release from the outside, with a
# throw-away CA, code-signing certificate and TSA (removed at the end). The
# release is built once into WORK/release; later runs only sign and zip.
#   signing_test.sh SOURCE_DIR WORK
set -uo pipefail

src=$1 work=$2
package=$src/scripts/package
digest=$src/scripts/program-digest
tsa_pid=
# shellcheck source=tests/support/checks.sh
source "$src/tests/support/checks.sh"

cleanup() {
  [ -z "$tsa_pid" ] || kill "$tsa_pid" 2>/dev/null
  rm -rf "$work/trust"
}
trap cleanup EXIT

# A suite that cannot run fails: every tool it needs, said by name.
for tool in osslsigncode openssl python3 unzip; do
  if ! command -v "$tool" >/dev/null; then
    echo "FAIL release signing: $tool not found (scripts/setup installs it)" >&2
    exit 1
  fi
done
# Only the loopback time-stamping authority may be asked, never a proxy.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export no_proxy=127.0.0.1

refused() {  # refused NAME COMMAND...: the command must fail
  local name=$1
  shift
  if "$@" >/dev/null 2>&1; then fail "$name: accepted"; else pass; fi
}

trust=$work/trust
rm -rf "$trust" "$work"/*.exe "$work"/*.out "$work"/*.err "$work"/*.verify "$work"/tsa.log
mkdir -p "$trust"
# shellcheck source=tests/release/make_trust.sh
source "$(dirname "${BASH_SOURCE[0]}")/make_trust.sh"
make_trust "$trust" || { echo "FAIL release signing: could not make the test certificates" >&2; exit 1; }

python3 "$(dirname "${BASH_SOURCE[0]}")/tsa.py" "$trust/tsa.cnf" "$trust/tsa.port" 2>"$work/tsa.log" &
tsa_pid=$!
for _ in $(seq 100); do [ -s "$trust/tsa.port" ] && break; sleep 0.1; done
[ -s "$trust/tsa.port" ] || { echo "FAIL release signing: the test TSA did not start" >&2; exit 1; }
tsa_url=http://127.0.0.1:$(cat "$trust/tsa.port")/

# package NAME OPTIONS...: packages into $work/release, the archive's program
# to $work/NAME.exe, the output to $work/NAME.out and .err. Loopback mirrors
# and a key of the test's own: nothing left behind names the vendor's hosts.
package() {
  local name=$1
  shift
  rm -f "$work/$name.exe"
  IZ_RELEASE_DIR=$work/release "$package" --base-url1 http://127.0.0.1/download/ \
    --base-url2 http://127.0.0.1/download/ --catalogue-key "$trust/catalogue-public.pem" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" || return 1
  unzip -p "$(tail -n 1 "$work/$name.out")" InstallZelm.exe >"$work/$name.exe"
}

# package_refused NAME TEXT OPTIONS...: scripts/package must fail with TEXT
# on standard error.
package_refused() { fails_saying "$1" "$2" "$work/$1.err" package "$1" "${@:3}"; }

verifies() {  # verifies FILE [osslsigncode verify options]
  local file=$1
  shift
  osslsigncode verify -CAfile "$trust/ca.pem" "$@" -in "$file" >"$file.verify" 2>&1
}

built=$work/release/build/app/InstallZelm.exe
program_digest() { "$digest" "$1" | cut -d' ' -f1; }
printed_digest() { sed -n 's/^package: program (unsigned) //p' "$work/$1.out"; }

# 1. PEM certificate and key, with a timestamp from the loopback TSA.
if ! package pem --sign-cert "$trust/sign.pem" --sign-key "$trust/sign.key" --timestamp-url "$tsa_url"; then
  echo "FAIL release signing: the signed build failed:" >&2
  cat "$work/pem.out" "$work/pem.err" >&2
  exit 1
fi
check "signed program verifies against the test CA" verifies "$work/pem.exe" -TSA-CAfile "$trust/ca.pem"
check "signed with SHA-256" grep -q "Message digest algorithm  : SHA256" "$work/pem.exe.verify"
check "signer is the vendor" grep -q "Subject: /O=Example Vendor/CN=Example Vendor" "$work/pem.exe.verify"
check "timestamp from the TSA verifies" grep -q "Timestamp Server Signature verification: ok" "$work/pem.exe.verify"
check "the TSA was asked" grep -q "POST" "$work/tsa.log"
refused "signed program against another CA" osslsigncode verify -CAfile "$trust/other-ca.pem" \
  -TSA-CAfile "$trust/ca.pem" -in "$work/pem.exe"
check "no unsigned warning when signing" bash -c "! grep -q 'not signed' '$work/pem.err'"
check "signed program is the built program" test "$(program_digest "$work/pem.exe")" = "$(program_digest "$built")"
check "printed digest is the built program's" test "$(printed_digest pem)" = "$(program_digest "$built")"
check "signed program differs from the built bytes" bash -c "! cmp -s '$work/pem.exe' '$built'"

# A tampered copy: one byte of the code changed, and one byte appended
# behind the signature.
cp "$work/pem.exe" "$work/tampered.exe"
printf '\xcc' | dd of="$work/tampered.exe" bs=1 seek=5000 conv=notrunc status=none
refused "tampered code" verifies "$work/tampered.exe" -TSA-CAfile "$trust/ca.pem"
check "tampered code changes the digest" \
  test "$(program_digest "$work/tampered.exe")" != "$(program_digest "$built")"
cp "$work/pem.exe" "$work/appended.exe"
printf 'x' >>"$work/appended.exe"
refused "bytes behind the signature" "$digest" "$work/appended.exe"

# 2. A PKCS#12 file with a password from a file, no timestamp.
check "PKCS#12 with a password builds" package p12 --sign-pkcs12 "$trust/sign.p12" \
  --sign-pass-file "$trust/p12.pass"
check "PKCS#12-signed program verifies" verifies "$work/p12.exe"
check "no timestamp without a TSA" grep -q "Timestamp is not available" "$work/p12.exe.verify"
check "the password is not on any output line" \
  bash -c "! grep -qF \"\$(cat '$trust/p12.pass')\" '$work/p12.out' '$work/p12.err'"

# 3. What must not give a release.
release_zip=$(tail -n 1 "$work/p12.out")
rm -f "$release_zip"
package_refused badpass "signing failed" --sign-pkcs12 "$trust/sign.p12" --sign-pass-file "$trust/wrong.pass"
check "no archive after a failed signing" test ! -e "$release_zip"
package_refused nokey "--sign-cert and --sign-key go together" --sign-cert "$trust/sign.pem"
package_refused both "--sign-pkcs12 goes without" --sign-pkcs12 "$trust/sign.p12" \
  --sign-cert "$trust/sign.pem" --sign-key "$trust/sign.key"
package_refused tsonly "need --sign-cert and --sign-key, or --sign-pkcs12" --timestamp-url "$tsa_url"
package_refused nofile "no key file" --sign-cert "$trust/sign.pem" --sign-key "$trust/none.key"
package_refused badurl "must be an http:// or https:// URL" --sign-cert "$trust/sign.pem" \
  --sign-key "$trust/sign.key" --timestamp-url "ftp://127.0.0.1/"

# 4. Without signing options: a warning, and the program as it was built.
check "unsigned build succeeds" package unsigned
check "unsigned build warns" grep -q "WARNING: InstallZelm.exe is not signed" "$work/unsigned.err"
check "unsigned program is the built bytes" cmp -s "$work/unsigned.exe" "$built"
refused "unsigned program does not verify" verifies "$work/unsigned.exe"
check "unsigned and signed releases print one digest" test "$(printed_digest unsigned)" = "$(printed_digest pem)"

finish "release signing"
