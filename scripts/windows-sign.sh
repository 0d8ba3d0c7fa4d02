#!/usr/bin/env bash
# Authenticode signatures of the Windows programs and installers, made with
# osslsigncode:
#   scripts/windows-sign.sh FILE...
#       signs each FILE (a program, setup or MSI) in place with the maker's
#       certificate: LK58_SIGN_PKCS12=FILE.p12 and LK58_SIGN_PASSWORD_FILE=FILE
#       (the password on its first line), time-stamped by
#       LK58_SIGN_TIMESTAMP_URL (RFC 3161) when set. Without a certificate
#       the files stay unsigned, and it says so.
#   scripts/windows-sign.sh --throwaway DIR
#       makes a self-signed code-signing certificate for a test run:
#       DIR/lk58.p12, DIR/password and DIR/lk58.pem (the certificate alone).
#   scripts/windows-sign.sh --verify CERT.pem FILE...
#       checks that each FILE carries a valid signature whose signer is
#       exactly CERT.pem's certificate (trusted as its own root, so that a
#       self-signed certificate verifies too).
set -euo pipefail

sign() {
    if [ -z "${LK58_SIGN_PKCS12:-}" ]; then
        echo "windows-sign: no certificate (LK58_SIGN_PKCS12): $(basename -a "$@" | tr '\n' ' ')left unsigned"
        return 0
    fi
    local pass=${LK58_SIGN_PASSWORD_FILE:-}
    [ -r "$LK58_SIGN_PKCS12" ] || { echo "windows-sign: cannot read $LK58_SIGN_PKCS12" >&2; exit 2; }
    [ -n "$pass" ] && [ -r "$pass" ] ||
        { echo "windows-sign: LK58_SIGN_PASSWORD_FILE must name the certificate's password file" >&2; exit 2; }
    local args=(sign -pkcs12 "$LK58_SIGN_PKCS12" -readpass "$pass" -h sha256 -n "LK58 - TAVRIN")
    [ -z "${LK58_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$LK58_SIGN_TIMESTAMP_URL")
    local file
    for file in "$@"; do
        # osslsigncode writes a new file and will not replace one.
        rm -f "$file.signed"
        osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null ||
            { rm -f "$file.signed"; echo "windows-sign: signing $file failed" >&2; exit 1; }
        mv "$file.signed" "$file"
        echo "windows-sign: signed $(basename "$file")"
    done
}

throwaway() {
    local dir=$1
    mkdir -p "$dir"
    openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -subj "/O=TAVRIN/CN=LK58 test signing" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
        -keyout "$dir/key.pem" -out "$dir/lk58.pem" 2>/dev/null
    openssl rand -base64 24 >"$dir/password"
    openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/lk58.pem" -passout "file:$dir/password" \
        -out "$dir/lk58.p12"
    rm -f "$dir/key.pem"
}

verify() {
    local cert=$1 file leaf out
    shift
    leaf=$(openssl x509 -in "$cert" -outform DER | sha256sum | cut -d' ' -f1)
    for file in "$@"; do
        out=$(osslsigncode verify -CAfile "$cert" -require-leaf-hash "sha256:$leaf" -in "$file" 2>&1) ||
            { echo "$out" >&2; echo "windows-sign: $file is not signed by $cert" >&2; exit 1; }
        echo "windows-sign: $(basename "$file") carries a valid signature by $(openssl x509 -in "$cert" -noout -subject)"
    done
}

case ${1:-} in
--throwaway) [ $# -eq 2 ] || { echo "usage: scripts/windows-sign.sh --throwaway DIR" >&2; exit 2; }
    throwaway "$2" ;;
--verify) [ $# -ge 3 ] || { echo "usage: scripts/windows-sign.sh --verify CERT.pem FILE..." >&2; exit 2; }
    shift; verify "$@" ;;
""|-*) echo "usage: scripts/windows-sign.sh FILE... | --throwaway DIR | --verify CERT.pem FILE..." >&2; exit 2 ;;
*) sign "$@" ;;
esac
