#!/bin/sh
# The example installation imported into a fresh Wine prefix made by
# wineboot (its HKEY_LOCAL_MACHINE keys through the 32-bit view, as the
# product's installer writes them), Wine stopped: --list, --check and
# --dry-run 24 on Wine's own files must say what they say on the example
# prefix; a run that would change them is refused and leaves both files as
# they were; and while Wine runs, even --check is refused.
# Usage: wine_prefix_files.sh PROGRAM EXAMPLE_PREFIX    (77: no Wine here)
set -eu
command -v wine > /dev/null && command -v wineboot > /dev/null || { echo "no Wine here"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/morvex-wine-files-XXXXXX")
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2> /dev/null || true; rm -rf "$work"' EXIT
program=$1
cp -a "$2" "$work/example"

wineboot -i > /dev/null 2>&1
wine reg import "$(winepath -w "$2/registry.reg")" /reg:32 > /dev/null 2>&1
wineserver -w
cp -a "$2/drive_c/." "$WINEPREFIX/drive_c/"

failed=0
for words in "--list" "--check" "--dry-run 24"; do
  # shellcheck disable=SC2086  # the words are split on purpose
  MORVEX_PREFIX="$work/example" "$program" $words > "$work/expected" 2>&1 && expected=0 || expected=$?
  # shellcheck disable=SC2086
  MORVEX_PREFIX="$WINEPREFIX" "$program" $words > "$work/got" 2>&1 && got=0 || got=$?
  if ! cmp -s "$work/expected" "$work/got" || [ "$expected" != "$got" ]; then
    echo "FAIL $words: the Wine prefix's files (status $got) differ from the example prefix ($expected):"
    diff "$work/expected" "$work/got" || true
    failed=1
  fi
done

sums() { cat "$WINEPREFIX/user.reg" "$WINEPREFIX/system.reg" | sha256sum; }
before=$(sums)
MORVEX_PREFIX="$WINEPREFIX" "$program" --exit-status --yes 24 > /dev/null 2> "$work/refused" && status=0 ||
  status=$?
if [ "$status" != 1 ] || ! grep -q "is a Wine prefix" "$work/refused" || [ "$(sums)" != "$before" ]; then
  echo "FAIL --yes 24: status $status, not refused in one line, or the files changed:"
  cat "$work/refused"
  failed=1
fi

MORVEX_PREFIX="$WINEPREFIX" "$program" --dry-run --report "$WINEPREFIX/system.reg" 24 > /dev/null \
  2> "$work/refused" && status=0 || status=$?
if ! grep -q "is Wine's registry file" "$work/refused" || [ "$(sums)" != "$before" ]; then
  echo "FAIL a report over system.reg: not refused, or the files changed:"
  cat "$work/refused"
  failed=1
fi

wineserver -p30
MORVEX_PREFIX="$WINEPREFIX" "$program" --check > /dev/null 2> "$work/running" && status=0 || status=$?
wineserver -k
if [ "$status" != 1 ] || ! grep -q "wineserver -k" "$work/running"; then
  echo "FAIL --check while Wine runs: status $status:"
  cat "$work/running"
  failed=1
fi
exit $failed
