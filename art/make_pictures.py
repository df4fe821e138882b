#!/usr/bin/env python3
"""Writes the drawing of every picture as an ImageMagick MVG file into art/pictures/.

The MVG files are the sources the build draws from (cmake/Artwork.cmake); this script is only
needed to change a picture. Coordinates are on a 16 x 16 grid in pixel edges: a filled
rectangle from 2,2 to 6,6 covers exactly pixels 2 to 5, and a one-unit line lies on x.5.
Run: python3 art/make_pictures.py
"""
import math
import os

BLUE, BLUE_D, BLUE_L = "#2d6cc0", "#1b4a8a", "#8fbbea"
GREEN, GREEN_D = "#36a03c", "#1f6e25"
AMBER, AMBER_D, SAND = "#f0a020", "#a86400", "#f6c35a"
RED, RED_D = "#d83a3a", "#9a1f1f"
GREY, GREY_D, GREY_L = "#9aa0a8", "#5f656d", "#d5d9de"
PAPER, PAPER_D, INK = "#ffffff", "#6b7280", "#8a93a0"
WHITE = "#ffffff"


def style(fill="none", stroke="none", width=1.0, cap="butt", join="miter"):
    return (f"fill {fill}\nstroke {stroke}\nstroke-width {width}\n"
            f"stroke-linecap {cap}\nstroke-linejoin {join}\n")


def rect(x0, y0, x1, y1, fill, stroke="none", width=1.0):
    return style(fill, stroke, width) + f"rectangle {x0},{y0} {x1},{y1}\n"


def rrect(x0, y0, x1, y1, r, fill, stroke="none", width=1.0):
    return style(fill, stroke, width) + f"roundrectangle {x0},{y0} {x1},{y1} {r},{r}\n"


def circle(cx, cy, r, fill, stroke="none", width=1.0):
    return style(fill, stroke, width) + f"circle {cx},{cy} {cx},{cy - r}\n"


def line(x0, y0, x1, y1, stroke, width=1.0, cap="round"):
    return style("none", stroke, width, cap) + f"line {x0},{y0} {x1},{y1}\n"


def poly(points, fill, stroke="none", width=1.0):
    pts = " ".join(f"{x:g},{y:g}" for x, y in points)
    return style(fill, stroke, width, join="round") + f"polygon {pts}\n"


def path(d, fill="none", stroke="none", width=1.0, cap="round"):
    return style(fill, stroke, width, cap, "round") + f"path '{d}'\n"


def clock(cx, cy, r, face, rim, hands, width=1.0):
    return (circle(cx, cy, r, face, rim, width)
            + line(cx, cy, cx, cy - r * 0.62, hands, 1.25)
            + line(cx, cy, cx + r * 0.5, cy, hands, 1.25))


def page(x0, y0, x1, y1, fold=3):
    return (poly([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)],
                 PAPER, PAPER_D)
            + poly([(x1 - fold, y0), (x1 - fold, y0 + fold), (x1, y0 + fold)], GREY_L, PAPER_D))


def text_lines(x0, x1, ys):
    return "".join(rect(x0, y, x1 - (i % 2) * 2, y + 1, INK) for i, y in enumerate(ys))


def person(cx, top, scale, fill, rim):
    r = 2.6 * scale
    return (circle(cx, top + r + 0.5, r, fill, rim)
            + path(f"M {cx - 5 * scale},{top + 12.5 * scale} "
                   f"C {cx - 5 * scale},{top + 6.5 * scale} {cx + 5 * scale},{top + 6.5 * scale} "
                   f"{cx + 5 * scale},{top + 12.5 * scale} Z", fill, rim))


def gear(cx, cy, outer, inner, hole, teeth, fill, rim):
    pts = []
    for i in range(teeth * 2):
        for k in (-0.28, 0.28):
            a = (i + 0.5 + k) * math.pi / teeth
            rr = outer if i % 2 == 0 else inner
            pts.append((round(cx + rr * math.cos(a), 2), round(cy + rr * math.sin(a), 2)))
    return poly(pts, fill, rim) + circle(cx, cy, hole, WHITE, rim)


def monitor(x0, y0, x1, y1):
    mid = (x0 + x1) / 2
    return (rect(mid - 1, y1, mid + 1, y1 + 1, GREY_D)
            + rect(mid - 4, y1 + 1, mid + 4, y1 + 2, GREY_D)
            + rrect(x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5, 1, GREY_D, GREY_D)
            + rect(x0 + 2, y0 + 2, x1 - 2, y1 - 2, BLUE_L))


def badge(sign, fill, rim):
    out = circle(12, 12, 4, fill, rim)
    out += rect(9.5, 11, 14.5, 13, WHITE)
    if sign == "+":
        out += rect(11, 9.5, 13, 14.5, WHITE)
    return out


