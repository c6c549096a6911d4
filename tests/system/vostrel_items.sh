#!/usr/bin/env bash
# Converts items with the real Vostrel program in a real window: the program
# is copied into a scratch server folder (its own folder is the one it works
# in), its Items page gets a small maximum and a click on Convert, and the
# item files it writes are checked byte for byte.
#
# Usage: bash vostrel_items.sh <bin-dir> <source-dir>
set -u

BIN_DIR=${1:?usage: vostrel_items.sh <bin-dir> <source-dir>}
PROGRAM="$BIN_DIR/Vostrel"

NAME=vostrel_items
. "$(cd "$(dirname "$0")" && pwd)/lib/common.sh"

scratch_server "$PROGRAM" vostrel-items

# Record 2 overflows its Type, so it must be left unwritten; record 4 has no
# section and still gets a file built from empty values. An old Item2.dat
# must survive untouched.
printf '%s\r\n' \
  '[ITEM1]' 'Name=Long Sword of the North Wind' 'Pic=32767' 'Type=2.5' 'Data1=-2' \
  'Data2=12abc' 'Data3=&H10' 'ClassReq=3' 'GuildReq=Blades' 'LevelReq=9' \
  '[item2]' 'Name=Broken' 'Type=256' \
  '[ITEM3]' 'name=Dagger' 'Pic=-1' 'Type=3.5' \
  > "$SERVER/items.ini"
mkdir "$SERVER/Items"
printf 'old record two' > "$SERVER/Items/Item2.dat"

# The X session: the program under its own Xvfb; a small driver script does
# the clicking inside the same session.
cat > "$SERVER/drive.sh" <<'EOF'
#!/usr/bin/env bash
set -u
cd "$1"
./Vostrel &
APP=$!
win=""
for _ in $(seq 1 100); do
  win=$(xdotool search --onlyvisible --name '^Drask Conversion Software$' 2>/dev/null | head -n1)
  [ -n "$win" ] && break
  sleep 0.1
done
if [ -z "$win" ]; then echo "window never appeared" > drive.result; kill "$APP"; exit 1; fi
# Give a loaded machine time to finish mapping and painting the window.
sleep 1.5
# Max box txtMaxItems sits at frame (8,40) + (56,0), 49 x 19 pixels; the
# Convert button at frame + (112,0), 89 x 17 pixels. Keys go through XTEST to
# the window under the pointer (there is no window manager).
xdotool mousemove --window "$win" 80 49 click 1
sleep 0.2
xdotool key ctrl+a
xdotool type --delay 30 '4'
sleep 0.5
xdotool mousemove --window "$win" 156 48 click 1
for _ in $(seq 1 200); do
  [ -f Items/Item4.dat ] && break
  sleep 0.1
done
if [ -f Items/Item4.dat ]; then echo "converted" > drive.result; else echo "no Item4.dat" > drive.result; fi
# Record 2 was skipped, so a box lists it; answer it with Return.
box=""
for _ in $(seq 1 200); do
  box=$(xdotool search --name '^Records not converted$' 2>/dev/null | head -n1)
  [ -n "$box" ] && break
  sleep 0.1
done
if [ -n "$box" ]; then
  echo "box shown" >> drive.result
  xdotool windowfocus --sync "$box" 2>/dev/null
  xdotool key Return
  for _ in $(seq 1 50); do
    xdotool search --name '^Records not converted$' >/dev/null 2>&1 || break
    sleep 0.1
  done
  xdotool search --name '^Records not converted$' >/dev/null 2>&1 && echo "box stays open" >> drive.result
fi
kill -TERM "$APP" 2>/dev/null
wait "$APP"
exit 0
EOF
chmod +x "$SERVER/drive.sh"

run_session "$SERVER/drive.sh"

result=$(cat "$SERVER/drive.result" 2>/dev/null)
[ "$result" = "$(printf 'converted\nbox shown')" ] || fail "driver says: ${result:-nothing} ($(tail -n5 "$SERVER/xvfb.log"))"
[ -f "$SERVER/Items/Item5.dat" ] && fail "Item5.dat written beyond the maximum of 4"

python3 - "$SERVER" <<'EOF' || fail "item file contents differ"
import struct, sys
folder = sys.argv[1] + "/Items/"
def read(n):
    with open(folder + "Item%d.dat" % n, "rb") as f:
        return f.read()
ok = True
def check(what, got, want):
    global ok
    if got != want:
        print("  %s: got %r, want %r" % (what, got, want))
        ok = False

one = read(1)
check("Item1 size", len(one), 92)
check("Item1 Name", one[0:20], b"Long Sword of the No")
check("Item1 Pic", one[20:22], b"\xff\x7f")
check("Item1 Type", one[22], 2)
check("Item1 Data1", one[23:27], b"\xfe\xff\xff\xff")
check("Item1 Data2", struct.unpack("<i", one[27:31])[0], 12)
check("Item1 Data3", struct.unpack("<i", one[31:35])[0], 16)
check("Item1 GuildReq", one[35:55], b"Blades" + b" " * 14)
check("Item1 LevelReq", one[55:59], b"\x09\x00\x00\x00")
check("Item1 ClassReq", one[59], 3)
check("Item1 reserved", one[60:92], bytes(32))
check("Item2 untouched", read(2), b"old record two")
three = read(3)
check("Item3 Name", three[0:20], b"Dagger" + b" " * 14)
check("Item3 Pic", three[20:22], b"\xff\xff")
check("Item3 Type", three[22], 4)
check("Item4", read(4), b" " * 20 + bytes(15) + b" " * 20 + bytes(37))
sys.exit(0 if ok else 1)
EOF

echo "vostrel_items: ok"
