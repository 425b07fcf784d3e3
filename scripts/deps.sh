#!/bin/sh
# Installs the Debian 12 packages the build and the tests need, when any is missing.
set -e
packages="cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools qt6-5compat-dev libgl-dev \
  iproute2 util-linux clang-14 libclang-rt-14-dev libbenchmark-dev libpng-dev libjpeg62-turbo-dev"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# The dialogs' forms need the form compiler; a package that lost it is installed again.
reinstall=""
[ -x /usr/lib/qt6/libexec/uic ] || reinstall="qt6-base-dev-tools"
[ -z "$missing$reinstall" ] && exit 0
echo "Installing:$missing $reinstall"
sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
$sudo apt-get update -qq
[ -z "$missing" ] || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
[ -z "$reinstall" ] || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --reinstall $reinstall
