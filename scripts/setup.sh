#!/bin/sh
# Installs the Debian packages the build, the utility and its tests need.
# Idempotent: packages already present are left alone.
set -eu

PACKAGES="build-essential cmake pkg-config libwxgtk3.2-dev libspdlog-dev libfmt-dev \
libgtest-dev googletest xvfb xauth xdotool imagemagick x11-utils libx11-dev libxtst-dev clang libclang-rt-dev clang-format \
fonts-dejavu-core fonts-droid-fallback libcli11-dev nlohmann-json3-dev \
dpkg-dev file desktop-file-utils appstream lintian \
libgtk-3-dev dbus at-spi2-core python3-pyatspi \
libudev-dev umockdev gir1.2-umockdev-1.0 libumockdev-dev python3-gi \
ansible-core ansible-lint python3-voluptuous openssh-server openssh-client"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

echo "Installing:$missing"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
