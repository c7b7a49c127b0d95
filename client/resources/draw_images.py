#!/usr/bin/env python3
"""Draws the client's icons and bitmaps as SVG files and writes the Qt
resource file that compiles them in. Run it again after changing a picture:

    python3 client/resources/draw_images.py

Icons are images/icon_<id>.svg, bitmaps images/bitmap_<id>.svg, where <id> is
the resource number of resource.h."""

import os

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "images")

# Colours of the product: slate blue frame, warm grey panels, signal colours.
BLUE = "#2f5d8a"
LIGHT = "#e3e1da"
GREEN = "#2e8b57"
RED = "#c0392b"
AMBER = "#d68910"
GREY = "#7f8c8d"
WHITE = "#ffffff"
DARK = "#2c3e50"


def svg(w, h, body):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
            'viewBox="0 0 %d %d">\n%s\n</svg>\n' % (w, h, w, h, body))


def tile(color, body, size=32):
    """A rounded square of `color` with `body` drawn on a 32-unit grid."""
    s = size / 32.0
    return svg(size, size,
               '<g transform="scale(%g)"><rect x="1" y="1" width="30" height="30" rx="6" '
               'fill="%s"/>%s</g>' % (s, color, body))


HANDSET = ('<path d="M9 7c2-1 3 0 4 2l1 3c0 1-1 2-2 3 1 3 3 5 6 6 1-1 2-2 3-2l3 1'
           'c2 1 3 2 2 4l-1 2c-1 1-3 2-5 1-6-2-11-7-13-13-1-2 0-4 2-5z" fill="%s"/>')


def handset(color=WHITE, dx=0, dy=0, scale=1.0):
    return '<g transform="translate(%g %g) scale(%g)">%s</g>' % (dx, dy, scale, HANDSET % color)


def text(x, y, t, size=12, color=WHITE, weight="bold"):
    return ('<text x="%g" y="%g" font-family="sans-serif" font-size="%g" font-weight="%s" '
            'fill="%s" text-anchor="middle">%s</text>' % (x, y, size, weight, color, t))


ENVELOPE = ('<rect x="6" y="9" width="20" height="14" rx="1" fill="%s"/>'
            '<path d="M6 10l10 8 10-8" stroke="%s" stroke-width="2" fill="none"/>')
PERSON = ('<circle cx="16" cy="11" r="5" fill="%s"/>'
          '<path d="M6 27c0-6 4-9 10-9s10 3 10 9z" fill="%s"/>')
FOLDER = ('<path d="M4 9h9l2 3h13v13H4z" fill="%s"/>')
FOLDER_OPEN = ('<path d="M4 9h9l2 3h11v3H9l-5 10z" fill="%s"/><path d="M9 15h20l-5 10H4z" fill="%s"/>')
CALENDAR = ('<rect x="6" y="8" width="20" height="18" rx="2" fill="%s"/>'
            '<rect x="6" y="8" width="20" height="5" fill="%s"/>'
            '<path d="M10 17h3M15 17h3M20 17h3M10 21h3M15 21h3" stroke="%s" stroke-width="2"/>')
CROSS = '<path d="M10 10l12 12M22 10L10 22" stroke="%s" stroke-width="4" stroke-linecap="round"/>'
ARROW_RIGHT = '<path d="M7 16h14M16 10l6 6-6 6" stroke="%s" stroke-width="3.5" fill="none" stroke-linecap="round" stroke-linejoin="round"/>'
ARROW_LEFT = '<path d="M25 16H11M16 10l-6 6 6 6" stroke="%s" stroke-width="3.5" fill="none" stroke-linecap="round" stroke-linejoin="round"/>'
PAUSE = '<rect x="10" y="9" width="4" height="14" fill="%s"/><rect x="18" y="9" width="4" height="14" fill="%s"/>'
KEYPAD = ''.join('<rect x="%d" y="%d" width="5" height="4" rx="1" fill="%%s"/>' % (8 + 6 * c, 6 + 5 * r)
                 for r in range(4) for c in range(3))
STAR = '<path d="M16 5l3.2 7 7.6.8-5.7 5.1 1.6 7.5L16 21.6 9.3 25.4l1.6-7.5-5.7-5.1 7.6-.8z" fill="%s"/>'
RECORD = '<circle cx="16" cy="16" r="8" fill="%s"/>'
STOP = '<rect x="9" y="9" width="14" height="14" rx="2" fill="%s"/>'
CLOCK = ('<circle cx="16" cy="16" r="10" fill="none" stroke="%s" stroke-width="2.5"/>'
         '<path d="M16 10v6l4 3" stroke="%s" stroke-width="2.5" fill="none" stroke-linecap="round"/>')
HASH = '<path d="M12 7l-2 18M21 7l-2 18M7 12h19M6 20h19" stroke="%s" stroke-width="2.5"/>'
MONITOR = ('<path d="M7 13h5l6-5v16l-6-5H7z" fill="%s"/>'
           '<path d="M21 11c2 3 2 7 0 10M24 8c4 5 4 11 0 16" stroke="%s" stroke-width="2" fill="none"/>')
