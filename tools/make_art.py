#!/usr/bin/env python3
"""Regenerate every picture TOLM and jw ship with.

Run from anywhere:  python3 tools/make_art.py [--preview FILE]

The outputs are committed, so the build never needs Pillow or any image tool.
Everything here is deterministic: no clocks, no unseeded randomness, fixed
JPEG settings and no PNG time chunks, so re-running it on an unchanged script
leaves `git status` clean.  After writing, the files are read back and checked;
the script exits non-zero if anything is off.
"""

import hashlib
import io
import os
import struct
import sys

try:
    from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont
except ImportError:  # a pyenv/venv interpreter next to Debian's python3-pil
    _deb = "/usr/lib/python3/dist-packages"
    if os.path.isdir(os.path.join(_deb, "PIL")):
        sys.path.append(_deb)
    from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ART = os.path.join(ROOT, "art")
WIDGET_BACK = os.path.join(ROOT, "tolm", "ui", "back.png")

CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"
DIGIT_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
LATIN_FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

# The widget window is colour-keyed: any pixel of exactly this grey turns into
# a hole to the desktop.  The dialogs key on pure red instead.
KEY_GREY = (128, 128, 128)
KEY_RED = (255, 0, 0)

# Where the widget places its child panels on top of back.png.
YEAR_PANEL = (169, 80, 104, 41)
DAY_PANEL = (200, 187, 308, 85)
MOTTO_PANEL = (60, 337, 447, 85)
PANEL_GROUND = (48, 48, 48)

DIGIT_SIZE = (79, 85)
# The scales (per cent) the widget's pictures are made for; the program draws each window from
# the ones made for its monitor's scale.  100 % keeps the plain file names, the others append
# "_<scale>" ("digit0_150.jpg", "back_150.png").
SCALES = (100, 125, 150, 175, 200)


def at_scale(v, scale):
    """A length in 100 % pixels at a scale, rounded as the program rounds twips (halves up)."""
    return int(v * scale / 100.0 + 0.5)


def scaled_size(size, scale):
    return (at_scale(size[0], scale), at_scale(size[1], scale))


def scaled_name(name, scale):
    if scale == 100:
        return name
    stem, ext = os.path.splitext(name)
    return "%s_%d%s" % (stem, scale, ext)
JPEG_OPTIONS = dict(quality=92, subsampling=0, optimize=False, progressive=False)


# --------------------------------------------------------------------------
# small helpers

class Rng:
    """xorshift32: tiny, and identical on every Python/Pillow version."""

    def __init__(self, seed):
        self.s = (seed & 0xFFFFFFFF) or 0x9E3779B9

    def next(self):
        s = self.s
        s ^= (s << 13) & 0xFFFFFFFF
        s ^= s >> 17
        s ^= (s << 5) & 0xFFFFFFFF
        self.s = s
        return s

    def unit(self):
        """Uniform in [-1, 1)."""
        return self.next() / 2147483648.0 - 1.0


def noise_image(size, seed, amplitude):
    """Grey 'L' image centred on 128 with uniform noise of +-amplitude."""
    rng = Rng(seed)
    w, h = size
    data = bytes(128 + int(round(rng.unit() * amplitude)) for _ in range(w * h))
    return Image.frombytes("L", size, data)


def add_signed(img, noise_l, gain=1.0):
    """img + gain*(noise-128) on every channel, clamped."""
    if gain != 1.0:
        noise_l = noise_l.point(lambda v: max(0, min(255, int(round(128 + (v - 128) * gain)))))
    planes = []
    for band in img.split():
        up = ImageChops.add(band, noise_l, 1.0, -128)        # band + n - 128, clamps at 255
        planes.append(up)
    return Image.merge(img.mode, planes)


def vertical_gradient(size, top, bottom):
    w, h = size
    mask = Image.linear_gradient("L").resize((w, h), Image.BILINEAR)
    return Image.composite(Image.new("RGB", size, bottom), Image.new("RGB", size, top), mask)


def font(path, px, index=0):
    return ImageFont.truetype(path, px, index=index)


def cjk(px):
    return font(CJK_FONT, px)


