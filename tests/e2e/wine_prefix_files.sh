#!/bin/sh
# The example installation imported into a fresh Wine prefix made by
# wineboot (its HKEY_LOCAL_MACHINE keys through the 32-bit view, as the
# product's installer writes them), Wine stopped: --list, --check and
# --dry-run 24 on Wine's own files must say what they say on the example
# prefix; --undo and --restore give the files back byte for byte; --yes 24
# leaves what it leaves on the example, and Wine reads the files it saved;
# and while Wine runs, --check and a removal are refused, nothing changed.
# Usage: wine_prefix_files.sh PROGRAM EXAMPLE_PREFIX    (77: no Wine here)
set -eu
# The 64-bit loader starts 32-bit programs too. Debian's wine script starts
# the 32-bit one once wine32 is installed, which a kernel that runs no 32-bit
# programs refuses, even for reg.
wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || command -v wine) ||
  { echo "no Wine here"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/morvex-wine-files-XXXXXX")
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2> /dev/null || true; rm -rf "$work"' EXIT
program=$1
cp -a "$2" "$work/example"

"$wine" wineboot -i > /dev/null 2>&1
"$wine" reg import "$("$wine" winepath -w "$2/registry.reg")" /reg:32 > /dev/null 2>&1
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
# --undo then --restore gives both files back byte for byte.
MORVEX_PREFIX="$WINEPREFIX" "$program" --yes --undo "$work/undo.reg" 24 > /dev/null 2>&1 || true
changed=$(sums)
MORVEX_PREFIX="$WINEPREFIX" "$program" --restore "$work/undo.reg" > "$work/restored" 2>&1 || true
if [ "$changed" = "$before" ] || [ "$(sums)" != "$before" ]; then
  echo "FAIL --undo, then --restore: the files did not change, or did not come back byte for byte:"
  cat "$work/restored"
  failed=1
fi

# The removal itself, on Wine's files and on the example, leaves the same installation.
for prefix in "$work/example" "$WINEPREFIX"; do
  MORVEX_PREFIX="$prefix" "$program" --exit-status --yes 24 > "$prefix.run" 2>&1 && echo "status 0" >> "$prefix.run" ||
    echo "status $?" >> "$prefix.run"
  MORVEX_PREFIX="$prefix" "$program" --list > "$prefix.after" 2>&1 || true
  MORVEX_PREFIX="$prefix" "$program" --check >> "$prefix.after" 2>&1 || true
done
if ! cmp -s "$work/example.run" "$WINEPREFIX.run" || ! cmp -s "$work/example.after" "$WINEPREFIX.after"; then
  echo "FAIL --yes 24: the run or what it left differs between the example prefix and Wine's files:"
  diff "$work/example.run" "$WINEPREFIX.run" || true
  diff "$work/example.after" "$WINEPREFIX.after" || true
  failed=1
fi
# Wine itself reads the saved files: what stays is there, what went is gone.
if ! "$wine" reg query 'HKCU\Software\Morvex\Morvex Tools\Select Compiler\IDE\5\30' > /dev/null 2>&1 ||
  "$wine" reg query 'HKCU\Software\Morvex\Morvex Compiler 2.4' > /dev/null 2>&1; then
  echo "FAIL Wine does not read the saved files as the run left them"
  failed=1
fi
wineserver -w
before=$(sums)

MORVEX_PREFIX="$WINEPREFIX" "$program" --dry-run --report "$WINEPREFIX/system.reg" 24 > /dev/null \
  2> "$work/refused" && status=0 || status=$?
if ! grep -q "is Wine's registry file" "$work/refused" || [ "$(sums)" != "$before" ]; then
  echo "FAIL a report over system.reg: not refused, or the files changed:"
  cat "$work/refused"
  failed=1
fi

wineserver -p30
MORVEX_PREFIX="$WINEPREFIX" "$program" --check > /dev/null 2> "$work/running" && status=0 || status=$?
MORVEX_PREFIX="$WINEPREFIX" "$program" --exit-status --yes 30 > /dev/null 2> "$work/running-yes" &&
  yes_status=0 || yes_status=$?
wineserver -k
if [ "$status" != 1 ] || ! grep -q "wineserver -k" "$work/running"; then
  echo "FAIL --check while Wine runs: status $status:"
  cat "$work/running"
  failed=1
fi
if [ "$yes_status" != 1 ] || [ "$(wc -l < "$work/running-yes")" != 1 ] || [ "$(sums)" != "$before" ]; then
  echo "FAIL --yes 30 while Wine runs: status $yes_status, not one line, or the files changed:"
  cat "$work/running-yes"
  failed=1
fi
exit $failed
