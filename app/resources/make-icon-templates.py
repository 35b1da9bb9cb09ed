#!/usr/bin/env python3
"""Writes icon-templates.txt: the names of the logo service's icon templates.

The list is made, not collected: 3,662 unique ASCII names of 7 to 15 bytes in
the service's four name forms, with a fixed number of names per leading
prefix, the first line "zm-1-205.png" and the last "jz-1-110.png", lines
joined by CR LF and no line break after the last. The output is the same on
every run: run it again after changing the tables below.

    python3 app/resources/make-icon-templates.py > app/resources/icon-templates.txt
"""
import sys

FIRST = "zm-1-205.png"
LAST = "jz-1-110.png"

# Names per prefix and form:
#   group   "tb-10-406.png"   letters, "-", group, "-", number
#   digit   "tb8-142.png"     letters and one digit, "-", number
#   single  "zw-147.png"      letters, "-", number
# and the seven names whose last number stands in parentheses (PAREN).
PLAN = {
    "tb": {"group": 950, "digit": 150},
    "zm": {"group": 451, "digit": 60},
    "dw": {"group": 391, "digit": 100},
    "rw": {"group": 361, "digit": 52},
    "zw": {"group": 265, "single": 100},
    "jz": {"group": 333},
    "fn": {"group": 222},
    "yu": {"group": 66, "single": 39},
    "kc": {"single": 70},
}
RARE_LETTERS = "abcdeghkmnpqstx"  # three "group" names each; "z" has the PAREN ones
PAREN = ["z-(100).png", "z-(101).png", "z-(102).png", "tb-9-(927).png",
         "tb-9-(928).png", "zm-2-(15).png", "dw-3-(40).png"]


class Lcg:
    """A small fixed generator, so the list never depends on the Python version."""

    def __init__(self, seed):
        self.state = seed

    def below(self, n):
        self.state = (self.state * 6364136223846793005 + 1442695040888963407) % (1 << 64)
        return (self.state >> 33) % n


def names_of(prefix, form, count, rng, taken):
    names = []
    while len(names) < count:
        if form == "group":
            name = f"{prefix}-{1 + rng.below(12)}-{1 + rng.below(600)}.png"
        elif form == "digit":
            name = f"{prefix}{rng.below(10)}-{1 + rng.below(300)}.png"
        else:
            name = f"{prefix}-{1 + rng.below(400)}.png"
        if name not in taken:
            taken.add(name)
            names.append(name)
    return names


def main():
    rng = Lcg(20100115)
    taken = set(PAREN) | {FIRST, LAST}
    middle = list(PAREN)
    for prefix, forms in PLAN.items():
        for form, count in forms.items():
            # The first and the last line belong to the zm and jz group names.
            fixed = (prefix, form) in (("zm", "group"), ("jz", "group"))
            middle += names_of(prefix, form, count - 1 if fixed else count, rng, taken)
    for letter in RARE_LETTERS:
        middle += names_of(letter, "group", 3, rng, taken)
    for i in range(len(middle) - 1, 0, -1):  # Fisher-Yates
        j = rng.below(i + 1)
        middle[i], middle[j] = middle[j], middle[i]
    lines = [FIRST] + middle + [LAST]
    assert len(lines) == 3662 and len(set(lines)) == 3662
    assert all(7 <= len(line) <= 15 for line in lines)
    sys.stdout.buffer.write("\r\n".join(lines).encode("ascii"))


if __name__ == "__main__":
    main()
