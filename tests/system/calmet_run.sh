#!/bin/bash
# A real Calmet in a real window: copied into a scratch server folder with
# three accounts (two of them differ only in the case of their names) and an
# item file; an account is clicked, the wipe button pressed and both boxes
# answered from the keyboard; then the account files are checked and the
# window is closed, which must end the program.
# Usage: bash calmet_run.sh <bin-dir> <source-dir>
set -u

BIN_DIR=$(cd "$1" && pwd)
NAME=calmet_run
. "$(cd "$(dirname "$0")" && pwd)/lib/common.sh"

# Run the rest inside a private X server.
if [ -z "${CALMET_RUN_IN_XVFB:-}" ]; then
  CALMET_RUN_IN_XVFB=1 exec bash "$SYSTEM_LIB_DIR/../../../scripts/with-xvfb.sh" bash "$0" "$@"
fi

WORK=$(mktemp -d /tmp/calmet-run-XXXXXX)
SERVER=$WORK/server
APP_PID=""
cleanup() {
  if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
    kill "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT



build_closer "$WORK" || fail "cannot build the close helper"

# The program works on the folder it lies in.
mkdir -p "$SERVER/Items" "$SERVER/Accounts"
cp "$BIN_DIR/Calmet" "$SERVER/Calmet"
printf '[ITEM5]\r\nName=Sword\r\nType=1\r\n' >"$SERVER/Items/Item5.dat"
printf '[ITEM7]\r\nName=Gold\r\nType=12\r\n' >"$SERVER/Items/Item7.dat"
printf '[General]\r\nPassword=abc\r\n[CHAR1]\r\nName=Bob\r\nLevel=12\r\nAccess=3\r\nInvItemNum1=5\r\nInvItemVal1=1\r\nInvItemDur1=40\r\n' \
  >"$SERVER/Accounts/bob.ini"
printf '[CHAR2]\r\nName=Big Bob\r\nInvItemNum100=7\r\nInvItemVal100=500\r\n' >"$SERVER/Accounts/BOB.INI"
printf '[CHAR3]\r\nName=Cy\r\nInvItemNum50=5\r\n' >"$SERVER/Accounts/cy.ini"
cp "$SERVER/Accounts/bob.ini" "$WORK/bob.before"

(cd / && exec "$SERVER/Calmet") &
APP_PID=$!

WID=$(timeout 20 xdotool search --sync --onlyvisible --name '^Nolvaria Calmet$' | head -n 1)
[ -n "$WID" ] || fail "the Calmet window did not appear"
[ "$(xdotool getwindowname "$WID")" = "Nolvaria Calmet" ] || fail "wrong window title"
xdotool search --onlyvisible --name '^Warning$' >/dev/null && fail "the Items warning came up"
xdotool windowfocus --sync "$WID" || fail "cannot focus the window"

# Client area 584 x 542 pixels (15 twips to a pixel) below the menu bar.
HEIGHT=$(xwininfo -id "$WID" | awk '/Height:/ {print $2}')
MENU=$((HEIGHT - 542))
[ "$MENU" -ge 0 ] && [ "$MENU" -lt 60 ] || fail "unexpected window height $HEIGHT"

# Select the first account, then press "Delete all items from player
# inventories" (0, 440, 193 x 25 pixels).
xdotool mousemove --window "$WID" 60 $((MENU + 16 + 8)) click 1
xdotool mousemove --window "$WID" 96 $((MENU + 440 + 12)) click 1

QUESTION=$(timeout 10 xdotool search --sync --onlyvisible \
  --name '^You are on the path to account inventory deletion\.$' | head -n 1)
[ -n "$QUESTION" ] || fail "the wipe question did not appear"
# Nothing is written before the answer.
cmp -s "$SERVER/Accounts/bob.ini" "$WORK/bob.before" || fail "an account changed before the answer"
xdotool windowfocus --sync "$QUESTION"
xdotool key --clearmodifiers Return  # Yes is the default button

DONE=$(timeout 20 xdotool search --sync --onlyvisible --name '^Inventories cleared\.$' | head -n 1)
[ -n "$DONE" ] || fail "the completion box did not appear"
xdotool windowfocus --sync "$DONE"
xdotool key --clearmodifiers Return
wait_for 100 bash -c "! xdotool search --onlyvisible --name '^Inventories cleared\\.\$' >/dev/null" ||
  fail "the completion box did not close"

# Every account got its 900 inventory keys, each file its own.
for f in bob.ini BOB.INI cy.ini; do
  file=$SERVER/Accounts/$f
  [ "$(grep -c '^InvItem' "$file")" -eq 900 ] || fail "$f does not hold 900 inventory keys"
  grep '^InvItem' "$file" | grep -qv $'=0\r$' && fail "$f holds an inventory key that is not 0"
done
grep -q $'^Password=abc\r$' "$SERVER/Accounts/bob.ini" || fail "bob.ini lost a key of another section"
grep -q $'^Name=Bob\r$' "$SERVER/Accounts/bob.ini" || fail "bob.ini lost its character"
grep -q $'^Name=Big Bob\r$' "$SERVER/Accounts/BOB.INI" || fail "BOB.INI lost its character"
grep -q 'Name=Bob' "$SERVER/Accounts/BOB.INI" && fail "BOB.INI received bob.ini's keys"
[ "$(ls "$SERVER/Accounts" | wc -l)" -eq 3 ] || fail "the wipe made new files: $(ls "$SERVER/Accounts")"

# Closing the window ends the program.
kill -0 "$APP_PID" 2>/dev/null || fail "Calmet ended before its window was closed"
"$WORK/close_window" "$WID" || fail "cannot send the close request"
wait_for 100 bash -c "! kill -0 $APP_PID" || fail "Calmet still runs after its window was closed"
wait "$APP_PID"
STATUS=$?
APP_PID=""
[ "$STATUS" -eq 0 ] || fail "Calmet ended with status $STATUS"

echo "PASS: accounts wiped through the window, and closing ended Calmet"
exit 0
