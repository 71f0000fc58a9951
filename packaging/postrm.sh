#!/bin/sh
# The account and the instances' folders stay, after a purge too: they hold the sites'
# configuration, logs and perhaps their databases.
set -e
if [ -d /run/systemd/system ]; then
  systemctl daemon-reload || true
fi
exit 0
