#!/usr/bin/env python3
"""Every command line of the README runs as written, as a newcomer would type it from a fresh
clone after `make build`: each `build/taktwerk ...` line of the README's code blocks, run by the
shell in a fresh working folder beside `build/` and `data/` of this tree, with its own
TAKTWERK_HOME, HOME and XDG folders, must end with exit 0.

    readme_commands.py SOURCE_DIR TAKTWERK

The window's own lines (--screenshot) need a display library, `play` without --seconds never
ends: those are left out, and the count says so.
"""

import os
import shlex
import subprocess
import sys
import tempfile


def command_lines(readme):
    """The `build/taktwerk ...` lines inside ``` blocks, with their line numbers."""
    lines = []
    inside = False
    with open(readme, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if line.startswith("```"):
                inside = not inside
                continue
            if inside and line.startswith("build/taktwerk"):
                lines.append((number, line.rstrip("\n")))
    return lines


def runnable(line):
    """Why the line is left out, or None. The shell's own words decide, not the comment."""
    words = shlex.split(line, comments=True)
    if "--screenshot" in words:
        return "the window's"
    if len(words) > 1 and words[1] == "play" and "--seconds" not in words:
        return "plays until Ctrl-C"
    return None


def main():
    source, program = sys.argv[1], sys.argv[2]
    lines = command_lines(os.path.join(source, "README.md"))
    failures = []
    ran = 0
    with tempfile.TemporaryDirectory(prefix="taktwerk-readme-") as root:
        work = os.path.join(root, "clone")
        os.makedirs(os.path.join(work, "build"))
        os.symlink(os.path.abspath(program), os.path.join(work, "build", "taktwerk"))
        os.symlink(os.path.join(source, "data"), os.path.join(work, "data"))
        environment = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "TAKTWERK_HOME": os.path.join(root, "taktwerk-home"),
            "HOME": os.path.join(root, "home"),
            "XDG_DATA_HOME": os.path.join(root, "home", "data"),
            "XDG_CONFIG_HOME": os.path.join(root, "home", "config"),
            "LANG": "C.UTF-8",
        }
        for number, line in lines:
            why = runnable(line)
            if why:
                print(f"skipped README.md:{number} ({why}): {line}")
                continue
            ran += 1
            try:
                result = subprocess.run(["bash", "-o", "pipefail", "-c", line], cwd=work, env=environment,
                                        stdin=subprocess.DEVNULL, capture_output=True,
                                        timeout=120)
                code, said = result.returncode, result.stderr.decode(errors="replace")
            except subprocess.TimeoutExpired:
                code, said = "hung", ""
            status = "ok" if code == 0 else "FAILED"
            print(f"{status:6} README.md:{number}: {line}")
            if code != 0:
                failures.append(number)
                print(f"         exit {code}: " + said.strip().replace("\n", "\n         "))
    print(f"{ran - len(failures)} passed, {len(failures)} failed")
    if ran < 8:
        print("fewer than 8 command lines ran: the README lost its examples")
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
