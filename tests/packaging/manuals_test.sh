#!/usr/bin/env bash
# The manual pages render with no complaint from man or groff and name the
# options --help names; the desktop entries pass desktop-file-validate (when
# installed) and name an icon that is a well-formed SVG document.
# Usage: bash manuals_test.sh <build-dir>
set -u
build=$1
out=$build/packaging
failures=0
failed() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for p in Vostrel Calmet Ruvane; do
  page=$out/man/$p.1.gz
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || failed "$p.1: $warnings"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES; do
    grep -qx "$section" <<<"$text" || failed "$p.1 has no $section section"
  done
  grep -qE "^ +$p - " <<<"$text" || failed "$p.1: NAME is not \"$p - ...\""
  for option in $("$build/bin/$p" --help | grep -oE '^  (-h, )?--[a-z0-9-]+' | grep -oE -- '--[a-z0-9-]+'); do
    grep -qE "^ +(-h, )?$option( |$)" <<<"$text" || failed "$p.1 does not describe $option"
  done
done

for entry in "$out"/applications/*.desktop; do
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || failed "desktop-file-validate $entry"
  fi
  icon=$(sed -n 's/^Icon=//p' "$entry")
  python3 -c 'import sys, xml.etree.ElementTree as t; r = t.parse(sys.argv[1]).getroot(); assert r.tag.endswith("svg") and len(r) > 1' \
    "$out/icons/$icon.svg" || failed "$entry: $icon.svg is no SVG document"
  program=$(sed -n 's/^Exec=//p' "$entry")
  [ -x "$build/bin/$program" ] || failed "$entry runs $program, which is not built"
done

echo "manuals: $failures failures"
[ "$failures" -eq 0 ]
