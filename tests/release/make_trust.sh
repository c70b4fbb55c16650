# Makes the throw-away trust material of the signing test in DIR, fresh at
# each run (no private key is ever committed):
#   ca.pem         a test root CA
#   other-ca.pem   an unrelated root CA, which must not vouch for the program
#   sign.pem/.key  a code-signing certificate "Example Vendor" from ca.pem
#   sign.p12       the same in PKCS#12, protected by the password in p12.pass
#   wrong.pass     another password
#   tsa.pem/.key   a time-stamping certificate from ca.pem, with tsa.cnf, the
#                  openssl configuration of tsa.py
#   catalogue-public.pem  a catalogue key to build the program with
# Valid for two days from now. Sourced; make_trust DIR returns non-zero when
# openssl fails.
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