def downsample(img, factor):
    w, h = img.size
    return img.resize((w // factor, h // factor), Image.BOX)


def shift(img, dx, dy, fill=0):
    out = Image.new(img.mode, img.size, fill)
    out.paste(img, (dx, dy))
    return out


def find_colour(img, colour):
    """Positions of pixels exactly equal to colour (RGB image)."""
    r, g, b = colour
    data = img.convert("RGB").tobytes()
    w = img.size[0]
    hits = []
    target = bytes((r, g, b))
    i = data.find(target)
    while i >= 0:
        if i % 3 == 0:
            hits.append(((i // 3) % w, (i // 3) // w))
            i = data.find(target, i + 3)
        else:
            i = data.find(target, i + 1)
    return hits


def near_key_grey(img, tolerance):
    """Positions whose channels are all within tolerance of the key grey."""
    diff = ImageChops.difference(img.convert("RGB"), Image.new("RGB", img.size, KEY_GREY))
    close = [band.point(lambda v: 255 if v <= tolerance else 0) for band in diff.split()]
    both = ImageChops.darker(ImageChops.darker(close[0], close[1]), close[2])
    if not both.getbbox():
        return []
    w = img.size[0]
    return [(i % w, i // w) for i, v in enumerate(both.getdata()) if v]


# Other JPEG decoders (the one in Windows included) may round differently from
# libjpeg by a step or so; keep a margin so none of them can land on the key.
JPEG_KEY_MARGIN = 2


def save_jpeg_keysafe(img, path):
    """Write a JPEG that decodes without a single key-grey pixel.

    Quantisation noise can land any mid grey on (128,128,128); where it comes
    close, lighten those source pixels a little and encode again.
    """
    img = img.convert("RGB").copy()
    for _ in range(40):
        img.save(path, "JPEG", **JPEG_OPTIONS)
        with Image.open(path) as back:
            hits = near_key_grey(back, JPEG_KEY_MARGIN)
        if not hits:
            return
        px = img.load()
        for x, y in hits:
            r, g, b = px[x, y]
            px[x, y] = (min(255, r + 5), min(255, g + 5), min(255, b + 9))
    raise RuntimeError("%s: cannot keep clear of the key grey" % path)


def remove_key_grey(img, where=None):
    """Nudge accidental key-grey pixels (antialiasing) off the key colour."""
    px = img.load()
    for x, y in find_colour(img, KEY_GREY):
        if where is None or where(x, y):
            px[x, y] = (128, 128, 134)
    return img


# --------------------------------------------------------------------------
# flip-clock digits, day panel and motto strip

def draw_digit(d, scale=100):
    """One flip-clock tile; tiles sit edge to edge in the panels."""
    s = 4                                   # supersampling factor
    w, h = DIGIT_SIZE
    W, H = w * s, h * s
    img = Image.new("RGB", (W, H), PANEL_GROUND)
    # Tile body: upper leaf a touch lighter than the lower one, faint blue
    # cast so antialiased greys rarely sit exactly on the key colour.
    tile = (3 * s, 2 * s, (w - 3) * s - 1, (h - 2) * s - 1)
    mid = H // 2
    upper = vertical_gradient((W, mid), (78, 78, 84), (62, 62, 68))
    lower = vertical_gradient((W, H - mid), (58, 58, 64), (44, 44, 50))
    body = Image.new("RGB", (W, H))
    body.paste(upper, (0, 0))
    body.paste(lower, (0, mid))
    mask = Image.new("L", (W, H), 0)
    ImageDraw.Draw(mask).rounded_rectangle(tile, radius=7 * s, fill=255)
    img.paste(body, (0, 0), mask)

    # The glyph, centred on the tile.  Vertical placement is shared by all
    # ten so the baseline does not jump when the number changes.
    f = font(DIGIT_FONT, 66 * s)
    _, top, _, bottom = f.getbbox("0")
    l, _, r, _ = f.getbbox(str(d))
    cx = (tile[0] + tile[2]) / 2.0
    cy = (tile[1] + tile[3]) / 2.0
    x = int(round(cx - (l + r) / 2.0))
    y = int(round(cy - (top + bottom) / 2.0))
    glyph = Image.new("L", (W, H), 0)
    ImageDraw.Draw(glyph).text((x, y), str(d), font=f, fill=255)
    img.paste((246, 246, 250), (0, 0), glyph)

    # Hinge: a dark gap across the middle with a thin catch-light below it.
    dr = ImageDraw.Draw(img)
    dr.rectangle((tile[0], mid - s, tile[2], mid + s - 1), fill=(26, 26, 30))
    dr.rectangle((tile[0], mid + s, tile[2], mid + s + s // 2), fill=(92, 92, 98))
    # Small notches at the hinge ends, as on a real flip clock.
    dr.rectangle((tile[0], mid - 3 * s, tile[0] + 2 * s - 1, mid + 3 * s - 1), fill=PANEL_GROUND)
    dr.rectangle((tile[2] - 2 * s + 1, mid - 3 * s, tile[2], mid + 3 * s - 1), fill=PANEL_GROUND)
    if scale != 100:
        # From the 4x drawing straight to the scale's own pixels.
        return img.resize(scaled_size(DIGIT_SIZE, scale), Image.BOX)
    return downsample(img, s)


def textured(size, base, seed, streak=6.0, grain=3.0):
    """Dark brushed texture: long horizontal streaks plus fine grain."""
    w, h = size
    streaks = noise_image((max(2, w // 24), h), seed, 127).resize(size, Image.BICUBIC)
    streaks = streaks.point(lambda v: int(round(128 + (v - 128) * streak / 127.0)))
    fine = noise_image(size, seed + 1, grain)
    img = Image.new("RGB", size, base)
    img = add_signed(img, streaks)
    return add_signed(img, fine)


def draw_daypanel(scale=100):
    w, h = scaled_size((256, 91), scale)
    img = textured((w, h), PANEL_GROUND, 7001)
    # Fade to the panel's flat ground towards the right edge, where the rest of
    # the 308-px panel is plain grey.
    fade = Image.linear_gradient("L").rotate(90, expand=True)          # 0 left .. 255 right
    fade = fade.resize((w, h), Image.BILINEAR).point(lambda v: max(0, v - 160) * 255 // 95)
    return Image.composite(Image.new("RGB", (w, h), PANEL_GROUND), img, fade)


def draw_motto(scale=100):
    w, h = scaled_size((447, 85), scale)
    img = vertical_gradient((w, h), (52, 52, 56), (38, 38, 42))
    img = add_signed(img, textured((w, h), (128, 128, 128), 7002, streak=5.0, grain=3.0).convert("L"))
    dr = ImageDraw.Draw(img)
    # A hairline on top catches the light and separates it from the card.
    dr.rectangle((0, 0, w - 1, max(1, at_scale(1, scale)) - 1), fill=(70, 70, 76))
    return img


# --------------------------------------------------------------------------
# the widget's own background

WIDGET_SIZE = (722, 488)
CARD_BOX = (8, 8, 713, 479)          # inclusive corners of the opaque card
CARD_RADIUS = 24

INK_WHITE = (250, 251, 255)
INK_SOFT = (196, 208, 236)          # secondary lines
INK_GOLD = (246, 206, 120)
CARD_EDGE = (12, 16, 38)


def card_mask(size, box, radius, s=4):
    """Hard-edged card mask: a pixel is opaque when most of it is inside."""
    w, h = size
    big = Image.new("L", (w * s, h * s), 0)
    x0, y0, x1, y1 = box
    ImageDraw.Draw(big).rounded_rectangle(
        (x0 * s, y0 * s, (x1 + 1) * s - 1, (y1 + 1) * s - 1), radius=radius * s, fill=255)
    return downsample(big, s).point(lambda v: 255 if v >= 128 else 0)


def card_mask_scaled(size, scale, s=4):
    """The card's mask at a scale: the 100 % card's outline, drawn at that scale's pixels."""
    w, h = size
    k = scale / 100.0
    x0, y0, x1, y1 = CARD_BOX
    big = Image.new("L", (w * s, h * s), 0)
    ImageDraw.Draw(big).rounded_rectangle(
        (x0 * k * s, y0 * k * s, (x1 + 1) * k * s - 1, (y1 + 1) * k * s - 1), radius=CARD_RADIUS * k * s, fill=255)
    return downsample(big, s).point(lambda v: 255 if v >= 128 else 0)


def text_with_shadow(img, xy, text, f, fill, anchor="la", shadow=(6, 10, 30), offset=2,
                     stroke=0):
    """Text with a soft drop shadow; shadow blurred separately so it stays soft."""
    layer = Image.new("L", img.size, 0)
    ImageDraw.Draw(layer).text(xy, text, font=f, fill=255, anchor=anchor,
                               stroke_width=stroke, stroke_fill=255)
    soft = shift(layer, offset, offset).filter(ImageFilter.GaussianBlur(offset))
    img.paste(shadow, (0, 0), soft.point(lambda v: v * 150 // 255))
    img.paste(fill, (0, 0), layer)


def bezel(img, panel, s):
    """Recessed frame the child panel sits in: dark lip, light rim outside."""
    x, y, w, h = panel
    dr = ImageDraw.Draw(img)
    dr.rounded_rectangle(((x - 4) * s, (y - 4) * s, (x + w + 4) * s - 1, (y + h + 4) * s - 1),
                         radius=7 * s, fill=(86, 104, 168))
    dr.rounded_rectangle(((x - 3) * s, (y - 3) * s, (x + w + 3) * s - 1, (y + h + 3) * s - 1),
                         radius=6 * s, fill=(10, 12, 26))
    dr.rectangle((x * s, y * s, (x + w) * s - 1, (y + h) * s - 1), fill=PANEL_GROUND)


def calendar_page(img, box, s):
    """Tear-off calendar leaf showing the exam day, 7 June."""
    x, y, w, h = (v * s for v in box)
    head = 28 * s
    shadow = Image.new("L", img.size, 0)
    ImageDraw.Draw(shadow).rounded_rectangle((x + 2 * s, y + 4 * s, x + w + 2 * s, y + h + 4 * s),
                                             radius=8 * s, fill=110)
    img.paste((4, 6, 20), (0, 0), shadow.filter(ImageFilter.GaussianBlur(3 * s)))
    dr = ImageDraw.Draw(img)
    dr.rounded_rectangle((x, y, x + w - 1, y + h - 1), radius=8 * s, fill=(248, 247, 243))
    dr.rounded_rectangle((x, y, x + w - 1, y + head), radius=8 * s, fill=(206, 52, 58))
    dr.rectangle((x, y + head - 8 * s, x + w - 1, y + head), fill=(206, 52, 58))
    for rx in (x + w // 4, x + 3 * w // 4):                  # binding rings
        dr.rounded_rectangle((rx - 3 * s, y - 7 * s, rx + 3 * s, y + 7 * s), radius=3 * s,
                             fill=(226, 230, 240), outline=(60, 64, 84), width=s)
    dr.text((x + w // 2, y + head // 2 + 3 * s), "六月", font=cjk(17 * s), fill=(255, 250, 240),
            anchor="mm")
    dr.text((x + w // 2, y + head + (h - head) // 2 - 5 * s), "7", font=font(DIGIT_FONT, 52 * s),
            fill=(40, 44, 70), anchor="mm")
    dr.text((x + w // 2, y + h - 11 * s), "高考首日", font=cjk(12 * s), fill=(150, 60, 64), anchor="mm")


def seal(img, box, s):
    """A red seal impression reading 加油, the way a calligrapher signs off."""
    x, y, w, h = (v * s for v in box)
    red = (190, 44, 52)
    paper = (250, 236, 222)
    dr = ImageDraw.Draw(img)
    dr.rounded_rectangle((x, y, x + w - 1, y + h - 1), radius=5 * s, fill=red)
    dr.rounded_rectangle((x + 4 * s, y + 4 * s, x + w - 1 - 4 * s, y + h - 1 - 4 * s), radius=3 * s,
                         outline=paper, width=s)
    f = cjk(30 * s)
    for i, ch in enumerate("加油"):
        dr.text((x + w // 2, y + h * (2 * i + 1) // 4 + (3 - 6 * i) * s), ch, font=f, fill=paper,
                anchor="mm", stroke_width=s, stroke_fill=paper)


def hairline(img, y, x0, x1, s, colour=(120, 150, 230), strength=90):
    """A faint rule that fades out at both ends."""
    w = (x1 - x0) * s
    ramp = Image.linear_gradient("L").rotate(90, expand=True).transpose(Image.FLIP_LEFT_RIGHT)
    ramp = ramp.resize((w, s), Image.BILINEAR)
    tent = ImageChops.darker(ramp, ramp.transpose(Image.FLIP_LEFT_RIGHT))
    tent = tent.point(lambda v: min(255, v * 3) * strength // 255)
    layer = Image.new("L", img.size, 0)
    layer.paste(tent, (x0 * s, y * s))
    img.paste(colour, (0, 0), layer)


def draw_widget_back(scale=100):
    # 100 % is drawn at twice its size; the other scales at four times, then brought down to
    # their own pixels, so that every one is as sharp as the first.
    s = 2 if scale == 100 else 4
    w, h = WIDGET_SIZE
    W, H = w * s, h * s
    # Deep blue drifting to indigo, lit softly from the upper left.
    diag = Image.linear_gradient("L").resize((W, H), Image.BILINEAR)
    horiz = Image.linear_gradient("L").rotate(90, expand=True).resize((W, H), Image.BILINEAR)
    diag = ImageChops.add(diag.point(lambda v: v // 2), horiz.point(lambda v: v // 2))
    img = Image.composite(Image.new("RGB", (W, H), (40, 26, 92)),
                          Image.new("RGB", (W, H), (22, 54, 120)), diag)
    glow = Image.radial_gradient("L").resize((int(W * 1.1), int(H * 1.3)), Image.BILINEAR)
    # radial_gradient reaches 181 at the middle of each edge; stop at 176 so
    # the pasted square leaves no seam.
    glow = glow.point(lambda v: max(0, 176 - v) * 70 // 176)
    lit = Image.new("L", (W, H), 0)
    lit.paste(glow, (-int(W * 0.25), -int(H * 0.45)))
    img.paste((70, 120, 210), (0, 0), lit)

    # Rim: a 2-px dark edge (also painted outside, so the hard-cut corner
    # pixels come out edge-coloured), then a faint light line inside it.
    x0, y0, x1, y1 = CARD_BOX
    inner = ((x0 + 2) * s, (y0 + 2) * s, (x1 - 1) * s - 1, (y1 - 1) * s - 1)
    edge = Image.new("L", (W, H), 255)
    ImageDraw.Draw(edge).rounded_rectangle(inner, radius=(CARD_RADIUS - 2) * s, fill=0)
    img.paste(CARD_EDGE, (0, 0), edge)
    hl = Image.new("L", (W, H), 0)
    ImageDraw.Draw(hl).rounded_rectangle(inner, radius=(CARD_RADIUS - 2) * s, outline=150, width=s)
    img.paste((104, 132, 214), (0, 0), hl)
    dr = ImageDraw.Draw(img)

    for panel in (YEAR_PANEL, DAY_PANEL, MOTTO_PANEL):
        bezel(img, panel, s)

    # Title line.
    text_with_shadow(img, (60 * s, 22 * s), "高考倒计时", cjk(40 * s), INK_WHITE, stroke=s)
    dr.rounded_rectangle((60 * s, 68 * s, 100 * s, 71 * s), radius=s, fill=INK_GOLD)
    sub = font(LATIN_FONT, 12 * s)
    x = 274 * s
    for ch in "GAOKAO  COUNTDOWN":
        dr.text((x, 52 * s), ch, font=sub, fill=(120, 142, 204), anchor="ls")
        x += sub.getlength(ch) + 3 * s

    hairline(img, 152, 60, 580, s)
    hairline(img, 304, 60, 580, s)
    calendar_page(img, (598, 34, 92, 104), s)
    seal(img, (612, 336, 64, 88), s)

    # "距离 [2027] 年高考"
    ymid = (YEAR_PANEL[1] + YEAR_PANEL[3] / 2.0) * s
    f30 = cjk(30 * s)
    text_with_shadow(img, ((YEAR_PANEL[0] - 12) * s, ymid), "距离", f30, INK_SOFT, anchor="rm")
    text_with_shadow(img, ((YEAR_PANEL[0] + YEAR_PANEL[2] + 10) * s, ymid), "年高考", f30, INK_SOFT,
                     anchor="lm")

    # "还有 [182] 天"
    ymid = (DAY_PANEL[1] + DAY_PANEL[3] / 2.0) * s
    text_with_shadow(img, ((DAY_PANEL[0] - 14) * s, ymid), "还有", cjk(40 * s), INK_WHITE, anchor="rm",
                     stroke=s // 2)
    text_with_shadow(img, ((DAY_PANEL[0] + DAY_PANEL[2] + 14) * s, ymid), "天", cjk(64 * s), INK_GOLD,
                     anchor="lm", stroke=s)

    if scale == 100:
        img = downsample(img, s)
        mask = card_mask(WIDGET_SIZE, CARD_BOX, CARD_RADIUS)
    else:
        size = scaled_size(WIDGET_SIZE, scale)
        img = img.resize(size, Image.BOX)
        mask = card_mask_scaled(size, scale)
    # The key grey outside the card is pasted last, over the drawing's own edge: every pixel is
    # either exactly the key or clear of it, at every scale.
    img.paste(KEY_GREY, (0, 0), ImageChops.invert(mask))
    inside = mask.load()
    return remove_key_grey(img, lambda x, y: inside[x, y])


def compose_preview(back, digits, daypanel, motto, year="2027", days="182", line="天道酬勤，未来可期。"):
    """The widget as it will look, for eyeballing: panels and digits pasted in."""
    img = back.convert("RGB").copy()
    x, y, w, h = YEAR_PANEL
    img.paste(PANEL_GROUND, (x, y, x + w, y + h))
    for i, ch in enumerate(year):
        img.paste(digits[int(ch)].resize((25, 41), Image.BILINEAR), (x + 2 + i * 25, y))
    x, y, w, h = DAY_PANEL
    panel = Image.new("RGB", (w, h), PANEL_GROUND)
    panel.paste(daypanel, (0, 0))
    for i, ch in enumerate(days):
        panel.paste(digits[int(ch)], (i * DIGIT_SIZE[0], 0))
    img.paste(panel, (x, y))
    x, y, w, h = MOTTO_PANEL
    strip = motto.copy()
    ImageDraw.Draw(strip).text((8, 16), line, font=cjk(24), fill=(255, 255, 255))
    img.paste(strip, (x, y))
    # Show the see-through parts as a busy desktop would.
    checker = Image.new("RGB", img.size, (200, 80, 60))
    cd = ImageDraw.Draw(checker)
    for yy in range(0, img.size[1], 16):
        for xx in range(0, img.size[0], 16):
            if (xx + yy) // 16 % 2:
                cd.rectangle((xx, yy, xx + 15, yy + 15), fill=(90, 150, 90))
    holes = Image.new("L", img.size, 0)
    holes.putdata([255 if p == KEY_GREY else 0 for p in img.getdata()])
    img.paste(checker, (0, 0), holes)
    return img


# --------------------------------------------------------------------------
# dialog background (GIF with a transparent outline)

DIALOG_SIZE = (581, 317)
DIALOG_RADIUS = 16
DIALOG_TRANSPARENT = 255


def draw_dialog(scale=100):
    """RGB picture plus the mask of its opaque pixels.  At 200 % every length doubles, for the
    dialogs on displays at 150 % and more, which would otherwise stretch the 100 % picture."""
    k = scale // 100
    w, h = scaled_size(DIALOG_SIZE, scale)
    mask = card_mask((w, h), (0, 0, w - 1, h - 1), DIALOG_RADIUS * k)
    # The windows are stretched with plain StretchBlt, which drops whole rows
    # and columns when shrinking to 321x201; a 2-px outline survives that.
    edge = (84, 98, 130)
    img = vertical_gradient((w, h), (250, 251, 254), (236, 240, 248))
    header = vertical_gradient((w, 26 * k), (226, 235, 250), (234, 240, 251))
    img.paste(header, (0, 0))
    dr = ImageDraw.Draw(img)
    dr.rectangle((0, 26 * k, w - 1, 27 * k - 1), fill=(204, 214, 234))
    dr.rectangle((0, 0, w - 1, 5 * k - 1), fill=(46, 90, 190))  # accent band under the rim
    inner = card_mask((w, h), (2 * k, 2 * k, w - 1 - 2 * k, h - 1 - 2 * k), (DIALOG_RADIUS - 2) * k)
    img.paste(edge, (0, 0), ImageChops.invert(inner))
    return img, mask


def lzw_encode(indices, min_code_size=8):
    """GIF-flavoured LZW, variable width, restarting when the table fills."""
    clear = 1 << min_code_size
    stop = clear + 1
    out = bytearray()
    acc = nbits = 0

    def emit(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    width = min_code_size + 1
    table = {}
    next_code = stop + 1
    emit(clear, width)
    prefix = indices[0]
    for k in indices[1:]:
        key = (prefix << 8) | k
        code = table.get(key)
        if code is not None:
            prefix = code
            continue
        emit(prefix, width)
        if next_code < 4096:
            table[key] = next_code
            next_code += 1
            # The decoder adds its entry one code later, so it widens when
            # the next free code has gone *past* the current range.
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table = {}
            next_code = stop + 1
            width = min_code_size + 1
        prefix = k
    emit(prefix, width)
    # Reading that last code, the decoder catches up with our table.
    if next_code >= (1 << width) and width < 12:
        width += 1
    emit(stop, width)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def write_gif(path, img, mask, transparent=DIALOG_TRANSPARENT):
    """Single-frame GIF89a, 256-entry global table, one transparent index."""
    w, h = img.size
    colours = sorted(set(p for p, m in zip(img.getdata(), mask.getdata()) if m))
    if len(colours) > 255:
        raise RuntimeError("dialog picture uses %d colours" % len(colours))
    index = {c: i for i, c in enumerate(colours)}
    palette = colours + [(0, 0, 0)] * (256 - len(colours))
    # Whatever ignores the transparency flag still paints the dialogs' key red.
    palette[transparent] = KEY_RED
    pixels = bytes(index[p] if m else transparent for p, m in zip(img.getdata(), mask.getdata()))

    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", w, h, 0x80 | (7 << 4) | 7, transparent, 0)
    for c in palette:
        data += bytes(c)
    data += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 0x01, 0, transparent, 0)
    data += struct.pack("<BHHHHB", 0x2C, 0, 0, w, h, 0)
    data.append(8)
    code = lzw_encode(pixels)
    for i in range(0, len(code), 255):
        chunk = code[i:i + 255]
        data.append(len(chunk))
        data += chunk
    data += b"\x00\x3b"
    with open(path, "wb") as f:
        f.write(data)


# --------------------------------------------------------------------------
# cursor and icons (ICO/CUR written by hand: Pillow cannot make DIB entries)

HAND = [
    "     XX",
    "    X..X",
    "    X..X",
    "    X..X",
    "    X..X",
    "    X..XXX",
    "    X..X..XXX",
    "    X..X..X..XX",
    "    X..X..X..X.X",
    " XX X..X..X..X.X",
    "X..XX..X..X..X.X",
    "X...X..........X",
    " X..X..........X",
    " X.............X",
    "  X............X",
    "  X...........X",
    "   X..........X",
    "   X..........X",
    "    X........X",
    "    X........X",
    "    X........X",
    "    XXXXXXXXXX",
]
HAND_HOTSPOT = (5, 0)


def dib_1bit_cursor(rows, size=32):
    """Monochrome DIB: XOR plane picks black/white, AND plane cuts the shape."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = b"\x00\x00\x00\x00\xff\xff\xff\x00"
    xor = bytearray()
    and_ = bytearray()
    for y in range(size - 1, -1, -1):               # bottom-up
        line = rows[y] if y < len(rows) else ""
        xbits = abits = 0
        for x in range(size):
            ch = line[x] if x < len(line) else " "
            xbits = (xbits << 1) | (1 if ch == "." else 0)
            abits = (abits << 1) | (1 if ch == " " else 0)
        xor += struct.pack(">I", xbits)
        and_ += struct.pack(">I", abits)
    return header + palette + bytes(xor) + bytes(and_)


def and_mask(alpha, threshold):
    """1-bpp AND plane, bottom-up, rows padded to 32 bits."""
    w, h = alpha.size
    a = alpha.load()
    stride = (w + 31) // 32 * 4
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if a[x, y] < threshold:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def dib_entry(img, bits):
    """BITMAPINFOHEADER + XOR plane + AND plane from an RGBA image."""
    w, h = img.size
    r, g, b, a = img.split()
    if bits == 24:
        opaque = a.point(lambda v: 255 if v >= 128 else 0)
        black = Image.new("RGB", img.size, 0)
        rgb = Image.composite(Image.merge("RGB", (r, g, b)), black, opaque)
        raw = rgb.transpose(Image.FLIP_TOP_BOTTOM).tobytes("raw", "BGR")
        stride = (w * 3 + 3) // 4 * 4
        xor = b"".join(raw[y * w * 3:(y + 1) * w * 3].ljust(stride, b"\0") for y in range(h))
        mask = and_mask(a, 128)
    elif bits == 32:
        xor = img.transpose(Image.FLIP_TOP_BOTTOM).tobytes("raw", "BGRA")
        mask = and_mask(a, 1)
    else:
        raise ValueError(bits)
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def write_icon_file(path, entries, kind=1):
    """entries: (width, height, colour_count, planes_or_hotx, bits_or_hoty, blob)."""
    out = bytearray(struct.pack("<HHH", 0, kind, len(entries)))
    offset = 6 + 16 * len(entries)
    for w, h, ncol, f1, f2, blob in entries:
        out += struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, ncol, 0, f1, f2, len(blob), offset)
        offset += len(blob)
    for entry in entries:
        out += entry[5]
    with open(path, "wb") as f:
        f.write(out)


# Entries this large are stored PNG-compressed, as Windows reads them since Vista; a 256-pixel
# DIB is a quarter of a megabyte in the program file.  Smaller entries stay plain DIBs, which
# every loader reads.
PNG_ENTRY_SIZE = 256


def png_entry(img):
    """The RGBA image as PNG bytes; Pillow writes no time chunk, so the bytes are repeatable."""
    out = io.BytesIO()
    img.convert("RGBA").save(out, "PNG", optimize=True)
    return out.getvalue()


def write_icon(path, images, bits):
    write_icon_file(path, [(im.size[0], im.size[1], 0, 1, bits,
                            png_entry(im) if im.size[0] >= PNG_ENTRY_SIZE else dib_entry(im, bits))
                           for im in images])


def write_cursor(path):
    blob = dib_1bit_cursor(HAND)
    write_icon_file(path, [(32, 32, 2, HAND_HOTSPOT[0], HAND_HOTSPOT[1], blob)], kind=2)


ICON_TOP = (58, 118, 232)           # same blue family as the widget card
ICON_BOTTOM = (44, 52, 160)


def squircle(size, s, inset=0.0):
    """Supersampled rounded-square tile with the icon gradient; RGBA."""
    S = size * s
    pad = int(round(max(1, size * 0.03 + inset) * s)) if size > 16 else int(round(inset * s))
    img = vertical_gradient((S, S), ICON_TOP, ICON_BOTTOM).convert("RGBA")
    alpha = Image.new("L", (S, S), 0)
    ImageDraw.Draw(alpha).rounded_rectangle((pad, pad, S - 1 - pad, S - 1 - pad),
                                            radius=int(S * 0.2), fill=255)
    # A gentle sheen over the top half.
    sheen = Image.new("L", (S, S), 0)
    ImageDraw.Draw(sheen).ellipse((-S // 2, -S * 3 // 4, S * 3 // 2, S * 9 // 20), fill=30)
    sheen = sheen.filter(ImageFilter.GaussianBlur(S / 24.0))
    img.paste((255, 255, 255, 255), (0, 0), ImageChops.multiply(sheen, alpha))
    img.putalpha(alpha)
    return img


def finish(img, s, hard):
    """Downsample; for 24-bit icons snap alpha to 0/255 without a dark fringe."""
    small = img.resize((img.size[0] // s, img.size[1] // s), Image.BOX)
    if not hard:
        return small
    # Box filtering premultiplies nothing, so edge colours are already the
    # tile's own; just cut the alpha.
    r, g, b, a = small.split()
    return Image.merge("RGBA", (r, g, b, a.point(lambda v: 255 if v >= 128 else 0)))


def paste_ink(img, layer, colour):
    img.paste(colour + (255,), (0, 0), layer)


def kao_icon(size, hard=True):
    """The widget: blue tile with a bold white 考 (the exam)."""
    if size <= 16:
        # Small sizes: the Sharp face's hand-tuned bitmap, one pixel bolder.
        img = squircle(size, 4)
        img = finish(img, 4, hard)
        f = font(CJK_FONT, 13, index=2)
        layer = Image.new("L", (size, size), 0)
        ImageDraw.Draw(layer).text((size // 2, size // 2), "考", font=f, fill=255, anchor="mm")
        layer = ImageChops.lighter(layer, shift(layer, 1, 0))
        l, t, r, b = layer.getbbox()
        layer = shift(layer, (size - r - l) // 2, (size - b - t) // 2)
        paste_ink(img, layer, (255, 255, 255))
        return img
    s = 4
    S = size * s
    img = squircle(size, s)
    layer = Image.new("L", (S, S), 0)
    f = cjk(int(S * 0.66))
    ImageDraw.Draw(layer).text((S // 2, S // 2 + S // 40), "考", font=f, fill=255, anchor="mm",
                               stroke_width=max(s, S // 48), stroke_fill=255)
    shadow = shift(layer, 0, S // 48).filter(ImageFilter.GaussianBlur(S / 96.0))
    img.paste((16, 24, 90, 255), (0, 0), ImageChops.multiply(shadow.point(lambda v: v * 3 // 5),
                                                             img.getchannel("A")))
    paste_ink(img, layer, (255, 255, 255))
    return finish(img, s, hard)


def download_icon(size=64):
    """The download window: white arrow dropping into a tray."""
    s = 4
    S = size * s
    img = squircle(size, s)
    u = S / 64.0
    layer = Image.new("L", (S, S), 0)
    d = ImageDraw.Draw(layer)
    d.rounded_rectangle((27 * u, 11 * u, 37 * u, 34 * u), radius=2 * u, fill=255)      # shaft
    d.polygon([(16 * u, 30 * u), (48 * u, 30 * u), (32 * u, 46 * u)], fill=255)          # head
    d.rounded_rectangle((13 * u, 41 * u, 18 * u, 53 * u), radius=2 * u, fill=255)      # tray
    d.rounded_rectangle((46 * u, 41 * u, 51 * u, 53 * u), radius=2 * u, fill=255)
    d.rounded_rectangle((13 * u, 48 * u, 51 * u, 53 * u), radius=2 * u, fill=255)
    shadow = shift(layer, 0, int(u)).filter(ImageFilter.GaussianBlur(u))
    img.paste((16, 24, 90, 255), (0, 0), ImageChops.multiply(shadow.point(lambda v: v * 3 // 5),
                                                             img.getchannel("A")))
    paste_ink(img, layer, (255, 255, 255))
    return finish(img, s, True)


def setup_icon(size):
    """jw: a parcel with a green tick badge -- 'installed and ready'."""
    s = 4 if size < 128 else 2
    S = size * s
    img = squircle(size, s)
    u = S / 64.0
    # An isometric carton: three faces in three tints of white, tape on top.
    top, left, right = (30, 9), (10, 19), (50, 19)
    mid, bl, br, bottom = (30, 29), (10, 42), (50, 42), (30, 52)
    pts = lambda *p: [(x * u, y * u) for x, y in p]
    outline = Image.new("L", (S, S), 0)
    ImageDraw.Draw(outline).polygon(pts(top, right, br, bottom, bl, left), fill=255)
    shadow = shift(outline, 0, int(u)).filter(ImageFilter.GaussianBlur(u))
    img.paste((16, 24, 90, 255), (0, 0), ImageChops.multiply(shadow.point(lambda v: v * 3 // 5),
                                                             img.getchannel("A")))
    d = ImageDraw.Draw(img)
    d.polygon(pts(top, right, mid, left), fill=(232, 239, 255, 255))
    d.polygon(pts(left, mid, bottom, bl), fill=(255, 255, 255, 255))
    d.polygon(pts(mid, right, br, bottom), fill=(196, 211, 246, 255))
    d.polygon(pts((17, 15.5), (22, 13), (42, 23), (37, 25.5)), fill=(168, 190, 238, 255))
    # Badge in the lower right, ringed in the tile colour so it reads as
    # sitting on top.
    cx, cy, r = 48 * u, 48 * u, 12 * u
    d = ImageDraw.Draw(img)
    d.ellipse((cx - r - 2 * u, cy - r - 2 * u, cx + r + 2 * u, cy + r + 2 * u), fill=ICON_BOTTOM + (255,))
    d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=(40, 176, 90, 255))
    d.line([(cx - 6 * u, cy), (cx - 2 * u, cy + 4 * u), (cx + 6 * u, cy - 4 * u)],
           fill=(255, 255, 255, 255), width=int(round(3 * u)), joint="curve")
    return finish(img, s, False)


# --------------------------------------------------------------------------
# read-back checks

class CheckFailed(Exception):
    pass


def require(cond, what):
    if not cond:
        raise CheckFailed(what)


def jpeg_is_baseline(data):
    """Walk the marker segments up to the frame header; SOF0 means baseline."""
    require(data[:2] == b"\xff\xd8", "not a JPEG")
    i = 2
    while i + 4 <= len(data):
        require(data[i] == 0xFF, "broken JPEG marker chain")
        marker = data[i + 1]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            return marker == 0xC0
        i += 2 + struct.unpack(">H", data[i + 2:i + 4])[0]
    raise CheckFailed("JPEG without a frame header")


def check_jpeg(path, size):
    name = os.path.relpath(path, ROOT)
    with open(path, "rb") as f:
        data = f.read()
    require(jpeg_is_baseline(data), name + ": not baseline JPEG")
    with Image.open(path) as im:
        require(im.format == "JPEG" and im.size == size, "%s: %s %s" % (name, im.format, im.size))
        im = im.convert("RGB")
        require(not near_key_grey(im, JPEG_KEY_MARGIN), name + ": decodes to (near) key grey")
        return im


def check_digits(scale=100):
    pics = [check_jpeg(os.path.join(ART, scaled_name("digit%d.jpg" % d, scale)), scaled_size(DIGIT_SIZE, scale))
            for d in range(10)]
    # The UI tests recognise digits by comparing screen pixels with these
    # files, so every pair must differ clearly, not just in JPEG noise.
    for a in range(10):
        for b in range(a + 1, 10):
            diff = ImageChops.difference(pics[a], pics[b]).convert("L")
            changed = sum(1 for v in diff.getdata() if v > 48)
            require(changed > 300, "digit%d and digit%d differ in only %d pixels" % (a, b, changed))
    # White on dark: the glyph must be the brightest thing on the tile.
    for d, im in enumerate(pics):
        lo, hi = im.convert("L").getextrema()
        require(hi >= 235 and lo <= 60, "digit%d contrast %d..%d" % (d, lo, hi))


def parse_gif(data, size=DIALOG_SIZE):
    require(data[:6] == b"GIF89a", "back.gif: header is %r" % data[:6])
    w, h, packed, _bg, _ratio = struct.unpack("<HHBBB", data[6:13])
    require((w, h) == size, "back.gif: %dx%d" % (w, h))
    require(packed & 0x80 and packed & 7 == 7, "back.gif: global table flag/size %02x" % packed)
    palette = [tuple(data[13 + 3 * i:16 + 3 * i]) for i in range(256)]
    i = 13 + 768
    images = 0
    transparent = None
    while True:
        require(i < len(data), "back.gif: runs off the end")
        tag = data[i]
        if tag == 0x3B:
            break
        if tag == 0x21:
            label = data[i + 1]
            if label == 0xF9:
                require(data[i + 2] == 4, "back.gif: odd GCE size")
                flags, _delay, index = struct.unpack("<BHB", data[i + 3:i + 7])
                if flags & 1:
                    transparent = index
            i += 2
        elif tag == 0x2C:
            images += 1
            _x, _y, iw, ih, ipacked = struct.unpack("<HHHHB", data[i + 1:i + 10])
            require((iw, ih) == size and not ipacked & 0x80,
                    "back.gif: frame %dx%d, local table %d" % (iw, ih, ipacked >> 7))
            i += 11                                   # descriptor + LZW minimum code size
        else:
            raise CheckFailed("back.gif: unexpected block %02x" % tag)
        while data[i]:                                # sub-blocks
            i += 1 + data[i]
        i += 1
    require(images == 1, "back.gif: %d frames" % images)
    require(transparent == DIALOG_TRANSPARENT, "back.gif: transparent index %r" % transparent)
    return palette


def check_dialog(expected_rgb, expected_mask, scale=100):
    path = os.path.join(ART, scaled_name("back.gif", scale))
    size = scaled_size(DIALOG_SIZE, scale)
    with open(path, "rb") as f:
        palette = parse_gif(f.read(), size)
    with Image.open(path) as im:
        require(im.mode == "P" and getattr(im, "n_frames", 1) == 1, "back.gif: Pillow sees %s" % im.mode)
        require(im.info.get("transparency") == DIALOG_TRANSPARENT, "back.gif: Pillow transparency")
        idx = list(im.getdata())
    # Decoding our own LZW back to the exact picture is the real test of it.
    want_rgb = list(expected_rgb.getdata())
    for n, (i, m) in enumerate(zip(idx, expected_mask.getdata())):
        if not m:
            require(i == DIALOG_TRANSPARENT, "back.gif: pixel %d should be clear" % n)
        else:
            require(i != DIALOG_TRANSPARENT and palette[i] == want_rgb[n],
                    "back.gif: pixel %d decodes wrong" % n)
            require(palette[i] != KEY_RED, "back.gif: key red in the card")
    w, h = size
    require(idx[0] == idx[w - 1] == idx[-1] == idx[-w] == DIALOG_TRANSPARENT, "back.gif: corners")
    require(idx[(h // 2) * w + w // 2] != DIALOG_TRANSPARENT, "back.gif: centre")


def parse_icon_dir(path, kind):
    with open(path, "rb") as f:
        data = f.read()
    name = os.path.relpath(path, ROOT)
    reserved, typ, count = struct.unpack("<HHH", data[:6])
    require(reserved == 0 and typ == kind, "%s: type %d" % (name, typ))
    entries = []
    for n in range(count):
        w, h, ncol, _r, f1, f2, size, offset = struct.unpack("<BBBBHHII", data[6 + 16 * n:22 + 16 * n])
        w, h = w or 256, h or 256
        blob = data[offset:offset + size]
        require(len(blob) == size, "%s: entry %d truncated" % (name, n))
        if blob[:8] == b"\x89PNG\r\n\x1a\n":
            entries.append(dict(w=w, h=h, f1=f1, f2=f2, png=True, bits=None, blob=blob))
            continue
        hsize, bw, bh, planes, bits = struct.unpack("<IiiHH", blob[:16])
        require(hsize == 40 and (bw, bh) == (w, 2 * h) and planes == 1,
                "%s: entry %d header %d %dx%d" % (name, n, hsize, bw, bh))
        colours = 4 * (1 << bits) if bits <= 8 else 0
        xor = (w * bits + 31) // 32 * 4 * h
        and_ = (w + 31) // 32 * 4 * h
        require(size == 40 + colours + xor + and_, "%s: entry %d is %d bytes" % (name, n, size))
        entries.append(dict(w=w, h=h, f1=f1, f2=f2, png=False, bits=bits, blob=blob))
    return entries


def check_icon(fname, sizes, bits, first=None):
    path = os.path.join(ART, fname)
    entries = parse_icon_dir(path, 1)
    require(sorted(e["w"] for e in entries) == sorted(sizes), "%s: sizes %s" % (fname, [e["w"] for e in entries]))
    for e in entries:
        require(e["w"] == e["h"] and e["png"] == (e["w"] >= PNG_ENTRY_SIZE),
                "%s: %d entry (PNG: %s)" % (fname, e["w"], e["png"]))
        if e["png"]:
            with Image.open(io.BytesIO(e["blob"])) as im:
                require(im.size == (e["w"], e["h"]) and im.mode == "RGBA",
                        "%s: %d PNG entry is %s %s" % (fname, e["w"], im.size, im.mode))
            require(e["f2"] == bits and e["f1"] == 1, "%s: %d PNG entry directory" % (fname, e["w"]))
            continue
        require(e["bits"] == bits and e["f2"] == bits and e["f1"] == 1,
                "%s: %d entry: %s bits in the bitmap, %d in the directory" % (fname, e["w"], e["bits"], e["f2"]))
    if first:
        require(entries[0]["w"] == first, "%s: first entry is %d" % (fname, entries[0]["w"]))
    with Image.open(path) as im:                      # an independent reader agrees
        require(im.format == "ICO", fname + ": Pillow cannot read it")
        for sz in sizes:
            im.size = (sz, sz)
            im.load()


def check_cursor():
    path = os.path.join(ART, "link.cur")
    (e,) = parse_icon_dir(path, 2)
    require((e["w"], e["h"], e["bits"]) == (32, 32, 1), "link.cur: entry %s" % e)
    require((e["f1"], e["f2"]) == HAND_HOTSPOT, "link.cur: hotspot %d,%d" % (e["f1"], e["f2"]))
    # The hot spot must be on the fingertip (opaque), not in thin air.
    and_plane = e["blob"][40 + 8 + 128:]
    x, y = HAND_HOTSPOT
    row = and_plane[(31 - y) * 4:(32 - y) * 4]
    require(not row[x >> 3] & (0x80 >> (x & 7)), "link.cur: hot spot is transparent")


def check_widget_back(scale=100):
    path = scaled_name(WIDGET_BACK, scale)
    with open(path, "rb") as f:
        data = f.read()
    require(data[:8] == b"\x89PNG\r\n\x1a\n", "back.png: not a PNG")
    require(b"tIME" not in data, "back.png: carries a time chunk")
    with Image.open(path) as im:
        require(im.size == scaled_size(WIDGET_SIZE, scale) and im.mode == "RGB",
                "back.png at %d %%: %s %s" % (scale, im.size, im.mode))
        im = im.copy()
    w, h = im.size
    key = set(y * w + x for x, y in find_colour(im, KEY_GREY))
    # Flood from the border: every key pixel must be desktop, i.e. reachable.
    seen = set(p for p in key if p % w in (0, w - 1) or p // w in (0, h - 1))
    stack = list(seen)
    while stack:
        p = stack.pop()
        x, y = p % w, p // w
        for q in ((p - 1) if x else -1, (p + 1) if x < w - 1 else -1, p - w, p + w):
            if q in key and q not in seen:
                seen.add(q)
                stack.append(q)
    require(len(seen) == len(key), "back.png: %d see-through pixels inside the card" % (len(key) - len(seen)))
    require(key, "back.png: no see-through outline at all")
    for panel in (YEAR_PANEL, DAY_PANEL, MOTTO_PANEL, (WIDGET_SIZE[0] // 2 - 20, WIDGET_SIZE[1] // 2 - 20, 40, 40)):
        x, y, pw, ph = (at_scale(v, scale) for v in panel)
        for yy in range(y - 6, y + ph + 6):
            for xx in range(x - 6, x + pw + 6):
                require(yy * w + xx not in key, "back.png: see-through at %d,%d" % (xx, yy))


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


# --------------------------------------------------------------------------

def main(argv):
    preview = None
    if len(argv) >= 2 and argv[0] == "--preview":
        preview = argv[1]
    elif argv:
        print("usage: make_art.py [--preview FILE]", file=sys.stderr)
        return 2

    os.makedirs(ART, exist_ok=True)
    os.makedirs(os.path.dirname(WIDGET_BACK), exist_ok=True)

    for scale in SCALES:
        for d in range(10):
            save_jpeg_keysafe(draw_digit(d, scale), os.path.join(ART, scaled_name("digit%d.jpg" % d, scale)))
        save_jpeg_keysafe(draw_daypanel(scale), os.path.join(ART, scaled_name("daypanel.jpg", scale)))
        save_jpeg_keysafe(draw_motto(scale), os.path.join(ART, scaled_name("motto.jpg", scale)))

    dialogs = {scale: draw_dialog(scale) for scale in (100, 200)}
    for scale, (dialog, dialog_mask) in dialogs.items():
        write_gif(os.path.join(ART, scaled_name("back.gif", scale)), dialog, dialog_mask)

    write_cursor(os.path.join(ART, "link.cur"))
    # 64 first: the window asks for its icon at that size, and a loader that
    # just takes the first entry gets it too.
    write_icon(os.path.join(ART, "tolm.ico"), [kao_icon(n) for n in (64, 48, 32, 16)], 24)
    write_icon(os.path.join(ART, "download.ico"), [download_icon(64)], 24)
    write_icon(os.path.join(ART, "jw.ico"), [setup_icon(n) for n in (256, 128, 64, 48, 32, 16)], 32)

    for scale in SCALES:
        draw_widget_back(scale).save(scaled_name(WIDGET_BACK, scale), "PNG", optimize=True)

    if preview:
        with Image.open(WIDGET_BACK) as b:
            compose_preview(b, [Image.open(os.path.join(ART, "digit%d.jpg" % d)).convert("RGB")
                                for d in range(10)],
                            Image.open(os.path.join(ART, "daypanel.jpg")).convert("RGB"),
                            Image.open(os.path.join(ART, "motto.jpg")).convert("RGB")).save(preview)

    try:
        for scale in SCALES:
            check_digits(scale)
            check_jpeg(os.path.join(ART, scaled_name("daypanel.jpg", scale)), scaled_size((256, 91), scale))
            check_jpeg(os.path.join(ART, scaled_name("motto.jpg", scale)), scaled_size((447, 85), scale))
            check_widget_back(scale)
        for scale, (dialog, dialog_mask) in dialogs.items():
            check_dialog(dialog, dialog_mask, scale)
        check_cursor()
        check_icon("tolm.ico", (16, 32, 48, 64), 24, first=64)
        check_icon("download.ico", (64,), 24)
        check_icon("jw.ico", (16, 32, 48, 64, 128, 256), 32)
    except (CheckFailed, OSError, SyntaxError, struct.error) as e:   # Pillow's "unreadable" errors
        print("make_art: check failed: %s" % e, file=sys.stderr)
        return 1

    outputs = sorted(os.path.join("art", n) for n in os.listdir(ART)) + sorted(
        os.path.join("tolm", "ui", n) for n in os.listdir(os.path.dirname(WIDGET_BACK)))
    for rel in outputs:
        print("%s  %s" % (sha(os.path.join(ROOT, rel)), rel))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
