#!/usr/bin/env bash
# Test fixture: fresh keys and signatures for the catalogue signature and
# package hash tests in DIR (openssl and the project's scripts); DIR/ready,
# written last, tells a complete set from one that stopped half way.
#   make_keys.sh DIR SOURCE_DIR
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: make_keys.sh DIR SOURCE_DIR" >&2
  exit 2
fi
dir=$1 src=$2
if ! command -v openssl >/dev/null; then
  echo "make_keys: openssl not found: the signature tests need it to make their keys" \
    "(Debian package openssl; scripts/setup installs it)" >&2
  exit 1
fi

rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"

rsa() {  # rsa NAME BITS: private key NAME.pem and its public half NAME.pub.pem
  openssl genpkey -quiet -algorithm RSA -pkeyopt "rsa_keygen_bits:$2" -out "$1.pem"
  openssl pkey -in "$1.pem" -pubout -out "$1.pub.pem"
  # openssl may round an odd size; the tests rely on the exact one.
  local bits
  bits=$(openssl pkey -pubin -in "$1.pub.pem" -noout -text | sed -n 's/^Public-Key: (\([0-9]*\) bit.*/\1/p')
  if [ "$bits" != "$2" ]; then
    echo "make_keys: asked for a $2-bit key $1, got $bits bits" >&2
    exit 1
  fi
}

rsa good 2048
rsa other 2048
rsa small 1024
rsa short 2047
rsa big 4096
rsa huge 4104
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.pem
openssl pkey -in ec.pem -pubout -out ec.pub.pem
openssl genpkey -algorithm ED25519 -out ed25519.pem
openssl pkey -in ed25519.pem -pubout -out ed25519.pub.pem
# The good key in the forms that are not a SubjectPublicKeyInfo.
openssl pkey -pubin -in good.pub.pem -RSAPublicKey_out -out good.rsa.pem 2>/dev/null ||
  openssl rsa -pubin -in good.pub.pem -RSAPublicKey_out -out good.rsa.pem 2>/dev/null
openssl req -x509 -new -key good.pem -subj /CN=InstallZelm-test -days 2 -out good.cert.pem 2>/dev/null

# A catalogue with GBK text (软件 in GBK) and CRLF line ends: the signature
# covers bytes, not text.
printf '<?xml version="1.0" encoding="GBK"?>\r\n<Root>\r\n  <Dek name="\xc8\xed\xbc\xfe" fileName="a.exe"/>\r\n</Root>\r\n' >catalogue.xml
openssl dgst -sha256 -sign good.pem -out catalogue.sig catalogue.xml
# Signatures that are right for their own keys, so that a refusal of those
# keys is seen to come from the key and not from a bad signature.
for key in other big small short huge ec; do
  openssl dgst -sha256 -sign $key.pem -out catalogue.$key.sig catalogue.xml
  openssl dgst -sha256 -verify $key.pub.pem -signature catalogue.$key.sig catalogue.xml >/dev/null
done
# The good key over another digest.
openssl dgst -sha1 -sign good.pem -out catalogue.sha1.sig catalogue.xml

# The archive as scripts/sign-catalogue makes it, from a file of another
# name: the member must still be InstallFiles.xml.
"$src/scripts/sign-catalogue" good.pem catalogue.xml signed.zip >/dev/null

# Catalogue archives as a mirror might serve them, for the fetch tests: each
# holds InstallFiles.xml and, where named, a signature file.
archive() {  # archive NAME XML [SIG]
  rm -rf pack && mkdir pack
  cp "$2" pack/InstallFiles.xml
  [ $# -lt 3 ] || cp "$3" pack/InstallFiles.xml.sig
  rm -f "$1.zip"
  (cd pack && zip -q -X "../$1.zip" *)
}
printf '<?xml version="1.0" encoding="GBK"?>\r\n<Root>\r\n  <Dek name="\xc8\xed\xbc\xfe" fileName="b.exe"/>\r\n</Root>\r\n' >tampered.xml
head -c 128 catalogue.sig >truncated.sig
: >empty.sig
archive tampered tampered.xml catalogue.sig
archive unsigned catalogue.xml
archive other catalogue.xml catalogue.other.sig
archive truncated catalogue.xml truncated.sig
archive empty catalogue.xml empty.sig
printf 'PK\003\004 no archive' >plainzip.zip
# Validly signed, but without "expires", or with it and without "serial".
archive noexpiry catalogue.xml catalogue.sig
printf '<?xml version="1.0" encoding="GBK"?>\r\n<Root expires="2099-01-01T00:00:00Z">\r\n  <Dek name="\xc8\xed\xbc\xfe" fileName="a.exe"/>\r\n</Root>\r\n' >noserial.xml
openssl dgst -sha256 -sign good.pem -out noserial.sig noserial.xml
archive noserial noserial.xml noserial.sig

# Fresh, expired and numbered catalogues, and catalogues signed by other keys
# or by several, as scripts/sign-catalogue makes them.
sign() { "$src/scripts/sign-catalogue" "$@" >/dev/null; }
sign --days -1 good.pem catalogue.xml expired.zip
sign --serial 100 good.pem catalogue.xml serial100.zip
sign --serial 200 good.pem catalogue.xml serial200.zip
sign other.pem catalogue.xml by-other.zip
sign --key good.pem other.pem catalogue.xml other-then-good.zip
# The good key's signature in a last member named in other letter case,
# behind an empty first one: malformed members do not end the search.
rm -rf pack && mkdir pack
(cd pack && unzip -q ../other-then-good.zip && : >InstallFiles.xml.sig &&
  mv InstallFiles.xml.sig2 INSTALLFILES.XML.SIG4 && zip -q -X ../good-in-sig4.zip *)
rm -rf pack

# A package whose "sha256" value scripts/package-hash gives, for the hash
# tests to compare with their own.
openssl rand -out package.bin 200003
"$src/scripts/package-hash" package.bin >package.sha256

touch ready
