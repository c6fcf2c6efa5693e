#!/bin/sh
# Installs the Debian packages the build and the tests need, only those that
# are missing.  Runs apt-get through sudo when not root.
set -e
packages="g++ cmake make pkg-config libgtest-dev libgmock-dev zlib1g-dev libbz2-dev
libgd-dev libdb5.3-dev libmaxminddb-dev libisal-dev gzip bzip2 libc-bin clang libclang-rt-14-dev faketime db5.3-util man-db groff-base"
# The browser the page tests read the pages with.  Its recommended packages
# bring avahi and libnss-mdns, which rewrite the hosts line of nsswitch.conf.
browser="chromium"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
missing_browser=""
dpkg-query -W -f='${Status}' "$browser" 2>/dev/null | grep -q "ok installed" || missing_browser=$browser
[ -z "$missing$missing_browser" ] && exit 0
echo "installing:$missing $missing_browser"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
export DEBIAN_FRONTEND=noninteractive
[ -z "$missing" ] || $sudo apt-get install -y -qq $missing
[ -z "$missing_browser" ] || $sudo apt-get install -y -qq --no-install-recommends $missing_browser
