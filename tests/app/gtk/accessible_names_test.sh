#!/bin/sh
# The main window as a screen reader sees it: the program runs against its
# virtual unit with a private session bus, on which the accessibility bus is
# started on demand (at-spi-bus-launcher), and the tree is read with pyatspi.
# The other window tests switch the accessibility bridge off (NO_AT_BRIDGE);
# this one needs it.
#   accessible_names_test.sh QVL_UTILITY_BINARY
set -eu
exec env -u NO_AT_BRIDGE dbus-run-session -- /usr/bin/python3 "$(dirname "$0")/accessible_names_test.py" "$1"
