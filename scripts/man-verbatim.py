#!/usr/bin/env python3
"""Sets the example lines of a man page made by help2man as typed: never filled, justified or
hyphenated, so each can be copied into a shell as it stands.

    man-verbatim.py PAGE
"""
import re
import sys

if len(sys.argv) != 2:
    sys.exit(__doc__)
with open(sys.argv[1], encoding="utf-8") as f:
    text = f.read()
# help2man writes each "  $ command" line as \f(CW$ command\fR.
text = re.sub(r"^(\\f\(CW.*)$", r".nf\n\1\n.fi", text, flags=re.M)
with open(sys.argv[1], "w", encoding="utf-8") as f:
    f.write(text)
