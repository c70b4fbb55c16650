# Sourced. make_trust DIR makes the signing test's throw-away trust material
# in DIR, valid two days: ca.pem and an unrelated other-ca.pem; sign.pem/.key
# ("Example Vendor", from ca.pem) and sign.p12 (password in p12.pass, not
# wrong.pass); tsa.pem/.key and tsa.py's tsa.cnf; catalogue-public.pem.
# Non-zero when openssl fails.
make_trust() {
  local dir=$1
  cat >"$dir/openssl.cnf" <<EOF
[req]
distinguished_name = dn
[dn]
[ca_ext]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[sign_ext]
basicConstraints = critical,CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[tsa_ext]
basicConstraints = critical,CA:false
keyUsage = critical,digitalSignature,nonRepudiation
extendedKeyUsage = critical,timeStamping
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
  cat >"$dir/tsa.cnf" <<EOF
[tsa]
default_tsa = test_tsa
[test_tsa]
serial = $dir/tsa.serial
signer_cert = $dir/tsa.pem
certs = $dir/ca.pem
signer_key = $dir/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
  echo 01 >"$dir/tsa.serial"
  echo "p12-test-$RANDOM$RANDOM" >"$dir/p12.pass"
  echo "not-the-password" >"$dir/wrong.pass"
  local name subject
  (
    set -e
    cd "$dir"
    for name in ca other-ca; do
      openssl req -x509 -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.pem" -days 2 \
        -subj "/CN=Throw-away $name for the signing test" -config openssl.cnf -extensions ca_ext
    done
    for name in sign tsa; do
      subject="/O=Example Vendor/CN=Example Vendor"
      [ "$name" = sign ] || subject="/CN=Throw-away TSA"
      openssl req -new -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" -subj "$subject" \
        -config openssl.cnf
      openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -set_serial "0x$(openssl rand -hex 8)" \
        -days 2 -out "$name.pem" -extfile openssl.cnf -extensions "${name}_ext"
    done
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out catalogue.key
    openssl pkey -in catalogue.key -pubout -out catalogue-public.pem
    openssl pkcs12 -export -inkey sign.key -in sign.pem -certfile ca.pem -out sign.p12 \
      -passout "file:p12.pass"
  ) >"$dir/make_trust.log" 2>&1 || { cat "$dir/make_trust.log" >&2; return 1; }
}
