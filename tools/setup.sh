#!/bin/sh
# Installs the Debian packages the build and the tests need, only those that
# are missing.  Runs apt-get through sudo when not root.
set -e
packages="g++ cmake make pkg-config libgtest-dev libgmock-dev zlib1g-dev libbz2-dev
libgd-dev libdb5.3-dev libmaxminddb-dev gzip bzip2 libc-bin clang libclang-rt-14-dev faketime"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
