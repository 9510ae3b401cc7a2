"""Helpers for the window cases: screenshots read as pixels, what the skin must show where, the
line pitch a font size gives under Wine, and registry values put back as they were.

Skin geometry (pixels from the window's top-left corner), as the artwork draws it:
- title band rows 0..27, blue gradient from (86, 151, 231) on row 0 to (229, 237, 250) on row 27;
- frame: columns 0..3 on the left, 307..304 on the right and rows 391..388 at the bottom, colours
  (86, 151, 231), (119, 169, 232), (165, 197, 238), (221, 230, 245) from the outside in; the
  outermost column runs the full height, the inner ones start at row 28 under the band;
- page (paper, within two levels of (244, 238, 220)) from row 28 to 387 between the frames;
- etched ring from (8, 32) to (299, 383): a dark (199, 193, 175) line with a light
  (252, 254, 252) line inside it on the top and left, and the reverse on the bottom and right;
- ReportBox 3 pixels inside that ring: x 11..296, y 35..380;
- menu glyph x 8..19, y 8..20; title text from x 31; minimise button x 256..277, close button
  x 278..299, both y 4..20.
"""

from __future__ import annotations

import dataclasses
import glob
import struct
import subprocess
from pathlib import Path

from harness import CaseFailure, HarnessError, Session, run_bounded

Rgb = tuple[int, int, int]

WIDTH, HEIGHT = 308, 392
BAND_ROWS = 28
PAGE = (244, 238, 220)
BAND_TOP = (86, 151, 231)
BAND_BOTTOM = (229, 237, 250)
FRAME = [(86, 151, 231), (119, 169, 232), (165, 197, 238), (221, 230, 245)]  # outside in
ETCH_DARK = (199, 193, 175)
ETCH_LIGHT = (252, 254, 252)
TITLE_YELLOW = (243, 241, 0)
REPORT_BOX = (11, 35, 286, 346)  # left, top, width, height
# A band column clear of the glyph, the title and the buttons: the reference band colour per row.
BAND_REFERENCE_X = 303


# ---------------------------------------------------------------------------------------------
# Screenshots


@dataclasses.dataclass
class Image:
    width: int
    height: int
    data: bytes

    def at(self, x: int, y: int) -> Rgb:
        i = (y * self.width + x) * 3
        return self.data[i], self.data[i + 1], self.data[i + 2]


def _ppm_tokens(data: bytes, count: int) -> tuple[list[int], int]:
    """The first `count` header numbers of a binary PPM (skipping comments) and where the pixels start."""
    values: list[int] = []
    pos = 2  # after "P6"
    while len(values) < count:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while data[end:end + 1].isdigit():
            end += 1
        values.append(int(data[pos:end]))
        pos = end
    return values, pos + 1  # one whitespace byte ends the header


def load_image(path: Path) -> Image:
    result = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], capture_output=True, timeout=30)
    if result.returncode != 0 or not result.stdout.startswith(b"P6"):
        raise HarnessError(f"cannot read {path}: {result.stderr.decode('utf-8', 'replace')[-300:]}")
    (width, height, maximum), start = _ppm_tokens(result.stdout, 3)
    if maximum != 255:
        raise HarnessError(f"{path}: unexpected PPM depth {maximum}")
    data = result.stdout[start:start + width * height * 3]
    if len(data) != width * height * 3:
        raise HarnessError(f"{path}: truncated pixel data")
    return Image(width, height, data)


def screenshot(session: Session, xid: str, path: Path) -> Image:
    path.parent.mkdir(parents=True, exist_ok=True)
    result = run_bounded(["import", "-window", xid, str(path)], 30, env=session.env)
    if result.returncode != 0 or not path.is_file():
        raise HarnessError("screenshot failed: " + result.describe())
    return load_image(path)


def window_size_from_x(session: Session, xid: str) -> tuple[int, int]:
    """The X window's size as the X server sees it, independent of anything Windows reports."""
    result = run_bounded(["xwininfo", "-id", xid], 15, env=session.env)
    if result.returncode != 0:
        raise CaseFailure("xwininfo failed: " + result.describe())
    found = {}
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        key, _, value = line.strip().partition(":")
        if key in ("Width", "Height"):
            found[key] = int(value)
    if len(found) != 2:
        raise CaseFailure(f"xwininfo gave no size: {result.stdout!r}")
    return found["Width"], found["Height"]


