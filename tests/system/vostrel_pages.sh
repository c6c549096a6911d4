#!/bin/bash
# A real Vostrel in a real window: copied into a scratch server folder,
# switched to the Shops page with the mouse wheel, Max set and Convert clicked
# with the mouse; then the shop files it wrote are checked.
# Usage: bash vostrel_pages.sh <bin-dir> <source-dir>
set -u

BIN_DIR=$(cd "$1" && pwd)
NAME=vostrel_pages
. "$(cd "$(dirname "$0")" && pwd)/lib/common.sh"

# Run the rest inside a private X server.
if [ -z "${VOSTREL_PAGES_IN_XVFB:-}" ]; then
  VOSTREL_PAGES_IN_XVFB=1 exec bash "$SYSTEM_LIB_DIR/../../../scripts/with-xvfb.sh" bash "$0" "$@"
fi

SERVER=$(mktemp -d /tmp/vostrel-pages-XXXXXX)
APP_PID=""
cleanup() {
  if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
    kill "$APP_PID" 2>/dev/null
    wait "$APP_PID" 2>/dev/null
  fi
  rm -rf "$SERVER"
}
trap cleanup EXIT



# The program works on the folder it lies in.
cp "$BIN_DIR/Vostrel" "$SERVER/Vostrel"
printf '[SHOP1]\r\nName=Inn\r\nJoinSay=Hello\r\nGiveItem1=4\r\nGiveItem9=5\r\n[SHOP3]\r\nFixesItems=1\r\n' \
  >"$SERVER/shops.ini"
# An existing shop file with a key of its own, which must survive.
mkdir "$SERVER/Shops"
printf '[SHOP3]\r\nKeeper=Ann\r\n' >"$SERVER/Shops/Shop3.dat"

(cd / && exec "$SERVER/Vostrel") &
APP_PID=$!

WID=$(timeout 20 xdotool search --sync --onlyvisible --name "Drask Conversion Software" | head -n 1)
[ -n "$WID" ] || fail "the converter window did not appear"
xdotool windowfocus --sync "$WID" || fail "cannot focus the window"

# Window coordinates in pixels (the layout is 15 twips to a pixel): every
# page's Max box and Convert button sit at the same place, 40 pixels down.
MAX_X=88; MAX_Y=49
CONVERT_X=164; CONVERT_Y=48

# One wheel notch over the tab strip selects the next tab: three notches
# from Items (Spells, Signs) reach Shops. The strip spans the window's
# width, so its empty right end is a safe place for the pointer.
xdotool mousemove --window "$WID" 300 8
xdotool click 5 click 5 click 5

# Type the maximum into the Shops page's box and convert.
xdotool mousemove --window "$WID" $MAX_X $MAX_Y click 1
xdotool key --clearmodifiers ctrl+a
xdotool type "3"
xdotool mousemove --window "$WID" $CONVERT_X $CONVERT_Y click 1

shop_done() { [ -f "$SERVER/Shops/Shop2.dat" ] && grep -q '^GetValue8=0' "$SERVER/Shops/Shop3.dat"; }
wait_for 200 shop_done || fail "the shop files were not written: $(ls -R "$SERVER")"

# Shop 1: values copied, empties filled, the ninth slot left out.
grep -q $'^\\[SHOP1\\]\r$' "$SERVER/Shops/Shop1.dat" || fail "Shop1 has no section"
grep -q $'^Name=Inn\r$' "$SERVER/Shops/Shop1.dat" || fail "Shop1 name"
grep -q $'^JoinSay=Hello\r$' "$SERVER/Shops/Shop1.dat" || fail "Shop1 JoinSay"
grep -q $'^LeaveSay=\r$' "$SERVER/Shops/Shop1.dat" || fail "Shop1 empty LeaveSay"
grep -q $'^FixesItems=0\r$' "$SERVER/Shops/Shop1.dat" || fail "Shop1 FixesItems"
grep -q $'^GiveItem1=4\r$' "$SERVER/Shops/Shop1.dat" || fail "Shop1 GiveItem1"
grep -q 'GiveItem9' "$SERVER/Shops/Shop1.dat" && fail "Shop1 got a ninth slot"
[ "$(grep -c '=' "$SERVER/Shops/Shop1.dat")" -eq 52 ] || fail "Shop1 does not hold 52 keys"
# Shop 2 has no section in the source: empty texts and zeros.
grep -q $'^Name=\r$' "$SERVER/Shops/Shop2.dat" || fail "Shop2 name"
grep -q $'^GetValue8=0\r$' "$SERVER/Shops/Shop2.dat" || fail "Shop2 GetValue8"
# Shop 3 keeps its own key beside the converted ones.
grep -q $'^Keeper=Ann\r$' "$SERVER/Shops/Shop3.dat" || fail "Shop3 lost its own key"
grep -q $'^FixesItems=1\r$' "$SERVER/Shops/Shop3.dat" || fail "Shop3 FixesItems"
[ ! -e "$SERVER/Shops/Shop4.dat" ] || fail "a fourth shop was written"
# The click ran on the Shops page and nowhere else.
[ ! -e "$SERVER/Items" ] || fail "the Items page converted instead"

echo "PASS: shops converted through the window"
exit 0
