#!/usr/bin/env python3
"""Reads the layout dump a dialog program writes when TILTWISE_DUMP_LAYOUT names a file (the
format of ui/LayoutDump.h) and checks it, for scripts that drive the real program.

  layout_check.py wait DUMP EVENT [--after N] [--timeout S]
      waits for the first complete block after block N whose event matches the regular
      expression EVENT (whole match) and prints its number; exit 1 on time-out.
  layout_check.py template DUMP N [--root DIR]
      compares the first dialog of block N with the main dialog's template in
      res/TiltwiseDialog.cc: caption, size, and every control's id, kind, text and rectangle
      (dialog units to pixels with the block's base units, rounded as the dialog manager does).
  layout_check.py expect DUMP N KEY=VALUE ...
      checks single values of block N: dialog.caption, dialog.focus, <id>.text, <id>.check,
      <id>.enabled, <id>.font, message.caption, message.text, message.style, messages (count),
      dialogs (count). Ids are numbers; the first control with the id is taken.
  layout_check.py show DUMP N
      prints block N.
"""
import argparse
import re
import shlex
import sys
import time


def parse_blocks(text):
    """The complete blocks of a dump, by number."""
    blocks = {}
    current = None
    for line in text.splitlines():
        if line.startswith("layout "):
            parts = line.split(" ", 2)
            current = {"seq": int(parts[1]), "event": parts[2] if len(parts) > 2 else "",
                       "dialogs": [], "messages": [], "lines": [line]}
            continue
        if current is None:
            continue
        current["lines"].append(line)
        if line == "end":
            blocks[current["seq"]] = current
            current = None
            continue
        kind, _, rest = line.partition(" ")
        fields = dict(token.split("=", 1) for token in shlex.split(rest))
        if kind == "dialog":
            fields["controls"] = []
            current["dialogs"].append(fields)
        elif kind == "control" and current["dialogs"]:
            current["dialogs"][-1]["controls"].append(fields)
        elif kind == "message":
            current["messages"].append(fields)
    return blocks


def read_blocks(path):
    try:
        with open(path, "rb") as f:
            return parse_blocks(f.read().decode("latin-1"))
    except FileNotFoundError:
        return {}


def block(path, seq):
    blocks = read_blocks(path)
    if seq not in blocks:
        sys.exit(f"layout_check: no complete block {seq} in {path}")
    return blocks[seq]


