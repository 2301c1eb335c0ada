#!/bin/sh
# A .reg text survives an import and an export by installer-sim byte for
# byte. Natively into a fresh emulated machine; under Wine (SIM is an .exe)
# once imported by Wine's own regedit and once by installer-sim, then the
# key is deleted again from the shared prefix.
#   reg_round_trip.sh FIXTURE SIM WINE_RUN PREFIX
set -eu
fixture=$1 sim=$2 wine_run=$3 prefix=$4
key=$(sed -n 's/^\[\(.*\)\]$/\1/p' "$fixture" | head -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

check_export() {  # $1: how the fixture was imported
  "$@" reg-export "$key" > "$work/exported.reg" 2> "$work/errors" || true
  if ! cmp -s "$fixture" "$work/exported.reg"; then
    echo "export after import by $label differs from the fixture:"
    cat "$work/errors"
    diff "$fixture" "$work/exported.reg" || true
    exit 1
  fi
}

case "$sim" in
  *.exe)
    printf 'REGEDIT4\n\n[-%s]\n' "$key" > "$work/delete.reg"
    sim_run() { "$wine_run" "$prefix" "$sim" "$@"; }
    sim_run reg-import "$work/delete.reg" > /dev/null
    "$wine_run" "$prefix" regedit /S "$(windows_path "$fixture")"
    label=regedit check_export sim_run
    sim_run reg-import "$work/delete.reg" > /dev/null
    sim_run reg-import "$fixture" > /dev/null
    label=installer-sim check_export sim_run
    sim_run reg-import "$work/delete.reg" > /dev/null
    ;;
  *)
    export QXZ_MACHINE_ROOT="$work/machine"
    "$sim" reg-import "$fixture" > /dev/null
    label=installer-sim check_export "$sim"
    ;;
esac
echo "round trip of $key: same text"