CONFERENCE = ('<circle cx="10" cy="12" r="4" fill="%s"/><circle cx="22" cy="12" r="4" fill="%s"/>'
              '<circle cx="16" cy="19" r="4" fill="%s"/><path d="M8 28c0-4 3-6 8-6s8 2 8 6z" fill="%s"/>')
CALLBACK = ('<path d="M22 9a8 8 0 1 0 2 9" stroke="%s" stroke-width="3" fill="none"/>'
            '<path d="M18 5l6 4-6 4z" fill="%s"/>')


def w(t, n):
    return t % tuple([WHITE] * n)


ICONS = {
    128: tile(BLUE, handset() + '<circle cx="24" cy="8" r="4" fill="%s"/>' % AMBER),  # application
    141: tile(BLUE, w(PERSON, 2)),                                      # my status
    145: tile(BLUE, ENVELOPE % (WHITE, BLUE)),                          # e-mail
    146: tile("#1f6fb2", CALENDAR % (WHITE, AMBER, BLUE)),               # PIM program
    149: tile(RED, w(CROSS, 1)),                                         # exit
    155: tile(GREEN, handset()),                                        # station idle
    157: tile(LIGHT, FOLDER % AMBER + PERSON.replace('cx="16" cy="11" r="5"', 'cx="16" cy="16" r="3"').replace(
        'M6 27c0-6 4-9 10-9s10 3 10 9z', 'M11 24c0-3 2-4 5-4s5 1 5 4z') % (BLUE, BLUE)),  # contact folder
    158: tile(LIGHT, FOLDER_OPEN % (AMBER, "#f5b041")),                 # contact folder, selected
    166: tile(BLUE, '<rect x="6" y="8" width="20" height="16" fill="none" stroke="%s" stroke-width="2.5"/>'
         '<rect x="6" y="8" width="20" height="4" fill="%s"/>' % (WHITE, WHITE)),  # show main window
    167: tile(GREY, w(CROSS, 1)),                                        # close popup
    169: tile(RED, handset()),                                          # station busy
    172: tile(AMBER, '<circle cx="16" cy="16" r="9" fill="%s"/><rect x="10" y="14" width="12" height="4" fill="%s"/>'
         % (WHITE, AMBER)),                                              # do not disturb
    173: tile(GREY, handset()),                                         # station in another state
    182: tile(AMBER, '<circle cx="16" cy="16" r="9" fill="%s"/><rect x="10" y="14" width="12" height="4" fill="%s"/>'
         % (WHITE, AMBER)),                                              # DND key
    184: tile(BLUE, handset(scale=0.7, dx=0, dy=6) + w(ARROW_RIGHT, 1).replace('M7 16h14', 'M12 10h12').replace(
        'M16 10l6 6-6 6', 'M19 5l5 5-5 5')),                            # forward key
    185: tile(BLUE, w(MONITOR, 2)),                                      # monitor key
    190: tile(AMBER, w(STAR, 1), 16),                                   # VIP contact
    191: tile(DARK, text(16, 22, "B", 18), 16),                         # black-listed contact
    192: tile(BLUE, w(PERSON, 2), 16),                                  # ordinary contact
    193: tile(LIGHT, FOLDER % AMBER, 16),                               # folder
    194: tile(LIGHT, CALENDAR % (WHITE, RED, GREY), 16),                # calendar folder
    195: tile(LIGHT, CALENDAR % ("#fdebd0", RED, DARK), 16),            # calendar folder, selected
    196: tile(GREEN, w(ARROW_LEFT, 1), 16),                             # answered incoming internal
    197: tile("#1e8449", w(ARROW_LEFT, 1) + '<rect x="22" y="4" width="6" height="6" fill="%s"/>' % AMBER, 16),
    199: tile(GREY, w(ARROW_LEFT, 1), 16),                              # log column: direction
    200: tile(RED, w(CROSS, 1) + '<rect x="22" y="4" width="6" height="6" fill="%s"/>' % AMBER, 16),
    201: tile(RED, w(CROSS, 1), 16),                                    # not answered internal
    202: tile(BLUE, w(ARROW_RIGHT, 1) + '<rect x="22" y="4" width="6" height="6" fill="%s"/>' % AMBER, 16),
    203: tile(BLUE, w(ARROW_RIGHT, 1), 16),                             # answered outgoing internal
    204: tile(GREY, w(CLOCK, 2), 16),                                   # log column: duration
    205: tile(GREY, handset(), 16),                                     # log column: answered
    207: tile(LIGHT, RECORD % RED),                                      # recording on
    208: tile(LIGHT, STOP % DARK),                                       # recording off
    210: tile(BLUE, KEYPAD % tuple([WHITE] * 12)),                       # keypad key
    211: tile(BLUE, w(CALLBACK, 2)),                                     # call-back key
    213: tile(BLUE, handset() + '<circle cx="24" cy="8" r="4" fill="%s"/>' % GREEN),  # tray
    214: tile(BLUE, handset() + '<circle cx="24" cy="8" r="4" fill="%s"/>' % RED),    # tray, missed call
    215: tile(BLUE, w(PAUSE, 2)),                                        # hold key
    216: tile(BLUE, text(16, 23, "P", 20)),                              # park key
    217: tile(BLUE, w(ARROW_RIGHT, 1) + handset(scale=0.5, dx=0, dy=0)),  # transfer key
    218: tile(BLUE, w(CONFERENCE, 4)),                                   # conference key
    219: tile(LIGHT, handset(GREY)),                                    # station without line
    220: tile(GREEN, w(PERSON, 2) + '<path d="M24 4v8M20 8h8" stroke="%s" stroke-width="2.5"/>' % WHITE),
    222: tile(BLUE, w(HASH, 1)),                                         # shortcuts
}


