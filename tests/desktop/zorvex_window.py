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