# ---------------------------------------------------------------------------------------------
# What the skin must show


def distance(a: Rgb, b: Rgb) -> int:
    return max(abs(p - q) for p, q in zip(a, b))


class Findings:
    """Collects pixel problems, keeping only the first few of each kind so a message stays short."""

    def __init__(self) -> None:
        self.problems: list[str] = []
        self._per_kind: dict[str, int] = {}

    def add(self, kind: str, message: str) -> None:
        seen = self._per_kind.get(kind, 0)
        self._per_kind[kind] = seen + 1
        if seen < 3:
            self.problems.append(f"{kind}: {message}")

    def expect(self, kind: str, image: Image, x: int, y: int, colour: Rgb, tolerance: int = 0) -> None:
        got = image.at(x, y)
        if distance(got, colour) > tolerance:
            self.add(kind, f"({x}, {y}) is {got}, expected {colour}" + (f" +-{tolerance}" if tolerance else ""))

    def summary(self) -> list[str]:
        extra = [f"{kind}: {n - 3} more" for kind, n in self._per_kind.items() if n > 3]
        return self.problems + extra


def _is_page(colour: Rgb) -> bool:
    return distance(colour, PAGE) <= 3


def check_band(image: Image, found: Findings) -> None:
    for x in range(WIDTH):
        found.expect("title band top row", image, x, 0, BAND_TOP)
    column = [image.at(BAND_REFERENCE_X, y) for y in range(BAND_ROWS)]
    for y in range(1, BAND_ROWS):
        if sum(column[y]) < sum(column[y - 1]):
            found.add("title band gradient", f"row {y} {column[y]} is darker than row {y - 1} {column[y - 1]}")
    found.expect("title band last row", image, BAND_REFERENCE_X, BAND_ROWS - 1, BAND_BOTTOM, tolerance=12)
    # The band ends at row 27: row 28 is page already (this edge is the drag handle's edge too).
    found.expect("page under the band", image, BAND_REFERENCE_X, BAND_ROWS, PAGE, tolerance=3)


def check_frame(image: Image, found: Findings) -> None:
    right, bottom = WIDTH - 1, HEIGHT - 1
    for i, colour in enumerate(FRAME):
        top = 0 if i == 0 else BAND_ROWS
        for y in range(top, bottom - i + 1):
            found.expect(f"left frame line {i}", image, i, y, colour)
            found.expect(f"right frame line {i}", image, right - i, y, colour)
        for x in range(i, right - i + 1):
            found.expect(f"bottom frame line {i}", image, x, bottom - i, colour)


def check_page_margins(image: Image, found: Findings) -> None:
    """The paper between the frame and the etched ring, clear of the grip dots (x 295..302, y 379..386)."""
    for y in range(BAND_ROWS, 388):
        for x in (4, 5, 6, 7):
            found.expect("left page margin", image, x, y, PAGE, tolerance=3)
        if y < 377:
            for x in (300, 301, 302, 303):
                found.expect("right page margin", image, x, y, PAGE, tolerance=3)
    for x in range(4, 290):
        for y in (28, 29, 30, 31, 384, 385, 386, 387):
            found.expect("top/bottom page margin", image, x, y, PAGE, tolerance=3)


def check_etched_ring(image: Image, found: Findings) -> None:
    for y in range(32, 383):
        found.expect("etched ring left", image, 8, y, ETCH_DARK)
    for y in range(33, 382):
        found.expect("etched ring left inner", image, 9, y, ETCH_LIGHT)
        found.expect("etched ring right inner", image, 298, y, ETCH_DARK)
    for y in range(32, 384):
        found.expect("etched ring right", image, 299, y, ETCH_LIGHT)
    for x in range(8, 299):
        found.expect("etched ring top", image, x, 32, ETCH_DARK)
    for x in range(9, 298):
        found.expect("etched ring top inner", image, x, 33, ETCH_LIGHT)
        found.expect("etched ring bottom inner", image, x, 382, ETCH_DARK)
    for x in range(8, 300):
        found.expect("etched ring bottom", image, x, 383, ETCH_LIGHT)


