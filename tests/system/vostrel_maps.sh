#!/usr/bin/env bash
# Converts maps with the real Vostrel program in a real window: the program
# is copied into a folder of its own and given the scratch server folder
# (holding a maps folder) with --server-dir, its Maps page
# gets a small maximum and a click on Convert (standard layers), then a
# second run with the Windows 98 box ticked; the files are checked byte for
# byte.
#
# Usage: bash vostrel_maps.sh <bin-dir> <source-dir>
set -u

BIN_DIR=${1:?usage: vostrel_maps.sh <bin-dir> <source-dir>}
PROGRAM="$BIN_DIR/Vostrel"

NAME=vostrel_maps
. "$(cd "$(dirname "$0")" && pwd)/lib/common.sh"

scratch_server "$PROGRAM" vostrel-maps
# Elsewhere than the server folder: the window must work on --server-dir.
mkdir "$SERVER/tools" && mv "$SERVER/Vostrel" "$SERVER/tools/" || fail "cannot move the program"

# Map 1 is a full legacy map, map 2 a file cut short after its update count,
# map 3 is missing. The newmaps folder does not exist yet.
python3 - "$SERVER" <<'EOF' || fail "cannot write the legacy maps"
import os, struct, sys
folder = os.path.join(sys.argv[1], "maps")
os.mkdir(folder)
header = b"Harbour".ljust(20, b" ") + struct.pack("<iBhhhhBhBBBB", 41, 3, -2, 2, 3, 32767, 250, -32768, 1, 2, 3, 0x5A)
tiles = [bytes(15)] * 192
tiles[0] = struct.pack("<hhhhBhhh", 7, -8, 0, 9, 2, 1, 2, 3)
tiles[11 * 16 + 15] = struct.pack("<hhhhBhhh", 48, 0, 0, 0, 0, 0, 0, 0)
slots = bytes([200] + [0] * 14 + [255])
record = header + b"".join(tiles) + slots
assert len(record) == 2936
with open(os.path.join(folder, "map1.dat"), "wb") as f:
    f.write(record)
with open(os.path.join(folder, "map2.dat"), "wb") as f:
    f.write(b"Shore".ljust(20, b" ") + struct.pack("<i", 5))
EOF

# The X session: the program under its own Xvfb; a small driver script does
# the clicking inside the same session.
cat > "$SERVER/drive.sh" <<'EOF'
#!/usr/bin/env bash
set -u
cd "$1"
./tools/Vostrel --server-dir "$1" &
APP=$!
finish() { echo "$1" >> drive.result; kill -TERM "$APP" 2>/dev/null; wait "$APP"; exit 0; }
win=""
for _ in $(seq 1 100); do
  win=$(xdotool search --onlyvisible --name '^Drask Conversion Software$' 2>/dev/null | head -n1)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || finish "window never appeared"
sleep 0.5
# Every page's Max box sits at frame (8,40) + (56,0), 49 x 19 pixels, its
# Convert button at frame + (112,0), 89 x 17; chk98 at frame + (0,32),
# 185 x 17. Keys go through XTEST to the window under the pointer (there is
# no window manager).
MAX="88 49"; CONVERT="164 48"; CHK98="20 80"
# Turn the wheel down over the tab strip: each notch selects the next tab,
# and the last one (Maps) stays selected past the end.
xdotool mousemove --window "$win" 20 10 click --repeat 6 5
sleep 0.2

convert() {  # convert <max>
  xdotool mousemove --window "$win" $MAX click 1
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 30 "$1"
  sleep 0.2
  xdotool mousemove --window "$win" $CONVERT click 1
}
# wait_for <tries> <command...>: polls every 0.1 s.
wait_for() {
  local tries=$1; shift
  for _ in $(seq 1 "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}
byte_at() { od -An -tu1 -j "$2" -N1 "$1" 2>/dev/null | tr -d ' '; }
# Size and first layer of the files are all written once the last map is.
standard_done() { [ "$(stat -c %s Newmaps/map3.dat 2>/dev/null)" = 4105 ]; }
win98_done() { [ "$(byte_at Newmaps/map1.dat 41)" = 7 ]; }

convert 3
wait_for 200 standard_done || finish "standard run: no Newmaps/map3.dat"
cp Newmaps/map1.dat standard1.dat
cp Newmaps/map2.dat standard2.dat
echo "standard" >> drive.result

xdotool mousemove --window "$win" $CHK98 click 1
sleep 0.2
convert 1
wait_for 200 win98_done || finish "Windows 98 run: layer of map 1 not copied"
finish "win98"
EOF
chmod +x "$SERVER/drive.sh"

run_session "$SERVER/drive.sh"

result=$(cat "$SERVER/drive.result" 2>/dev/null)
[ "$result" = "$(printf 'standard\nwin98')" ] || fail "driver says: ${result:-nothing} ($(tail -n5 "$SERVER/xvfb.log"))"
[ -e "$SERVER/Newmaps/map4.dat" ] && fail "map4.dat written beyond the maximum of 3"
[ -f "$SERVER/maps/map3.dat" ] || fail "the missing legacy map 3 was not created"
[ -s "$SERVER/maps/map3.dat" ] && fail "the created legacy map 3 is not empty"

python3 - "$SERVER" <<'EOF' || fail "map file contents differ"
import struct, sys
folder = sys.argv[1]
def read(name):
    with open(folder + "/" + name, "rb") as f:
        return f.read()
ok = True
def check(what, got, want):
    global ok
    if got != want:
        print("  %s: got %r, want %r" % (what, got, want))
        ok = False
def layers(rec, a, b):
    at = 41 + 21 * (b * 16 + a)
    return struct.unpack("<7hBhhh", rec[at:at + 21])

one = read("standard1.dat")
check("map1 size", len(one), 4105)
check("map1 Name", one[0:20], b"Harbour" + b" " * 13)
check("map1 header", struct.unpack("<iBhhhhBhBBBBB", one[20:41]),
      (42, 1, -2, 2, 3, 32767, 250, -32768, 1, 2, 3, 0x5A, 0))
check("map1 cell (0,0)", layers(one, 0, 0), (14, -15, 0, 0, 16, 0, 0, 2, 1, 2, 3))
check("map1 cell (15,11)", layers(one, 15, 11)[0], 90)
check("map1 Slot(1)", one[4073:4075], b"\xc8\x00")
check("map1 Slot(16)", one[4103:4105], b"\xff\x00")

two = read("standard2.dat")
check("map2 size", len(two), 4105)
check("map2 Name and count", two[0:24], b"Shore" + b" " * 15 + struct.pack("<i", 6))
check("map2 rest", two[24:], bytes(4105 - 24))
three = read("Newmaps/map3.dat")
check("map3", three, bytes(20) + struct.pack("<i", 1) + bytes(4105 - 24))

win98 = read("Newmaps/map1.dat")
check("map1 Windows 98 size", len(win98), 4105)
check("map1 Windows 98 cell (0,0)", layers(win98, 0, 0), (7, -8, 0, 0, 9, 0, 0, 2, 1, 2, 3))
check("map1 Windows 98 cell (15,11)", layers(win98, 15, 11)[0], 48)
check("map1 Windows 98 count", struct.unpack("<i", win98[20:24])[0], 42)
check("map2 not converted again", read("Newmaps/map2.dat"), two)
sys.exit(0 if ok else 1)
EOF

echo "vostrel_maps: ok"
