#!/usr/bin/env python3
"""Writes the bundled sample server folder (sample/server) from scratch.

A few records of every kind, tricky values included: long and non-ASCII
names, halves, trailing text, hex, a value out of range, missing sections,
comments, CR-only and LF-only line ends, short and missing legacy maps,
accounts with odd file names, and item files in the profile layout.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "server")


def write(rel, data):
    path = os.path.join(OUT, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


def crlf(text):
    return text.replace("\n", "\r\n")


def legacy_map(name, update, mode, seed, short=None):
    head = name.encode("latin-1")[:20].ljust(20, b" ")
    head += struct.pack("<iBhhhhBhBBBB", update, mode, 1, -2, 3, -4, 5, 6, 7, 8, 9, 10)
    tiles = b""
    for b in range(12):
        for a in range(16):
            v = (a + 16 * b + seed) % 60
            tiles += struct.pack("<hhhhBhhh", v, v + 1, -1 if a == 0 else 0, v % 7, a % 4, a, b, -a)
    slots = bytes((seed * 17 + k * 13) % 256 for k in range(16))
    data = head + tiles + slots
    assert len(data) == 2936
    return data[:short] if short is not None else data


def main():
    shutil.rmtree(OUT, ignore_errors=True)
    write("items.ini", crlf(
        "; legacy item definitions\n"
        "[ITEM1]\nName=Dagger\nPic=12\nType=1\nData1=5\nData2=-2\nData3=0\nClassReq=0\nGuildReq=\nLevelReq=1\n"
        "[ITEM2]\nName=Blade of the Northern Wastes\nPic=32767\nType=2.5\nData1=&H10\nData2=12abc\nData3=abc\n"
        "ClassReq=3\nGuildReq=Knights of the Long Table\nLevelReq=9\n"
        "[item3]\n  Name = \"Caf\xe9 Potion\"  \nPic=-1\nType=3.5\nData1=1E3\nData2= 1 0\nLevelReq=255\n"
        "[ITEM4]\nName=Broken Record\nType=256\n"
        "[ITEM6]\nName=After A Gap\nType=12\nData1=-2147483648\n"))
    write("spells.ini", crlf(
        "[SPELL1]\nName=Heal\nType=1\nData1=-1\nData2=32767\nData3=2.5\nData4=3.5\nData5=12abc\nClassReq=1\nGuildReq=\nLevelReq=99\n"
        "[SPELL2]\nName=Fireball of Unreasonable Size\nType=2\nData1=40000\nLevelReq=5\n"
        "[SPELL3]\nName=Frost\nLevelReq=300\n"))
    write("npcs.ini", crlf(
        "[NPC1]\nName=Rat\nAttackSay=Squeak!\nSprite=4\nSpawnSecs=30\nSpawnTime=9\nBehavior=3\nRange=5\n"
        "DropChance=10\nDropItem=1\nDropItemValue=1\nSTR=2\nDEF=1\nSPEED=3\nMAGI=0\nHP=12abc\nEXP=5\n"
        "[NPC2]\nName=Guard Captain Wolfgang Amadeus\nAttackSay=" + "Halt! " * 50 + "\nSpawnTime=255.5\n"
        "[NPC3]\nName=Merchant\nBehavior=2\nHP=100\n"))
    write("shops.ini", crlf(
        "[SHOP1]\nName=General Store\nJoinSay=Welcome!\nLeaveSay=Come again.\nFixesItems=1\n"
        "GiveItem1=1\nGiveValue1=1\nGetItem1=2\nGetValue1=25\nGiveItem2=3\nGiveItem9=99\nOwner=Bob\n"
        "[SHOP2]\nName=\nJoinSay=\nGiveItem1=yes\n"))
    write("signs.ini",
          "[SIGN1]\nHeader=Hello\nLine1=Welcome to town\nLine2=  spaced  \nLine3=\n"
          "[SIGN2]\r\nHeader=Caf\xe9\r\nLine1=" + "x" * 300 + "\r\nLine2=\"quoted\"\r\n"
          "[SIGN3]\rHeader=Old Mac line ends\rLine1=one\r")
    write("maps/map1.dat", legacy_map("Town Square", 41, 3, 1))
    write("maps/map2.dat", legacy_map("Forest of Many Names Beyond", -1, 0, 7))
    write("maps/map3.dat", legacy_map("Short", 0, 1, 3, short=100))
    write("Accounts/bob.ini", crlf(
        "[General]\nPassword=secret\n"
        "[CHAR1]\nName=Bob\nLevel=12\nAccess=4\nSTR=10\nDEF=8\nSPEED=5\nMAGI=2\n"
        "InvItemNum1=1\nInvItemVal1=1\nInvItemDur1=50\nInvItemNum2=6\nInvItemVal2=250\n"
        "[CHAR2]\nName=Bobette\nLevel=3\nAccess=0\nSTR=1\nDEF=1\nSPEED=1\nMAGI=9\nInvItemNum1=2\n"
        "[CHAR3]\nName=\n"))
    write("Accounts/MARY ANN.INI", crlf(
        "[CHAR1]\nName=Mary\nLevel=40\nAccess=1\nSTR=20\nDEF=20\nSPEED=20\nMAGI=20\nInvItemNum1=-3\n"))
    write("Accounts/notes.txt", "not an account\n")
    write("Items/Item1.dat", crlf("[ITEM1]\nName=Dagger\nType=1\n"))
    write("Items/Item2.dat", crlf("[ITEM2]\nName=Gold\nType=12\n"))
    write("Items/Item6.dat", crlf("[ITEM6]\nName=Gem Pouch\nType=12\n"))
    write("Items/Item-3.dat", crlf("[ITEM-3]\nName=Cursed Stone\nType=0\n"))


if __name__ == "__main__":
    main()