def check_report_box_on_screen(image: Image, found: Findings) -> None:
    """The report box's edge sits exactly on its rectangle: its outermost pixels are not paper, the pixels
    just outside are."""
    left, top, width, height = REPORT_BOX
    right, bottom = left + width - 1, top + height - 1
    for y in range(top, bottom + 1):
        for x_in, x_out in ((left, left - 1), (right, right + 1)):
            if _is_page(image.at(x_in, y)):
                found.add("ReportBox edge", f"({x_in}, {y}) is paper {image.at(x_in, y)}, expected ReportBox")
            found.expect("around ReportBox", image, x_out, y, PAGE, tolerance=3)
    for x in range(left, right + 1):
        for y_in, y_out in ((top, top - 1), (bottom, bottom + 1)):
            if _is_page(image.at(x, y_in)):
                found.add("ReportBox edge", f"({x}, {y_in}) is paper {image.at(x, y_in)}, expected ReportBox")
            found.expect("around ReportBox", image, x, y_out, PAGE, tolerance=3)


def _band_at(image: Image, y: int) -> Rgb:
    return image.at(BAND_REFERENCE_X, y)


def _region(x0: int, x1: int, y0: int, y1: int):
    return [(x, y) for y in range(y0, y1 + 1) for x in range(x0, x1 + 1)]


def check_glyph_and_title(image: Image, found: Findings) -> None:
    glyph = _region(8, 19, 8, 19)  # the cabinet's body rows; row 20 holds only its feet
    grey = [p for p in glyph if distance(image.at(*p), _band_at(image, p[1])) > 40
            and max(image.at(*p)) - min(image.at(*p)) <= 40]
    if len(grey) < len(glyph) * 3 // 4:
        found.add("menu glyph", f"only {len(grey)} of {len(glyph)} pixels at x 8..19, y 8..19 are grey")
    for x, y in _region(2, 6, 4, 24):
        found.expect("band left of the glyph", image, x, y, _band_at(image, y))
    yellow = [p for p in _region(31, 252, 2, 26) if distance(image.at(*p), TITLE_YELLOW) <= 40]
    if len(yellow) < 60:
        found.add("title", f"only {len(yellow)} yellow pixels at x 31..252 of the band")
    elsewhere = [p for p in _region(0, 30, 0, 27) + _region(253, 307, 0, 27)
                 if distance(image.at(*p), TITLE_YELLOW) <= 40]
    if elsewhere:
        found.add("title", f"yellow pixels outside the title's place, e.g. {elsewhere[:3]}")


def check_caption_buttons(image: Image, found: Findings) -> None:
    # The bodies, a pixel in from each picture's 22 x 17 box (whose rim shows the band).
    close = _region(280, 297, 6, 19)
    minimise = _region(258, 275, 6, 19)
    for name, body in (("close button", close), ("minimise button", minimise)):
        unchanged = [p for p in body if distance(image.at(*p), _band_at(image, p[1])) <= 30]
        if unchanged:
            found.add(name, f"{len(unchanged)} pixels look like the title band, e.g. {unchanged[:3]}")
        white = [p for p in body if min(image.at(*p)) >= 200]
        if len(white) < 8:
            found.add(name, f"no white symbol: {len(white)} near-white pixels")
    reddish = [p for p in close if image.at(*p)[0] >= image.at(*p)[1] + 50 and image.at(*p)[0] >= image.at(*p)[2] + 50]
    if len(reddish) < len(close) // 2:
        found.add("close button", f"only {len(reddish)} of {len(close)} pixels are red")
    slate = [p for p in minimise if image.at(*p)[2] >= image.at(*p)[0] + 10 and image.at(*p)[2] < 200]
    if len(slate) < len(minimise) // 2:
        found.add("minimise button", f"only {len(slate)} of {len(minimise)} pixels are slate blue")
    red_in_minimise = [p for p in minimise if image.at(*p)[0] >= image.at(*p)[2] + 30]
    if red_in_minimise:
        found.add("minimise button", f"red pixels, e.g. {red_in_minimise[:3]}")
    # Outside the two buttons the band shows again.
    for y in range(4, 21):
        found.expect("band left of the buttons", image, 254, y, _band_at(image, y))
        found.expect("band right of the buttons", image, 301, y, _band_at(image, y))


