"""Where things are in zorvex's main window and how they look: the pages,
buttons, cards, task rows and prompts at their documented places, read back
from a picture of the screen."""

import os

import screen

# The main window, and points in it from its top-left corner.
WINDOW = (972, 630)
PAGE_LEFT = 160  # the left menu's width; the page fills the rest
PAGE = (WINDOW[0] - PAGE_LEFT, WINDOW[1])
ADD = (PAGE_LEFT + 10 + 32, 10 + 15)
CONVERT = (PAGE_LEFT + 84 + 32, 10 + 15)
CLOSE = (PAGE_LEFT + PAGE[0] - 36 + 9, 16 + 9)
DELETE = (PAGE_LEFT + PAGE[0] - 85 + 32, PAGE[1] - 41 + 15)
CHECK_ALL = (PAGE_LEFT + PAGE[0] - 186 + 9, PAGE[1] - 34 + 9)
MENU_LIBRARY, MENU_CONVERT, MENU_SETTINGS = (80, 51 + 24), (80, 99 + 24), (80, 147 + 24)
CHECK_UPDATE = (PAGE_LEFT + 328 + 35, 52 + 58 + 13)
MODIFY_PATH = (PAGE_LEFT + 398 + 35, PAGE[1] - 37 + 13)  # 修改, in the conversion view
CONTENT_TOP = 52
# The shadow pieces around the window (left, top, right, bottom), from its corner.
STRIPS = [(-16, 0, 16, 630), (-16, -16, 1004, 16), (972, 0, 16, 630), (-16, 630, 1004, 16)]

# The confirmation dialogs: 460 x 300, the right and the left button.
PROMPT = (460, 300)
PROMPT_RIGHT, PROMPT_LEFT = (350 + 45, 252 + 15), (242 + 45, 252 + 15)
PROMPT_CHECK2 = (165, 150, 250, 18)  # 彻底删除源文件
TOAST = (315, 80)

# The chosen entry of the left menu carries the accent on its left edge.
ACCENT = (0xEE, 0x8E, 0x31)

# Colours (RGB).
PAGE_GREY = (242, 243, 243)
ROW_GREY = (242, 242, 243)
LEFT_COLUMN = (0x3E, 0x3D, 0x42)
TITLE_BAND = (0xF8, 0xF8, 0xF8)

# The address on the title band: the box that opens the address menu, the
# text "IP: …" in it, and the menu's rows of 22 pixels below the box, each
# with a mark column on its left.
ADDRESS_BOX = (PAGE_LEFT + PAGE[0] - 205, 14, 126, 22)
ADDRESS_TEXT = (PAGE_LEFT + PAGE[0] - 200, 16, 100, 18)  # short of the box's arrow
MENU_WIDTH, MENU_ROW = 126, 22
MENU_MARK_GREY = (0xE9, 0xE9, 0xE9)
# What the address text's colour says: no phone, phones connected, not listening.
ADDRESS_COLOURS = {"idle": (0x3E, 0x3D, 0x42), "phones": (0xF1, 0x94, 0x10),
                   "down": (0xD9, 0x45, 0x3A)}

CARD_SIZE = (144, 116)
ROW_HEIGHT = 80