def calendar(x0, y0, x1, y1):
    out = rect(x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5, PAPER, PAPER_D)
    out += rect(x0 + 1, y0 + 1, x1 - 1, y0 + 4, RED)
    for yy in range(int(y0) + 6, int(y1) - 1, 3):
        for xx in range(int(x0) + 2, int(x1) - 2, 3):
            out += rect(xx, yy, xx + 2, yy + 2, GREY)
    return out


def network_computer():
    return (monitor(2, 0, 14, 8)
            + line(8, 10.5, 8, 12.5, GREY_D, 1, "butt")
            + line(1, 13.5, 15, 13.5, GREY_D, 1, "butt")
            + rect(1, 12, 4, 15, BLUE) + rect(6.5, 12, 9.5, 15, BLUE) + rect(12, 12, 15, 15, BLUE))


PICTURES = {
    # The main icon list, index 0 to 18.
    "image01_about": circle(8, 8, 7, BLUE, BLUE_D)
    + rect(7, 3, 9, 5, WHITE) + rect(7, 6, 9, 13, WHITE),
    "image02_user": person(8, 1, 1.15, BLUE, BLUE_D),
    "image03_users": person(11, 1, 0.95, GREY, GREY_D) + person(6, 2.5, 1.05, BLUE, BLUE_D),
    "image04_daily_limits": calendar(0, 0, 13, 14) + clock(11.5, 11.5, 4, PAPER, BLUE_D, BLUE_D),
    "image05_calendar": rect(0.5, 1.5, 15.5, 15.5, PAPER, PAPER_D) + rect(1, 2, 15, 5, RED)
    + "".join(rect(2 + 2 * i, 14 - h, 3 + 2 * i, 14, RED if i == 5 else BLUE)
              for i, h in enumerate([4, 6, 3, 5, 4, 8, 6]))
    + line(1, 8.5, 15, 8.5, GREY_D, 1, "butt"),
    "image06_refresh": path("M 9.71,3.3 A 5,5 0 1,0 12.92,8.87", "none", GREEN, 2.2, "butt")
    + poly([(16, 9), (10, 9), (13, 4)], GREEN),
    "image07_preferences": gear(8, 8, 7.3, 5.2, 2.4, 8, GREY, GREY_D),
    "image08_bonus_more": clock(7, 7, 6, PAPER, BLUE_D, BLUE_D) + badge("+", GREEN, GREEN_D),
    "image09_bonus_less": clock(7, 7, 6, PAPER, BLUE_D, BLUE_D) + badge("-", RED, RED_D),
    "image10_report": page(2, 0.5, 14, 15.5)
    + text_lines(4, 12, [4, 6, 8]) + rect(4, 11, 6, 14, BLUE) + rect(7, 10, 9, 14, GREEN)
    + rect(10, 12, 12, 14, AMBER),
    "image11_row_time_left": circle(8, 8, 7, GREEN, GREEN_D)
    + line(8, 8, 8, 3.5, WHITE, 1.6) + line(8, 8, 11.5, 8, WHITE, 1.6),
    "image12_row_little_time": rect(3, 0.5, 13, 2.5, AMBER_D) + rect(3, 13.5, 13, 15.5, AMBER_D)
    + poly([(4, 2.5), (12, 2.5), (8.8, 8), (12, 13.5), (4, 13.5), (7.2, 8)], "#fff6e0", AMBER_D)
    + poly([(6.8, 5.5), (9.2, 5.5), (8, 7.3)], SAND)
    + poly([(4.8, 13.2), (11.2, 13.2), (8, 9.6)], AMBER),
    "image13_row_no_time": circle(8, 8, 7, RED, RED_D) + rect(3.5, 6.75, 12.5, 9.25, WHITE),
    "image14_row_not_monitored": clock(8, 8, 6.5, PAPER, "#7d838b", GREY)
    + line(2.5, 13.5, 13.5, 2.5, GREY_D, 1.8),
    "image15_view_log": page(1, 0.5, 12, 14.5) + text_lines(3, 10, [4, 6, 8, 10])
    + circle(10.5, 10.5, 3, "#e8f1fb", BLUE_D, 1.4) + line(12.8, 12.8, 15, 15, GREY_D, 2.2),
    "image16_help": circle(8, 8, 7, BLUE, BLUE_D)
    + path("M 5.6,6.2 C 5.6,2.6 10.6,2.6 10.6,6 C 10.6,8.2 8,8 8,10.4", "none", WHITE, 2, "butt")
    + rect(7, 11.3, 9, 13.3, WHITE),
    "image17_padlock": path("M 5,8 L 5,5 A 3,3 0 0,1 11,5 L 11,8", "none", GREY_D, 2, "butt")
    + rrect(2.5, 7.5, 13.5, 15.5, 1, AMBER, AMBER_D) + rect(7, 10, 9, 13, AMBER_D),
    "image18_detailed_usage": line(1.5, 1, 1.5, 14.5, GREY_D, 1, "butt")
    + line(1, 14.5, 15, 14.5, GREY_D, 1, "butt")
    + rect(3, 8, 6, 14, BLUE, BLUE_D, 0.5) + rect(7, 3, 10, 14, GREEN, GREEN_D, 0.5)
    + rect(11, 10, 14, 14, AMBER, AMBER_D, 0.5),
    "image19_programs": rect(0.5, 1.5, 13.5, 12.5, PAPER, GREY_D) + rect(1, 2, 13, 4.5, BLUE)
    + rect(2.5, 6, 7, 10.5, BLUE_L) + rect(8, 6, 12, 7, GREY) + rect(8, 8.5, 11, 9.5, GREY)
    + clock(11.5, 11.5, 4, PAPER, BLUE_D, BLUE_D),
    # The status bar: the time-limit service's states beside the padlock of the one that runs.
    "service_stopped": path("M 1,8 L 1,5 A 3,3 0 0,1 7,5 L 7,6", "none", GREY_D, 2, "butt")
    + rrect(4.5, 7.5, 15.5, 15.5, 1, GREY_L, GREY_D) + rect(9, 10, 11, 13, GREY_D)
    + line(1.5, 15.5, 15.5, 1.5, RED, 1.8),
    "service_not_responding": path("M 4,7 L 4,4 A 3,3 0 0,1 10,4 L 10,7", "none", GREY_D, 2, "butt")
    + rrect(1.5, 6.5, 12.5, 14.5, 1, AMBER, AMBER_D)
    + clock(11.5, 11.5, 4.2, PAPER, BLUE_D, BLUE_D, 1.2),
    "service_warning": path("M 4,7 L 4,4 A 3,3 0 0,1 10,4 L 10,7", "none", GREY_D, 2, "butt")
    + rrect(1.5, 6.5, 12.5, 14.5, 1, AMBER, AMBER_D)
    + poly([(11.5, 6), (16, 15.5), (7, 15.5)], "#ffd400", "#7a5a00")
    + rect(11, 9, 12, 13, "#000000") + rect(11, 14, 12, 15, "#000000"),
    # The program and the About dialog.
    "program": rrect(0.5, 0.5, 15.5, 15.5, 3, BLUE, BLUE_D)
    + circle(8, 8, 5.6, WHITE)
    + path("M 8,8 L 8,3.2 A 4.8,4.8 0 0,1 12.16,10.4 Z", AMBER)
    + line(8, 8, 8, 4.2, BLUE_D, 1.3) + line(8, 8, 5.6, 9.6, BLUE_D, 1.3)
    + circle(8, 8, 0.9, BLUE_D),
    # The status bar: where the user data is kept.
    "store_local": monitor(1, 1, 15, 12),
    "store_remote": network_computer(),
    # The preferences dialog's tabs.
    "prefs_general": line(2, 3.5, 14, 3.5, GREY_D, 1, "butt") + line(2, 8.5, 14, 8.5, GREY_D, 1, "butt")
    + line(2, 13.5, 14, 13.5, GREY_D, 1, "butt")
    + rect(9, 1.5, 12, 5.5, BLUE, BLUE_D, 0.6) + rect(4, 6.5, 7, 10.5, BLUE, BLUE_D, 0.6)
    + rect(7, 11.5, 10, 15.5, BLUE, BLUE_D, 0.6),
    "prefs_network": network_computer(),
    "prefs_messages": poly([(4, 11), (4, 15), (8.5, 11)], PAPER, BLUE_D)
    + rrect(1.5, 1.5, 14.5, 11.5, 2, PAPER, BLUE_D) + rect(4.5, 10.5, 7.5, 12, PAPER)
    + text_lines(4, 12, [4, 6, 8]),
    "prefs_advanced": line(3, 13, 8.5, 7.5, GREY_D, 3)
    + path("M 9.6,1.6 A 4.4,4.4 0 1,0 14.4,6.4 L 12,6.4 L 9.6,4 Z", GREY, GREY_D),
}

# Pictures drawn from another one's drawing.
PICTURES["bonus_increase"] = PICTURES["image08_bonus_more"]
PICTURES["bonus_decrease"] = PICTURES["image09_bonus_less"]


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pictures")
    os.makedirs(folder, exist_ok=True)
    for name, drawing in sorted(PICTURES.items()):
        with open(os.path.join(folder, name + ".mvg"), "w", newline="\n") as f:
            f.write(f"# {name}: drawn on a 16 x 16 grid by art/make_pictures.py\n")
            f.write(drawing)


if __name__ == "__main__":
    main()
