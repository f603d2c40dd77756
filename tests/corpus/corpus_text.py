"""Reading the texts of corpus_dump's output in Python (the corpus tests of
the pelmora command and of the Python module).

corpus_dump writes a text between quotes, each UTF-16 unit as its character,
or as \\uXXXX (four upper-case hex digits) when it is not printable ASCII.
"""

import re


def text_units(shown):
    """The UTF-16 units of a text as corpus_dump shows it, quotes included."""
    units = []
    body = shown[1:-1]
    i = 0
    while i < len(body):
        if body[i] == "\\" and body[i + 1:i + 2] == "u" and re.fullmatch(r"[0-9A-F]{4}", body[i + 2:i + 6]):
            units.append(int(body[i + 2:i + 6], 16))
            i += 6
        else:
            units.append(ord(body[i]))
            i += 1
    return units
