#!/usr/bin/env python3
"""Compares the dialog templates of a compiled resource file (.res, from windres -O res)
with the table below: caption, size, style, font, and every control's id, class, text,
rectangle and style, in template order; and checks that the copy animation is an RLE8
clip of 17 frames of 260 x 40 pixels at 100 ms. Prints each difference; exits 1 if there
is one.

Usage: check_dialog_templates.py <resources.res>"""
import struct
import sys

POPUP, VISIBLE, CHILD = 0x80000000, 0x10000000, 0x40000000
CAPTION, SYSMENU, BORDER = 0x00C00000, 0x00080000, 0x00800000
GROUP, TABSTOP = 0x00020000, 0x00010000
MODALFRAME, SETFOREGROUND, SETFONT = 0x80, 0x200, 0x40

INSTALL_STYLE = MODALFRAME | POPUP | CAPTION | SYSMENU | SETFONT
LTEXT = CHILD | VISIBLE | GROUP  # SS_LEFT
GROUPBOX = CHILD | VISIBLE | 0x7
EDIT_HSCROLL = CHILD | VISIBLE | BORDER | TABSTOP | 0x80  # ES_AUTOHSCROLL
PUSH = CHILD | VISIBLE | TABSTOP
DEFPUSH = PUSH | 0x1
AUTOCHECK = CHILD | VISIBLE | TABSTOP | 0x3

FONT = (9, "ＭＳ Ｐゴシック")
END_TEXT = ("インストールを終了しました。\nプログラムの起動は [ スタート ] メニューまたは、\n"
            "デスクトップ上のショートカットから行ってください。\n\n"
            "以下のメニューを選択してＯＫを押して下さい。")

# name: (caption, (cx, cy), style, [(id, class, text, (x, y, cx, cy), style), ...])
EXPECTED = {
    "COPYINGDELUX": ("ファイルのコピー中...", (194, 109),
                     POPUP | VISIBLE | CAPTION | MODALFRAME | SETFOREGROUND | SETFONT, [
        (1010, "msctls_progress32", "Progress1", (5, 50, 185, 10), 0x50800001),
        (1012, "static", "コピー中ファイル名", (5, 75, 185, 10), 0x50020201),
        (2, "button", "ｷｬﾝｾﾙ", (140, 90, 50, 14), 0x50010000),
        (1019, "msctls_progress32", "Progress2", (5, 60, 185, 10), 0x50800001),
        (1020, "SysAnimate32", "Animate1", (5, 5, 180, 40), 0x50000003),
    ]),
    "SETUP": ("インストール先のフォルダの指定", (203, 95), INSTALL_STYLE, [
        (-1, "static", "インストール先フォルダを指定してください", (10, 5, 190, 8), LTEXT),
        (-1, "button", "", (5, 15, 195, 30), GROUPBOX),
        (1000, "edit", "", (10, 26, 130, 12), EDIT_HSCROLL),
        (1021, "button", "参照(&B)", (145, 25, 50, 14), PUSH),
        (-1, "static", "[参照]ボタンで、既存のフォルダを参照できます\n"
                       "[次へ]ボタンでインストールを開始します", (5, 50, 191, 20), LTEXT),
        (1, "button", "次へ", (115, 75, 40, 14), PUSH),
        (2, "button", "ｷｬﾝｾﾙ", (160, 75, 40, 14), PUSH),
    ]),
    "MAKESHORTCUT": ("ショートカットの作成", (174, 75), INSTALL_STYLE, [
        (-1, "static", "デスクトップ上に、ゲームを起動するショートカットを\n作成できます",
         (5, 5, 165, 20), LTEXT),
        (1007, "button", "デスクトップにショートカットを作成", (5, 35, 160, 10), AUTOCHECK),
        (1, "button", "OK", (65, 55, 50, 14), DEFPUSH),
        (2, "button", "ｷｬﾝｾﾙ", (120, 55, 50, 14), PUSH),
    ]),
    "ENDINSTALL_VISTA": ("インストール終了", (194, 95), INSTALL_STYLE, [
        (-1, "static", END_TEXT, (5, 10, 185, 45), LTEXT),
        (1007, "button", "readmeを開く", (5, 65, 160, 10), AUTOCHECK),
        (1, "button", "OK", (140, 75, 50, 14), DEFPUSH),
    ]),
    "ENDINSTALL_VISTA_SHORT": ("インストール終了", (195, 85), INSTALL_STYLE, [
        (-1, "static", END_TEXT, (5, 10, 185, 45), LTEXT),
        (1, "button", "OK", (138, 64, 50, 14), DEFPUSH),
    ]),
}

