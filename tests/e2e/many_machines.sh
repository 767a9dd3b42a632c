#!/bin/sh
# The README's loop over machines, run on three names: "a", a whole copy of
# the example installation; "b", one with the selection tool's shared count
# lost; "c", a name mistyped in machines.txt, whose prefix does not exist.
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
printf 'a\nb\nc\n' > machines.txt

for name in $(cat machines.txt); do
  prefix=machines/$name
  MORVEX_PREFIX=$prefix morvex-uninstall --check --report "reports/$name.before.json" > /dev/null ||
    echo "$name: not clean before the removal"
  MORVEX_PREFIX=$prefix morvex-uninstall --yes --exit-status --report "reports/$name.json" 24 &&
    status=0 || status=$?
  # 4: the release was not installed there, which is done as well.
  [ $status -eq 0 ] || [ $status -eq 4 ] || echo "$name: the removal ended with $status"
  MORVEX_PREFIX=$prefix morvex-uninstall --check --report "reports/$name.after.json" > /dev/null ||
    echo "$name: not clean after the removal"
done > said.txt 2> errors.txt

expected='b: not clean before the removal
b: the removal ended with 1
b: not clean after the removal
c: not clean before the removal
c: the removal ended with 1
c: not clean after the removal'
if [ "$(cat said.txt)" != "$expected" ]; then
  echo "many_machines: the loop said:"; cat said.txt; cat errors.txt; exit 1
fi
grep -q '"confirmation": "yes (--yes)"' reports/a.json && grep -q '"exit_status": 0' reports/a.json &&
  grep -q '"clean": true' reports/a.after.json && grep -q '"exit_status": 1' reports/b.json &&
  grep -q '"clean": false' reports/b.after.json && grep -q '"clean": false' reports/c.before.json &&
  grep -q 'does not exist' reports/c.after.json ||
  { echo "many_machines: reports differ"; exit 1; }
