#!/bin/sh
# Makes the system account the service instances run as (with its group) and the folder that
# holds their program folders; an account that exists is kept as it is. An upgrade restarts the
# running instances on the new program.
set -e
account='@TRAMOLIN_PACKAGE_NAME@'
instances='@TRAMOLIN_INSTANCE_ROOT@'

if [ "$1" = configure ]; then
  if ! getent passwd "$account" >/dev/null; then
    adduser --system --group --home "$instances" --no-create-home "$account"
  fi
  install -d -m 0755 "$instances"
  if [ -d /run/systemd/system ]; then
    systemctl daemon-reload || true
    if [ -n "${2:-}" ]; then
      systemctl try-restart "$account@*.service" || true
    fi
  fi
fi
exit 0
