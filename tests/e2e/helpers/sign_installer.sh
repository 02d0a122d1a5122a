#!/bin/sh
# Signs an installer as a publisher would, with a throwaway certificate, and checks the
# signature: usage sign_installer.sh IN OUT DIR (DIR receives the key, the certificate,
# the tools' log and the exit status). The end-to-end tests start it under Wine as a Unix
# program, which Wine cannot wait for, so the status file is written last, in one step.
in=$1 out=$2 dir=$3
PATH=/usr/bin:/bin:${PATH:-}
{
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/key.pem" -out "$dir/cert.pem" -days 2 \
    -subj "/CN=Test Publisher" &&
    osslsigncode sign -certs "$dir/cert.pem" -key "$dir/key.pem" -n Sample -in "$in" -out "$out" &&
    osslsigncode verify -CAfile "$dir/cert.pem" "$out"
} >"$dir/sign.log" 2>&1
echo $? >"$dir/status.tmp"
mv "$dir/status.tmp" "$dir/status"
