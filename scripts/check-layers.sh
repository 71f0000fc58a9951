#!/usr/bin/env bash
# Fails when a source file under src/ includes from a folder its layer may not use, or includes
# Qt or Firebird headers where they do not belong. Usage: check-layers.sh [project root].
# Only src/ is checked: tests, benchmarks and fuzz targets may use every layer.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}

# The layers, lowest first, and the folders each may include from besides itself. This table is
# the one place the rule is written; the README's layout table repeats it for readers.
#   engine/fb (the Firebird layer) is reachable only from engine.
layers='
util
platform  util
protocol  util
engine    util platform
config    util platform
net       util protocol
worker    util platform engine
server    util platform protocol engine config net worker
client    util platform protocol engine config net worker
shell     util platform protocol engine config net worker server client
ui        util platform protocol engine config net worker server client shell
app       util platform protocol engine config net worker server client shell ui
'
# Layers that stay plain C++: no Qt header at all.
no_qt='util platform protocol engine config'
# The only layer that includes Firebird's own headers.
firebird_layer='engine'
# The engine's front door: the only engine headers the layers above it include. The database
# module, its transactions and the engine's parts stay behind ReplicationData.
engine_front='replication_data.h host_services.h slot_book.h database_identity.h change_batch.h
  database_settings.h pass_dm.h db_connection.h sending_cycle.h journal_repair.h
  digest_ranges.h digest_narrowing.h table_catalogue.h'

cd "$root/src"
mapfile -t sources < <(find . -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \) |
  sed 's|^\./||' | sort)
[ ${#sources[@]} -eq 0 ] && exit 0

# grep prints "file:line:text" for every include line; awk applies the rules to each.
{ grep -HnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "${sources[@]}" || true; } |
  awk -v layers="$layers" -v no_qt="$no_qt" -v firebird_layer="$firebird_layer" \
    -v engine_front="$engine_front" '
    BEGIN {
      count = split(layers, rows, "\n")
      for (i = 1; i <= count; ++i) {
        n = split(rows[i], words, " ")
        if (n == 0) continue
        known[words[1]] = 1
        allowed[words[1], words[1]] = 1
        uses[words[1]] = ""
        for (j = 2; j <= n; ++j) {
          allowed[words[1], words[j]] = 1
          uses[words[1]] = uses[words[1]] (j > 2 ? " " : "") words[j]
        }
      }
      split(no_qt, words, " ")
      for (i in words) plain_cpp[words[i]] = 1
      gsub(/[[:space:]]+/, " ", engine_front)
      split(engine_front, words, " ")
      for (i in words) front_door["engine/" words[i]] = 1
      failures = 0
    }

    function first_part(path) { return substr(path, 1, index(path "/", "/") - 1) }

    # Joins a relative include to the including file'"'"'s folder, resolving "." and "..".
    function resolve(dir, path,    parts, n, i, out, depth) {
      n = split(dir "/" path, parts, "/")
      depth = 0
      for (i = 1; i <= n; ++i) {
        if (parts[i] == "" || parts[i] == ".") continue
        if (parts[i] == "..") { if (depth > 0) --depth; continue }
        stack[++depth] = parts[i]
      }
      out = ""
      for (i = 1; i <= depth; ++i) out = out (i > 1 ? "/" : "") stack[i]
      return out
    }

    function fail(rule) {
      printf "%s:%s: includes %s: %s\n", file, line, include, rule
      ++failures
    }

    {
      file = $0; sub(/:.*/, "", file)
      rest = substr($0, length(file) + 2)
      line = rest; sub(/:.*/, "", line)
      text = substr(rest, length(line) + 2)
      match(text, /[<"][^>"]*[>"]/)
      include = substr(text, RSTART, RLENGTH)
      path = substr(include, 2, length(include) - 2)
      layer = first_part(file)
      if (!(layer in known)) {
        if (!(layer in reported)) {
          printf "src/%s: folder %s has no row in the layer table of check-layers.sh\n", layer, layer
          reported[layer] = 1
          ++failures
        }
        next
      }
      file = "src/" file

      if (substr(include, 1, 1) == "<") {
        if ((layer in plain_cpp) && path ~ /^Q/)
          fail(layer " is plain C++ and includes no Qt header")
        if (layer != firebird_layer && (path ~ /^firebird\// || path == "ibase.h"))
          fail("only " firebird_layer " includes Firebird headers")
        if (!(first_part(path) in known)) next
        target = path
      } else {
        target = (first_part(path) in known) ? path : resolve(substr(file, 5, length(file) - 4) "/..", path)
      }

      used = first_part(target)
      if (!(used in known)) next
      if (used == "engine" && target ~ /^engine\/fb\// && layer != "engine")
        fail("engine/fb is used only inside engine")
      else if (!allowed[layer, used])
        fail(layer " may use " (uses[layer] == "" ? "no other folder" : uses[layer]) " (not " used ")")
      else if (used == "engine" && layer != "engine" && !(target in front_door))
        fail("outside engine only its front door is used (" engine_front ")")
    }

    END {
      if (failures > 0) {
        printf "%d include(s) break the layering; the table is in scripts/check-layers.sh\n", failures
        exit 1
      }
    }
  '