def skin_problems(image: Image) -> list[str]:
    if (image.width, image.height) != (WIDTH, HEIGHT):
        return [f"screenshot is {image.width} x {image.height}, expected {WIDTH} x {HEIGHT}"]
    found = Findings()
    for step in (check_band, check_frame, check_page_margins, check_etched_ring, check_report_box_on_screen,
                 check_glyph_and_title, check_caption_buttons):
        step(image, found)
    return found.summary()


# ---------------------------------------------------------------------------------------------
# Font size seen from outside


def mul_div(a: int, b: int, c: int) -> int:
    """Windows' MulDiv for positive numbers: a * b / c rounded, halves away from zero."""
    return (2 * a * b + c) // (2 * c)


def em_pixels(points: int, dpi: int) -> int:
    return mul_div(points, dpi, 72)


def _font_vertical_metrics(path: str) -> tuple[int, int, int]:
    """unitsPerEm, usWinAscent and usWinDescent of a TrueType/OpenType file."""
    data = Path(path).read_bytes()
    tables = {}
    for i in range(struct.unpack(">H", data[4:6])[0]):
        tag, _, offset, _ = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
        tables[tag] = offset
    if b"head" not in tables or b"OS/2" not in tables:
        raise HarnessError(f"{path}: no head or OS/2 table")
    units = struct.unpack(">H", data[tables[b"head"] + 18:tables[b"head"] + 20])[0]
    ascent, descent = struct.unpack(">HH", data[tables[b"OS/2"] + 74:tables[b"OS/2"] + 78])
    return units, ascent, descent


def tahoma_file() -> str:
    """The file Wine draws "Tahoma" from: its own Tahoma when installed, otherwise the host font
    fontconfig chooses for that name (Wine finds host fonts through fontconfig)."""
    for pattern in ("/usr/share/wine/fonts/tahoma.ttf", "/usr/share/fonts/**/[Tt]ahoma.ttf"):
        hits = sorted(glob.glob(pattern, recursive=True))
        if hits:
            return hits[0]
    result = run_bounded(["fc-match", "-f", "%{file}", "Tahoma"], 15)
    path = result.stdout.decode("utf-8", "replace").strip()
    if result.returncode != 0 or not path:
        raise HarnessError("fc-match cannot name the font used for Tahoma: " + result.describe())
    return path


def line_pitch(em: int, font_path: str) -> int:
    """An EDIT control's line pitch is the font's cell height: ascent plus descent, each scaled
    to the em size and rounded on its own, as Wine's font engine does."""
    units, ascent, descent = _font_vertical_metrics(font_path)

    def scaled(value: int) -> int:  # rounded, halves up
        return (2 * value * em + units) // (2 * units)

    return scaled(ascent) + scaled(descent)


# ---------------------------------------------------------------------------------------------
# Registry values put back


class RegistryValue:
    """Remembers a value of the shared prefix and restores it, or removes it when it was absent."""

    def __init__(self, session: Session, key: str, name: str, kind: str):
        self.session, self.key, self.name, self.kind = session, key, name, kind
        self.before = session.reg_query(key, name)

    def set(self, data: str) -> None:
        self.session.reg_add(self.key, self.name, data, kind=self.kind)

    def restore(self) -> None:
        if self.before is None:
            # Wine now and then ends a fresh process before it has done anything: one more try.
            for _ in range(2):
                result = self.session.wine(["reg", "delete", self.key, "/v", self.name, "/f", "/reg:64"])
                if self.session.reg_query(self.key, self.name) is None:
                    return
                self.session.log(f"the value {self.name} is still there after " + result.describe())
            raise HarnessError(f"could not remove {self.key}\\{self.name}: " + result.describe())
        data = self.before
        if self.kind == "REG_DWORD" and data.lower().startswith("0x"):
            data = str(int(data, 16))
        self.set(data)
