#!/usr/bin/env python3
"""Writes the bash completion of tiltwise-cli from what the program's own --help says, so the
completion knows every subcommand and option the build has, with no list kept by hand.

    make-completion.py TILTWISE_CLI OUTPUT

Subcommands come from the "Subcommands:" part of `TILTWISE_CLI --help`, each one's options
from `TILTWISE_CLI SUB --help`. An option shown with FILE takes a file name; one shown with
{a,b} or a|b takes one of those words. A subcommand's other words are file names when a
positional is shown as FILE or REPORT; cameras (TARGET) and ranges (RANGE) get nothing. Exit 1 when the program cannot be run or lists no subcommand.
"""
import re
import subprocess
import sys

OPTION = re.compile(r"(?:^|[ ,])(-{1,2}[A-Za-z][\w-]*)")


def help_text(program, *words):
    done = subprocess.run([program, *words, "--help"], capture_output=True, text=True,
                          timeout=30, check=False)
    if done.returncode != 0:
        sys.exit(f"make-completion: {program} {' '.join(words)} --help failed: {done.stderr}")
    return done.stdout


def sections(text):
    """Lines of each "Name:" part of a help text, by name."""
    parts, name = {}, None
    for line in text.splitlines():
        if re.fullmatch(r"[A-Z][A-Za-z ]*:", line):
            name = line[:-1]
            parts[name] = []
        elif name and line.startswith("  "):
            parts[name].append(line)
        elif not line.strip():
            name = None
    return parts


def options(text):
    """Every option of a help text, those taking a file, and the words others take."""
    names, files, choices = [], [], {}
    for line in sections(text).get("Options", []):
        head = line.strip().split("  ")[0]
        if not head.startswith("-"):
            continue
        spellings = OPTION.findall(head.split(" Excludes:")[0].split(" Needs:")[0])
        names += spellings
        if re.search(r"\bFILE\b", head):
            files += spellings
        listed = re.search(r":\{([^}]*)\}", head) or re.search(r" (\w+(?:\|\w+)+)\b", head)
        if listed:
            for s in spellings:
                choices[s] = re.sub(r"[,|]", " ", listed.group(1))
    return names, files, choices


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    program, output = sys.argv[1], sys.argv[2]
    top = help_text(program)
    subcommands = [line.split()[0] for line in sections(top).get("Subcommands", [])]
    if not subcommands:
        sys.exit(f"make-completion: {program} --help lists no subcommand")
    top_names, _, _ = options(top)

    cases, files, choices, file_args = [], set(), {}, []
    for sub in subcommands:
        text = help_text(program, sub)
        names, taking_files, words = options(text)
        metavars = [line.split()[1] for line in sections(text).get("Positionals", [])
                    if len(line.split()) > 1]
        if any(m in ("FILE", "REPORT") for m in metavars):
            file_args.append(sub)
        cases.append(f"    {sub}) words=\"{' '.join(names)}\" ;;")
        files.update(taking_files)
        choices.update(words)

    value_cases = [f"    {name}) COMPREPLY=($(compgen -W \"{words}\" -- \"$cur\")); return ;;"
                   for name, words in sorted(choices.items())]
    if files:
        value_cases.append(f"    {'|'.join(sorted(files))}) COMPREPLY=($(compgen -f -- \"$cur\")); "
                           "return ;;")
    script = f"""# bash completion for tiltwise-cli, made from its --help when it was built.
_tiltwise_cli() {{
  local cur=${{COMP_WORDS[COMP_CWORD]}} prev=${{COMP_WORDS[COMP_CWORD-1]}} sub="" words i
  case $prev in
{chr(10).join(value_cases)}
  esac
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${{COMP_WORDS[i]}} in
      {'|'.join(subcommands)}) sub=${{COMP_WORDS[i]}}; break ;;
    esac
  done
  case $sub in
{chr(10).join(cases)}
    *) words="{' '.join(subcommands + top_names)}" ;;
  esac
  if [[ -n $sub && $cur != -* ]]; then
    case $sub in
      {'|'.join(file_args) or '""'}) COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
    return  # otherwise a camera address: nothing to offer
  fi
  COMPREPLY=($(compgen -W "$words" -- "$cur"))
}}
complete -F _tiltwise_cli tiltwise-cli
"""
    with open(output, "w", encoding="utf-8") as f:
        f.write(script)


if __name__ == "__main__":
    main()