def picture(wd, ht, color, body, frame=True):
    border = ('<rect x="0.5" y="0.5" width="%g" height="%g" rx="3" fill="%s" stroke="%s"/>'
              % (wd - 1, ht - 1, color, DARK)) if frame else ''
    return svg(wd, ht, border + body)


def call_picture(color, body):
    return picture(40, 32, color, '<g transform="translate(4 0)">%s</g>' % body)


BITMAPS = {
    136: call_picture(GREEN, handset() + text(27, 12, "ST", 8)),          # connected to a station
    144: picture(24, 24, LIGHT, '<rect x="5" y="4" width="14" height="6" fill="%s"/>'
                 '<rect x="3" y="10" width="18" height="8" rx="1" fill="%s"/>'
                 '<rect x="6" y="15" width="12" height="6" fill="%s"/>' % (WHITE, GREY, WHITE), False),
    148: call_picture(GREEN, handset() + text(27, 12, "CO", 8)),          # connected outside
    149: call_picture(AMBER, handset()),                                  # ringing or held inside
    150: call_picture(AMBER, handset() + text(27, 12, "CO", 8)),          # held outside
    162: call_picture(LIGHT, handset(GREY)),                              # idle
    163: picture(24, 24, LIGHT, '<rect x="4" y="7" width="16" height="10" fill="none" stroke="%s" stroke-width="2"/>'
                 % BLUE, False),                                          # to simple mode
    169: picture(20, 20, LIGHT, '<circle cx="10" cy="10" r="9" fill="%s"/>' % BLUE
                 + text(10, 15, "i", 14), False),                         # alert box
    197: picture(15, 14, WHITE, '<path d="M2 7h9M8 3l4 4-4 4" stroke="%s" stroke-width="2" fill="none"/>'
                 % BLUE, False),                                          # transfer (white is transparent)
    203: picture(192, 135, LIGHT, ''.join(
        '<rect x="%d" y="%d" width="44" height="22" rx="3" fill="%s"/>' % (8 + 46 * c, 8 + 26 * r, WHITE)
        + text(30 + 46 * c, 24 + 26 * r, k, 12, DARK)
        for r, row in enumerate([["F1", "F2", "F3", "F4"], ["Ctrl", "Tab", "Shift", "Enter"],
                                 ["H", "P", "U", "E"], ["+", "-", "5", "8"], ["Ins", "Del", "Esc", "K"]])
        for c, k in enumerate(row))),                                     # keyboard card
    204: picture(190, 23, LIGHT, text(95, 16, "Ctrl + H / P / U / E", 12, DARK)),
    205: picture(190, 25, LIGHT, text(95, 17, "Shift + Enter", 12, DARK)),
    215: picture(24, 24, LIGHT, '<rect x="2" y="4" width="20" height="16" fill="none" stroke="%s" stroke-width="2"/>'
                 '<rect x="2" y="4" width="20" height="4" fill="%s"/>' % (BLUE, BLUE), False),  # to normal mode
    223: call_picture(BLUE, handset() + text(27, 12, "~", 10)),          # dial tone
    224: call_picture(RED, handset()),                                    # busy
    226: picture(401, 301, BLUE,
                 '<rect x="20" y="20" width="361" height="261" rx="12" fill="%s"/>' % LIGHT
                 + handset(BLUE, 150, 40, 3.2)
                 + text(200, 200, "Caldra", 44, DARK)
                 + text(200, 240, "Velkor CTI desktop client", 16, GREY, "normal")),  # splash
    227: picture(88, 28, BLUE, handset(WHITE, 2, 2, 0.75) + text(55, 19, "Caldra", 14)),  # logo
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name in os.listdir(OUT):
        if name.endswith(".svg"):
            os.remove(os.path.join(OUT, name))
    files = []
    for kind, table in (("icon", ICONS), ("bitmap", BITMAPS)):
        for number, content in sorted(table.items()):
            name = "%s_%d.svg" % (kind, number)
            with open(os.path.join(OUT, name), "w", newline="\n") as f:
                f.write(content)
            files.append((kind, number, name))
    with open(os.path.join(HERE, "brisel.qrc"), "w", newline="\n") as f:
        f.write('<!DOCTYPE RCC>\n<RCC version="1.0">\n<qresource prefix="/">\n')
        for kind, number, name in files:
            f.write('    <file alias="%ss/%d.svg">images/%s</file>\n' % (kind, number, name))
        f.write('</qresource>\n</RCC>\n')


if __name__ == "__main__":
    main()
