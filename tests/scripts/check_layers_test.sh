#!/usr/bin/env bash
# The layer check on small made-up trees: a tree that keeps the layering passes, and each wrong
# include fails with a message naming the file, the include and the rule it breaks.
# Usage: check_layers_test.sh <path of check-layers.sh>
set -uo pipefail
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# add_file <tree> <path under the tree> <include line>...
add_file() {
  local tree=$1 path=$2
  shift 2
  mkdir -p "$(dirname "$tree/$path")"
  printf '%s\n' "$@" >"$tree/$path"
}

# A tree in which every layer uses what it may, including relative and angle-bracket includes.
make_good_tree() {
  local tree=$1
  add_file "$tree" src/util/fields.h '#include <string>'
  add_file "$tree" src/platform/processes.cpp '#include "platform/processes.h"' '#include "util/fields.h"'
  add_file "$tree" src/protocol/frame.cpp '#include "util/fields.h"' '#include <zlib.h>'
  add_file "$tree" src/engine/fb/api.cpp '#include <firebird/Interface.h>' '#include "util/fields.h"'
  add_file "$tree" src/engine/dmdb.cpp '#include "engine/fb/api.h"' '#include "fb/attachment.h"' \
    '#include "platform/system_info.h"'
  add_file "$tree" src/config/configuration.cpp '#include "platform/registry.h"'
  add_file "$tree" src/net/packet_connection.cpp '#include <QTcpSocket>' '#include "protocol/frame.h"'
  add_file "$tree" src/server/slots.cpp '#include "engine/replication_data.h"' \
    '#include "net/packet_connection.h"'
  add_file "$tree" src/client/cycle.cpp '#include "config/configuration.h"' '#include <QTimer>'
  add_file "$tree" src/shell/tdm.cpp '#include "server/slots.h"' '#include "client/cycle.h"' \
    '  #  include "engine/slot_book.h"'
  add_file "$tree" src/ui/main_window.cpp '#include "shell/tdm.h"' '#include <QWidget>'
  add_file "$tree" src/app/main.cpp '#include "ui/main_window.h"' '#include "engine/pass_dm.h"'
  # Tests may use every layer.
  add_file "$tree" tests/unit/util/fields_test.cpp '#include "engine/fb/api.h"' '#include <QString>'
}

expect_pass() {
  local name=$1 tree=$2 output
  if ! output=$("$check" "$tree" 2>&1); then
    echo "FAIL $name: the check failed on a good tree:"
    echo "$output"
    ((++failures))
  fi
}

# expect_failure <case name> <file> <include line> <text the message must hold>
expect_failure() {
  local name=$1 path=$2 include=$3 message=$4 tree="$work/$1" output
  make_good_tree "$tree"
  add_file "$tree" "$path" "$include"
  if output=$("$check" "$tree" 2>&1); then
    echo "FAIL $name: the check passed with $include in $path"
    ((++failures))
  elif [[ $output != *"$message"* ]]; then
    echo "FAIL $name: expected \"$message\" in:"
    echo "$output"
    ((++failures))
  fi
}

make_good_tree "$work/good"
expect_pass good_tree "$work/good"
expect_pass empty_tree "$(mkdir -p "$work/empty/src" && echo "$work/empty")"

expect_failure below_shell_uses_shell src/engine/dmdb.h '#include "shell/tdm.h"' \
  'src/engine/dmdb.h:1: includes "shell/tdm.h": engine may use util platform (not shell)'
expect_failure util_uses_anything src/util/wildcard.cpp '#include "platform/processes.h"' \
  'util may use no other folder (not platform)'
expect_failure protocol_uses_engine src/protocol/payloads.cpp '#include "engine/record.h"' \
  'src/protocol/payloads.cpp:1: includes "engine/record.h": protocol may use util (not engine)'
expect_failure net_uses_engine src/net/packet_connection.h '#include <engine/record.h>' \
  'net may use util protocol (not engine)'
expect_failure server_uses_client src/server/slots.h '#include "client/cycle.h"' \
  'server may use util platform protocol engine config net worker (not client)'
expect_failure shell_uses_firebird_layer src/shell/database_link.cpp \
  '#include "engine/fb/service.h"' \
  'src/shell/database_link.cpp:1: includes "engine/fb/service.h": engine/fb is used only inside engine'
expect_failure relative_path_into_firebird_layer src/server/exchange.cpp \
  '#include "../engine/fb/api.h"' 'engine/fb is used only inside engine'
expect_failure app_uses_firebird_layer src/app/main.cpp '#include "engine/fb/api.h"' \
  'engine/fb is used only inside engine'
expect_failure engine_uses_qt src/engine/record.cpp '#include <QString>' \
  'includes <QString>: engine is plain C++ and includes no Qt header'
expect_failure config_uses_qt src/config/configuration.h '#include <QtCore/QSettings>' \
  'config is plain C++ and includes no Qt header'
expect_failure firebird_outside_engine src/shell/tdm.h '#include <firebird/Interface.h>' \
  'only engine includes Firebird headers'
expect_failure shell_passes_the_front_door src/shell/tdm.cpp '#include "engine/dmdb.h"' \
  'includes "engine/dmdb.h": outside engine only its front door is used'
expect_failure unknown_folder src/extra/thing.cpp '#include "util/fields.h"' \
  'folder extra has no row in the layer table'

if ((failures > 0)); then
  echo "$failures case(s) failed"
  exit 1
fi
echo "all layer check cases passed"
