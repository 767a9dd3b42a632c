#!/bin/sh
# The README's loop over machines, run on two copies of the example
# installation: "a" whole, "b" with the selection tool's shared count lost.
# Usage: many_machines.sh PROGRAM_FOLDER EXAMPLE_PREFIX
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/morvex-machines-XXXXXX")
trap 'rm -rf "$work"' EXIT
PATH=$1:$PATH
cd "$work"
mkdir machines reports
cp -a "$2" machines/a
cp -a "$2" machines/b
sed -i '/compsel.exe"=dword/d' machines/b/registry.reg

for prefix in machines/*/; do
  name=$(basename "$prefix")
  MORVEX_PREFIX=$prefix morvex-uninstall --check --report "reports/$name.before.json" > /dev/null ||
    echo "$name: half installed before the removal"
  MORVEX_PREFIX=$prefix morvex-uninstall --yes --exit-status --report "reports/$name.json" 24 ||
    echo "$name: the removal wrote error lines"
  MORVEX_PREFIX=$prefix morvex-uninstall --check --report "reports/$name.after.json" > /dev/null ||
    echo "$name: half removed"
done > said.txt 2> errors.txt

expected='b: half installed before the removal
b: the removal wrote error lines
b: half removed'
if [ "$(cat said.txt)" != "$expected" ]; then
  echo "many_machines: the loop said:"; cat said.txt; cat errors.txt; exit 1
fi
grep -q '"confirmation": "yes (--yes)"' reports/a.json && grep -q '"exit_status": 0' reports/a.json &&
  grep -q '"clean": true' reports/a.after.json && grep -q '"exit_status": 1' reports/b.json &&
  grep -q '"clean": false' reports/b.after.json || { echo "many_machines: reports differ"; exit 1; }
