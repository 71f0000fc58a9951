#!/bin/sh
# Stops the running service instances when the package is removed (an upgrade keeps them).
set -e
account='@TRAMOLIN_PACKAGE_NAME@'

if [ "$1" = remove ] && [ -d /run/systemd/system ]; then
  systemctl stop "$account@*.service" || true
fi
exit 0
