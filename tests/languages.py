#!/usr/bin/env python3
"""The real program speaks the locale's language: English by default, German for "de*", on a
machine where no German locale is generated (as on the build machines).

    languages.py TAKTWERK
"""

import os
import subprocess
import sys
import tempfile

LOCALE_VARIABLES = ("LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG")


def run(program, variables, *args):
    environment = {k: v for k, v in os.environ.items() if k not in LOCALE_VARIABLES}
    environment.update(variables)
    return subprocess.run([program, *args], env=environment, capture_output=True, text=True,
                          timeout=60)


def main():
    program = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        # A folder where a rhythm file is expected: the core's reader refuses it.
        unreadable = os.path.join(folder, "Rock.rtm")
        os.mkdir(unreadable)
        out = os.path.join(folder, "out.mid")
        english = f'The file "{unreadable}" cannot be read.'
        german = f'Die Datei "{unreadable}" kann nicht gelesen werden.'
        cases = [
            ({"LANG": "C"}, english),
            ({"LANG": "C.UTF-8"}, english),
            ({"LANG": "en_GB.UTF-8"}, english),
            ({"LANG": "fr_FR.UTF-8"}, english),
            ({}, english),
            ({"LANG": "de_DE.UTF-8"}, german),
            ({"LANG": "de_AT"}, german),
            ({"LC_MESSAGES": "de_CH.UTF-8", "LANG": "C"}, german),
            ({"LC_ALL": "C", "LANG": "de_DE.UTF-8"}, english),
            ({"LC_ALL": "de_DE.UTF-8", "LANG": "C"}, german),
            ({"LANGUAGE": "de", "LANG": "C"}, german),
            ({"LANGUAGE": "fr:de", "LANG": "en_US.UTF-8"}, german),
            ({"LANGUAGE": "en:de", "LANG": "de_DE.UTF-8"}, english),
            ({"LANGUAGE": "", "LANG": "de_DE.UTF-8"}, german),
        ]
        for variables, expected in cases:
            result = run(program, variables, "export-midi", unreadable, "-o", out)
            if result.returncode == 0 or expected not in result.stderr:
                failures.append(f"{variables}: exit {result.returncode}, said {result.stderr!r}, "
                                f"expected {expected!r}")
            elif os.path.exists(out):
                failures.append(f"{variables}: wrote {out} from an unreadable rhythm")
        # The command line's own texts: its messages and its usage, in both languages.
        command_cases = [
            (["info", "x"], 'The file "x" does not exist.', 'Die Datei "x" gibt es nicht.'),
            (["info", "x.rtm", "--xml"], 'unknown option "--xml"', 'unbekannte Option "--xml"'),
            (["render", "x.rtm", "-o", "x.mp3"], "a .mp3 file cannot be written",
             "eine .mp3-Datei kann nicht geschrieben werden"),
            (["play", "x.rtm", "--midi", "--wave"], "--midi and --wave exclude each other",
             "--midi und --wave schließen einander aus"),
            (["--help"], "show the version and end", "die Version zeigen und enden"),
            (["render", "--help"], "seamless passes of the loop",
             "nahtlose Durchläufe der Schleife"),
            (["nonsense"], 'unknown command "nonsense"', 'unbekannter Befehl "nonsense"'),
        ]
        for args, english_text, german_text in command_cases:
            for variables, expected in (({"LANG": "C"}, english_text),
                                        ({"LANG": "de_DE.UTF-8"}, german_text)):
                cases.append(variables)
                result = run(program, {**variables, "TAKTWERK_HOME": folder}, *args)
                if expected not in result.stdout + result.stderr:
                    failures.append(f"{args} under {variables}: said "
                                    f"{result.stdout + result.stderr!r}, expected {expected!r}")
    for failure in failures:
        print(failure)
    print(f"{len(cases) - len(failures)} of {len(cases)} locales answered in their language")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