def card_origin(index):
    """A card's top-left corner: five to a row, 158 and 124 apart."""
    return (PAGE_LEFT + 14 + 158 * (index % 5), CONTENT_TOP + 18 + 124 * (index // 5))


def card_centre(index):
    x, y = card_origin(index)
    return (x + 72, y + 44)


def row_cancel(index):
    """The cancel/delete button of the task row at index (from 0)."""
    return (PAGE_LEFT + 699 + 32, CONTENT_TOP + ROW_HEIGHT * index + 25 + 15)


class Card:
    def __init__(self, index, clip, badge, checked):
        self.index, self.clip, self.badge, self.checked = index, clip, badge, checked

    def __repr__(self):
        return "%s:%s%s" % (self.clip, self.badge, "+" if self.checked else "")


class Reader:
    """Reads the window's state from pictures of it. Cards are told apart by
    their thumbnails: every clip is one solid colour."""

    def __init__(self, skin, clips):
        self.clips = clips  # name -> RGB
        art = {"converted": "FP/Coned.png", "waiting": "FP/Con_Wait.png",
               "check": "FP/Check.png", "done": "Convert/Converted.png"}
        self.art = {name: screen.read_png(os.path.join(skin, path)) for name, path in art.items()}
        self.check_on = self.art["check"].over(PAGE_GREY, 0, 28, 14, 14)
        self.check_off = self.art["check"].over(PAGE_GREY, 0, 0, 14, 14)
        self.done_icon = self.art["done"].over(ROW_GREY)
        self.badges = {}  # (kind, colour) -> picture

    def clip_of(self, colour):
        for name, clip_colour in self.clips.items():
            if all(abs(c - k) <= 40 for c, k in zip(colour, clip_colour)):
                return name
        return None

    def cards(self, window):
        """The cards in grid order; badge is plain, waiting, converting,
        converted, or ? while the thumbnail is not there."""
        found = []
        for index in range(15):
            x, y = card_origin(index)
            thumb = window.crop(x + 12, y + 12, 64, 40)
            if thumb.share(PAGE_GREY, 4) > 0.9:
                break  # an empty place: the grid ends
            colour = tuple(round(c) for c in thumb.mean())
            clip = self.clip_of(colour) if thumb.share(colour, 12) > 0.9 else None
            badge = self.badge(window.crop(x + 86, y + 64, 50, 16), colour) if clip else "?"
            box = window.crop(x + 8, y + 92, 14, 14)
            checked = box.difference(self.check_on) < box.difference(self.check_off)
            found.append(Card(index, clip or "unknown", badge, checked))
        return found

    def badge(self, area, colour):
        if area.share(colour, 12) > 0.97:
            return "plain"
        scores = {}
        for kind in ("converted", "waiting"):
            if (kind, colour) not in self.badges:
                self.badges[(kind, colour)] = self.art[kind].over(colour)
            scores[kind] = area.difference(self.badges[(kind, colour)])
        kind = min(scores, key=scores.get)
        # Neither picture: the animation of a running conversion.
        return kind if scores[kind] < 10 else "converting"

    def rows(self, window):
        """The conversion view's task rows, top down: done, running or other."""
        found = []
        for i in range(6):
            top = CONTENT_TOP + ROW_HEIGHT * i
            if window.crop(PAGE_LEFT + 32, top + 26, 60, 28).share(ROW_GREY, 4) > 0.9:
                break
            icon = window.crop(PAGE_LEFT + 451, top + 23, 18, 18)
            bar = window.crop(PAGE_LEFT + 452, top + 25, 142, 8)
            if icon.difference(self.done_icon) < 12:
                found.append("done")
            elif bar.share(ROW_GREY, 4) < 0.5:
                found.append("running")
            else:
                found.append("other")
        return found


def centre(rect):
    x, y, w, h = rect
    return (x + w // 2, y + h // 2)


def menu_row_centre(index):
    """The middle of the address menu's row at index, from the menu's corner."""
    return (MENU_WIDTH // 2, MENU_ROW * index + MENU_ROW // 2)


def ink(picture, background=TITLE_BAND, tolerance=40):
    """The picture cut to what is drawn on the background; None for nothing."""
    xs, ys = [], []
    for y in range(picture.height):
        for x in range(picture.width):
            if any(abs(c - b) > tolerance for c, b in zip(picture.pixel(x, y), background)):
                xs.append(x)
                ys.append(y)
    if not xs:
        return None
    return picture.crop(min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1)


class MenuRow:
    """A row of the address menu as drawn: its text's ink and its mark."""

    def __init__(self, text, marked):
        self.text, self.marked = text, marked

    def same_text(self, other, tolerance=2):
        a, b = self.text, other.text
        return (a is None) == (b is None) and (a is None or (
            (a.width, a.height) == (b.width, b.height) and a.difference(b) < tolerance))


def menu_rows(menu):
    """The rows of a picture of the address menu, top down."""
    rows = []
    for i in range(menu.height // MENU_ROW):
        top = MENU_ROW * i
        mark = menu.crop(1, top + 1, 15, MENU_ROW - 2)
        text = ink(menu.crop(19, top + 2, MENU_WIDTH - 21, MENU_ROW - 3))
        rows.append(MenuRow(text, mark.share(MENU_MARK_GREY, 6) < 0.97))
    return rows


def address_colour(band_text):
    """The name in ADDRESS_COLOURS of the colour the address is drawn in, or None."""
    share = {name: band_text.share(colour, 16) for name, colour in ADDRESS_COLOURS.items()}
    name = max(share, key=share.get)
    return name if share[name] > 0.01 else None


def coverage(picture, background=TITLE_BAND):
    """How much ink covers each pixel, 0..1, rows top down, whatever its colour."""
    far = [[max(abs(c - b) for c, b in zip(picture.pixel(x, y), background))
            for x in range(picture.width)] for y in range(picture.height)]
    top = max(max(row) for row in far) or 1
    return [[value / top for value in row] for row in far]


def text_distance(band_text, row):
    """How far the band's "IP: …" is from ending in the row's text: the most
    ink that differs in a column, 0 for alike. The band's text starts at a
    fraction of a pixel where the menu's does not, so the row is tried
    shifted by tenths of a pixel."""
    drawn = ink(band_text)
    if drawn is None or row.text is None or row.text.height > drawn.height \
            or row.text.width + 2 > drawn.width:
        return float("inf")
    band, want = coverage(drawn), coverage(row.text)
    height, width = len(want), len(want[0])
    best = float("inf")
    for top in range(len(band) - height + 1):
        lines = [band[top + y] + [0.0] for y in range(height)]
        for left in range(drawn.width - width - 2, drawn.width - width + 1):
            for tenth in range(10):
                t = tenth / 10
                worst = 0.0
                for x in range(width + 1):
                    column = 0.0
                    for y in range(height):
                        line = want[y]
                        shifted = (line[x] if x < width else 0) * (1 - t) + \
                            (line[x - 1] if x else 0) * t
                        column += abs(shifted - lines[y][min(left + x, drawn.width)])
                    worst = max(worst, column)
                best = min(best, worst)
    return best


def shown_row(band_text, rows):
    """The index of the menu row whose text the band's "IP: …" ends in, or
    None when no row is clearly nearer than the others."""
    distances = sorted((text_distance(band_text, row), index) for index, row in enumerate(rows))
    if not distances or distances[0][0] == float("inf"):
        return None
    runner_up = distances[1][0] if len(distances) > 1 else float("inf")
    return distances[0][1] if distances[0][0] < 0.6 * runner_up else None