def mul_div(number, numerator, denominator):
    """The system's MulDiv: rounds half away from zero."""
    product = number * numerator
    half = denominator // 2
    if product >= 0:
        return (product + half) // denominator
    return -((-product + half) // denominator)


def read_template(root):
    """The main dialog's template from the resource sources: caption, size and controls."""
    ids = {"kIdCancel": 2, "kUnaddressed": -1}
    with open(f"{root}/res/resource.h") as f:
        for m in re.finditer(r"^#define\s+(\w+)\s+(-?\d+)", f.read(), re.M):
            ids[m.group(1)] = int(m.group(2))
    with open(f"{root}/res/TiltwiseDialog.cc") as f:
        source = f.read()
    controls = []
    row = re.compile(r'\{(\w+),\s*ControlClass::(\w+),\s*"((?:[^"\\]|\\.)*)",\s*([^,]+),\s*'
                     r'(\w+),\s*(-?\d+),\s*(-?\d+),\s*(-?\d+),\s*(-?\d+)\}')
    for m in row.finditer(source):
        ident, cls, text, style = m.group(1), m.group(2), m.group(3), m.group(4)
        if ident not in ids:
            sys.exit(f"layout_check: unknown id {ident} in the template")
        if cls == "kEdit":
            kind = "edit box"
        elif cls == "kStatic":
            kind = "label"
        elif "kTick" in style:
            kind = "automatic check box"
        elif "kGroupBox" in style:
            kind = "group box"
        elif "kPush" in style:
            kind = "push button"
        else:
            sys.exit(f"layout_check: cannot tell the kind of {ident} ({style})")
        x, y, cx, cy = (int(m.group(i)) for i in range(6, 10))
        controls.append({"id": ids[ident], "kind": kind, "text": text,
                         "password": "kEsPassword" in style, "du": (x, y, cx, cy)})
    m = re.search(r'kTiltwiseDialog = \{\s*"([^"]*)",[^;]*?kExAppWindow,\s*(-?\d+),\s*(-?\d+),'
                  r'\s*(\d+),\s*(\d+),', source, re.S)
    if not m or not controls:
        sys.exit("layout_check: the template in res/TiltwiseDialog.cc was not understood")
    return {"caption": m.group(1), "size": (int(m.group(4)), int(m.group(5))),
            "controls": controls}


def check_template(b, root):
    t = read_template(root)
    problems = []
    if not b["dialogs"]:
        return ["no dialog in the block"]
    d = b["dialogs"][0]
    ux, uy = (int(v) for v in d["units"].split(","))
    if d["caption"] != t["caption"]:
        problems.append(f"caption {d['caption']!r}, template {t['caption']!r}")
    client = [int(v) for v in d["client"].split(",")]
    want = [0, 0, mul_div(t["size"][0], ux, 4), mul_div(t["size"][1], uy, 8)]
    if client != want:
        problems.append(f"client area {client}, template {want}")
    shown = d["controls"]
    if len(shown) != len(t["controls"]):
        problems.append(f"{len(shown)} controls, template {len(t['controls'])}")
    focus = int(d["focus"])
    for i, (c, tc) in enumerate(zip(shown, t["controls"])):
        name = f"control {i + 1} ({tc['text'] or tc['id']})"
        if int(c["id"]) != tc["id"]:
            problems.append(f"{name}: id {c['id']}, template {tc['id']}")
        kind = c["kind"]
        # The dialog manager marks a focused push button as the default one.
        if kind == "default push button" and int(c["id"]) == focus:
            kind = "push button"
        if kind != tc["kind"]:
            problems.append(f"{name}: kind {c['kind']!r}, template {tc['kind']!r}")
        if tc["kind"] != "edit box" and c["text"] != tc["text"]:
            problems.append(f"{name}: text {c['text']!r}, template {tc['text']!r}")
        if tc["password"] and set(c["text"]) - {"*"}:
            problems.append(f"{name}: a password box shows its text")
        x, y, cx, cy = tc["du"]
        # Position and size are converted each on its own.
        left, top = mul_div(x, ux, 4), mul_div(y, uy, 8)
        want = [left, top, left + mul_div(cx, ux, 4), top + mul_div(cy, uy, 8)]
        got = [int(v) for v in c["rect"].split(",")]
        if got != want:
            problems.append(f"{name}: rectangle {got}, template {want}")
    return problems


def lookup(b, key):
    what, _, field = key.partition(".")
    if what == "messages":
        return str(len(b["messages"]))
    if what == "dialogs":
        return str(len(b["dialogs"]))
    if what == "message":
        return b["messages"][-1].get(field) if b["messages"] else None
    if not b["dialogs"]:
        return None
    d = b["dialogs"][0]
    if what == "dialog":
        return d.get(field)
    for c in d["controls"]:
        if c["id"] == what:
            return c.get(field)
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("wait")
    p.add_argument("dump")
    p.add_argument("event")
    p.add_argument("--after", type=int, default=0)
    p.add_argument("--timeout", type=float, default=30)
    p = sub.add_parser("template")
    p.add_argument("dump")
    p.add_argument("seq", type=int)
    p.add_argument("--root", default=".")
    p = sub.add_parser("expect")
    p.add_argument("dump")
    p.add_argument("seq", type=int)
    p.add_argument("pairs", nargs="+")
    p = sub.add_parser("show")
    p.add_argument("dump")
    p.add_argument("seq", type=int)
    args = parser.parse_args()

    if args.command == "wait":
        deadline = time.monotonic() + args.timeout
        pattern = re.compile(args.event)
        while True:
            for seq, b in sorted(read_blocks(args.dump).items()):
                if seq > args.after and pattern.fullmatch(b["event"]):
                    print(seq)
                    return 0
            if time.monotonic() > deadline:
                print(f"layout_check: no block {args.event!r} after {args.after} within "
                      f"{args.timeout:g} s", file=sys.stderr)
                return 1
            time.sleep(0.1)
    b = block(args.dump, args.seq)
    if args.command == "show":
        print("\n".join(b["lines"]))
        return 0
    if args.command == "template":
        problems = check_template(b, args.root)
    else:
        problems = []
        for pair in args.pairs:
            key, _, want = pair.partition("=")
            got = lookup(b, key)
            if got != want:
                problems.append(f"{key} is {got!r}, expected {want!r}")
    for p in problems:
        print(f"layout_check: block {args.seq}: {p}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