ATOMS = {0x80: "button", 0x81: "edit", 0x82: "static"}
RT_DIALOG = 5


class Reader:
    def __init__(self, data, pos=0):
        self.data, self.pos = data, pos

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.pos
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        s = self.data[self.pos:end].decode("utf-16-le")
        self.pos = end + 2
        return s

    def name(self):
        """A name or an ordinal (0xFFFF, then the number)."""
        if self.data[self.pos:self.pos + 2] == b"\xff\xff":
            self.pos += 2
            return self.take("H")
        return self.text()

    def align(self, n=4, base=0):
        self.pos += (-(self.pos - base)) % n


def resources(data):
    """(type, name, bytes) of every resource in a .res file."""
    r = Reader(data)
    while r.pos + 8 <= len(data):
        start = r.pos
        size, header = r.take("II")
        kind, name = r.name(), r.name()
        r.pos = start + header
        yield kind, name, data[r.pos:r.pos + size]
        r.pos += size
        r.align(4)


def parse_dialog(blob):
    r = Reader(blob)
    style, _ex, count, _x, _y, cx, cy = r.take("IIHhhhh")
    r.name()  # menu
    r.name()  # class
    caption = r.text()
    font = None
    if style & SETFONT:
        font = (r.take("H"), r.text())
    items = []
    for _ in range(count):
        r.align(4)
        item_style, _ex, x, y, w, h, ident = r.take("IIhhhhH")
        cls = r.name()
        cls = ATOMS.get(cls, cls) if isinstance(cls, int) else cls
        text = r.name()
        extra = r.take("H")
        r.pos += extra
        ident = ident - 0x10000 if ident == 0xFFFF else ident
        items.append((ident, cls, text, (x, y, w, h), item_style))
    return caption, (cx, cy), style, font, items


def check_animation(blob):
    """Differences of the AVI_FILECOPY clip from what the copy window expects."""
    if blob[0:4] != b"RIFF" or blob[8:12] != b"AVI " or blob[24:28] != b"avih":
        return ["AVI_FILECOPY: not a RIFF AVI with its main header first"]
    micro, _, _, _, frames, _, streams, _, width, height = struct.unpack_from("<10I", blob, 32)
    strf = blob.find(b"strf")
    compression, bits = struct.unpack_from("<I", blob, strf + 8 + 16)[0], blob[strf + 8 + 14]
    got = (micro, frames, streams, width, height, compression, bits)
    want = (100000, 17, 1, 260, 40, 1, 8)  # compression 1: RLE8
    return [] if got == want else [f"AVI_FILECOPY: want {want}, got {got}"]


def main():
    data = open(sys.argv[1], "rb").read()
    everything = list(resources(data))
    found = {name: blob for kind, name, blob in everything if kind == RT_DIALOG}
    clips = [blob for kind, name, blob in everything if (kind, name) == ("AVI", "AVI_FILECOPY")]
    problems = check_animation(clips[0]) if clips else ["AVI_FILECOPY: missing"]
    for name, (caption, size, style, controls) in EXPECTED.items():
        if name not in found:
            problems.append(f"{name}: missing")
            continue
        got_caption, got_size, got_style, got_font, items = parse_dialog(found[name])
        for what, want, got in (("caption", caption, got_caption), ("size", size, got_size),
                                ("style", hex(style), hex(got_style)), ("font", FONT, got_font),
                                ("control count", len(controls), len(items))):
            if want != got:
                problems.append(f"{name}: {what}: want {want!r}, got {got!r}")
        for index, (want, got) in enumerate(zip(controls, items)):
            want = want[:1] + (want[1].lower(),) + want[2:4] + (hex(want[4]),)
            got = got[:1] + (got[1].lower(),) + got[2:4] + (hex(got[4]),)
            if want != got:
                problems.append(f"{name}: control {index}: want {want!r}, got {got!r}")
    for p in problems:
        print(p)
    print(f"{len(EXPECTED)} templates checked, {len(problems)} difference(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
