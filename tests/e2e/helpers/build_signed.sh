#!/bin/sh
# Builds an installer whose uninstaller is signed, with the host's scrpack and a throwaway
# certificate, as a publisher's pipeline does: build with --sign-uninstaller, check the
# carried uninstaller's signature, then sign the finished installer too.
# usage: build_signed.sh SCRPACK STUB SCR GUID OUT DIR (DIR receives the key, the
# certificate, the carried uninstaller, the tools' log and the exit status). Started by the
# end-to-end tests under Wine as a Unix program, which Wine cannot wait for, so the status
# file is written last, in one step.
scrpack=$1 stub=$2 scr=$3 guid=$4 out=$5 dir=$6
PATH=/usr/bin:/bin:${PATH:-}
{
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/key.pem" -out "$dir/cert.pem" -days 2 \
    -subj "/CN=Test Publisher" &&
    "$scrpack" build --stub "$stub" --scr "$scr" --name E2eSaver --no-player --guid "$guid" \
      -o "$dir/unsigned.exe" \
      --sign-uninstaller "osslsigncode sign -certs '$dir/cert.pem' -key '$dir/key.pem' -n E2eSaver -in {in} -out {out}" &&
    "$scrpack" extract "$dir/unsigned.exe" InstallerSignedUninstaller -o "$dir/uninst.exe" &&
    osslsigncode verify -CAfile "$dir/cert.pem" "$dir/uninst.exe" &&
    osslsigncode sign -certs "$dir/cert.pem" -key "$dir/key.pem" -n E2eSaver -in "$dir/unsigned.exe" -out "$out" &&
    osslsigncode verify -CAfile "$dir/cert.pem" "$out"
} >"$dir/sign.log" 2>&1
echo $? >"$dir/status.tmp"
mv "$dir/status.tmp" "$dir/status"
