#!/usr/bin/env python3
"""Hostile input through the program's front door: the real `taktwerk` binary, run as a user
would run it, with a data folder of its own (TAKTWERK_HOME) in a fresh temporary folder.

Every case gives the program something a careless or hostile user might: missing, huge, binary
or special files as rhythms, outputs that are the input, a device, a FIFO, a link or somebody
else's file, sample sets and toms that point out of the data folder, kills and hang-ups in the
middle of a write. Each case checks the exit code and the message, that the files it names stay
untouched, and after every case that no temporary file was left, that no raw library output
reached the terminal and that nothing appeared outside the temporary folder.

usage: hostile_inputs.py PATH/TO/taktwerk
"""
import hashlib
import os
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time

TAKTWERK = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else "build/taktwerk"
IS_ROOT = os.geteuid() == 0
KIT = ["BD", "SD", "SD2", "RM", "HH", "OH", "RC", "RC2", "CB", "CC", "T1", "T2", "T3", "ST"]

ROCK = (
    "[Settings]\r\nName=Rock\r\nBPM=112\r\nBeats=16\r\nIntv=4\r\nSound=Default\r\n"
    "[RhythmData]\r\nBD=X_______X_X_____\r\nSD=____X_______X___\r\nHH=X_X_X_X_X_X_X_X_\r\n"
    "T1=______________XX\r\n"
)


def wav_header(rate, channels, frames, bits=16):
    data = frames * channels * bits // 8
    clamp = lambda v: min(v, 0xFFFFFFFF)
    return (b"RIFF" + struct.pack("<I", clamp(data + 36)) + b"WAVEfmt "
            + struct.pack("<IHHIIHH", 16, 1, channels, rate, rate * channels * bits // 8,
                          channels * bits // 8, bits)
            + b"data" + struct.pack("<I", clamp(data))), data


def write_wav(path, rate=44100, channels=1, frames=4410, sparse=False):
    header, data = wav_header(rate, channels, frames)
    with open(path, "wb") as out:
        out.write(header)
        if sparse:
            out.truncate(len(header) + data)
        else:
            out.write(b"\x00\x40" * (data // 2))


def digest(path):
    """What a file or folder holds, for "untouched" checks."""
    if os.path.islink(path):
        return ("link", os.readlink(path))
    if not os.path.exists(path):
        return None
    mode = os.stat(path).st_mode
    if stat.S_ISDIR(mode):
        return ("dir", tuple(sorted((n, digest(os.path.join(path, n))) for n in os.listdir(path))))
    if stat.S_ISREG(mode):
        size = os.path.getsize(path)
        with open(path, "rb") as f:
            return ("file", size, stat.S_IMODE(mode), hashlib.sha256(f.read(1 << 20)).hexdigest())
    return ("special", stat.S_IFMT(mode))


def is_temporary(name):
    mark = name.rfind(".tmp-")
    tail = name[mark + 5:] if mark > 0 else ""
    return (name.startswith(".") and len(tail) == 8
            and all(c in "abcdefghijklmnopqrstuvwxyz0123456789" for c in tail))


class Sandbox:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="taktwerk-hostile-")
        self.home = os.path.join(self.root, "home")
        self.work = os.path.join(self.root, "work")
        self.outside = os.path.join(self.root, "outside")
        self.user = os.path.join(self.root, "user")
        for folder in (self.work, self.outside, self.user):
            os.makedirs(folder)
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "TAKTWERK_HOME": self.home,
            "HOME": self.user,
            "XDG_DATA_HOME": os.path.join(self.user, "data"),
            "XDG_CONFIG_HOME": os.path.join(self.user, "config"),
            # German, so that the messages checked are the program's German ones.
            "LANG": "C.UTF-8",
            "LANGUAGE": "de",
        }
        self.program_dir = os.path.dirname(TAKTWERK)
        self.program_dir_names = set(os.listdir(self.program_dir))

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def run(self, args, timeout=20, interrupt=None):
        """Runs taktwerk ARGS in work/; `interrupt` = (seconds, signal) sends a signal. A run
        that hangs is killed and reported with the exit code "hung"."""
        started = time.monotonic()
        process = subprocess.Popen([TAKTWERK, *args], cwd=self.work, env=self.env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        if interrupt:
            time.sleep(interrupt[0])
            process.send_signal(interrupt[1])
        try:
            out, err = process.communicate(timeout=timeout)
            code = process.returncode
        except subprocess.TimeoutExpired:
            process.kill()
            out, err = process.communicate()
            code = "hung"
        return code, out.decode(errors="replace"), err.decode(errors="replace"), \
            time.monotonic() - started

    def leftovers(self):
        """Our temporaries anywhere in the sandbox."""
        found = []
        for folder, dirs, files in os.walk(self.root):
            found += [os.path.join(folder, n) for n in dirs + files if is_temporary(n)]
        return found


FAILURES = []
CASES = 0


def case(sandbox, name, args, code, says=(), untouched=(), absent=(), present=(),
         within=None, interrupt=None, setup=None):
    """One hostile input. `code` is the exit code (negative: killed by that signal)."""
    global CASES
    CASES += 1
    if setup:
        setup()
    before = {p: digest(p) for p in untouched}
    outside = digest(sandbox.outside)
    got, out, err, took = sandbox.run(args, interrupt=interrupt)
    problems = []
    if got != code:
        problems.append(f"exit code {got}, wanted {code}")
    for text in says:
        if text not in out + err:
            problems.append(f"no {text!r} in the output")
    # Ours: "taktwerk COMMAND: ..." lines and the usage text with its indented continuation.
    for line in err.splitlines():
        if line and not line.startswith(("taktwerk", "usage: taktwerk", " ")):
            problems.append(f"a line not of ours: {line!r}")
    for path in untouched:
        if digest(path) != before[path]:
            problems.append(f"{path} changed")
    for path in absent:
        if os.path.lexists(path):
            problems.append(f"{path} exists")
    for path in present:
        if not os.path.exists(path):
            problems.append(f"{path} is missing")
    if within is not None and took > within:
        problems.append(f"took {took:.1f} s, more than {within} s")
    if digest(sandbox.outside) != outside:
        problems.append("something outside the data folder changed")
    if sorted(os.listdir(sandbox.root)) != sorted(["home", "work", "outside", "user"]):
        problems.append(f"new entries beside the data folder: {os.listdir(sandbox.root)}")
    new_beside_program = set(os.listdir(sandbox.program_dir)) - sandbox.program_dir_names
    ours = {"Rhythms", "Sound", "taktwerk.ini"}
    if new_beside_program & ours or any(is_temporary(n) for n in new_beside_program):
        problems.append(f"written beside the program: {new_beside_program}")
    leftovers = sandbox.leftovers()
    if leftovers and name != "stale temporaries":
        problems.append(f"temporaries left: {leftovers}")
    status = "ok" if not problems else "FAILED"
    print(f"{status:6} {name}  ({took:.2f} s, exit {got})")
    if problems:
        for problem in problems:
            print(f"         {problem}")
        print("         stderr: " + err.strip().replace("\n", "\n                 "))
        FAILURES.append(name)


def main():
    sandbox = Sandbox()
    try:
        run_cases(sandbox)
    finally:
        for folder, dirs, files in os.walk(sandbox.root):
            for n in dirs:
                os.chmod(os.path.join(folder, n), 0o755)
        shutil.rmtree(sandbox.root, ignore_errors=True)
    print(f"{CASES} hostile inputs, {len(FAILURES)} failed")
    if CASES < 60:
        print("fewer than 60 cases: the script lost some")
        return 1
    return 1 if FAILURES else 0


def run_cases(s):
    p = s.path
    home = s.home
    rock = p("Rock.rtm")
    with open(rock, "w", newline="") as f:
        f.write(ROCK)

    # --- the first start: a whole rhythm folder and the default kit in TAKTWERK_HOME ---------
    case(s, "first start fills the data folder", ["render", rock, "-o", p("first.wav")], 0,
         present=[os.path.join(home, "Rhythms", "Rock.rtm"),
                  os.path.join(home, "Sound", "Default", "BD.wav")])
    starters = sorted(os.listdir(os.path.join(home, "Rhythms")))
    if len(starters) != 12:
        FAILURES.append(f"the first start made {len(starters)} starter rhythms, not 12")

    # --- missing, unreadable and odd rhythm files: every command alike ----------------------
    os.mkdir(p("folder.rtm"))
    os.mkfifo(p("fifo.rtm"))
    os.symlink(p("nowhere.rtm"), p("dangling.rtm"))
    os.symlink("/dev/zero", p("zero.rtm"))
    for command in ("info", "render", "export-midi", "play"):
        extra = {"info": [], "play": ["--seconds", "0.1"], "render": ["-o", p("x.wav")]}.get(
            command, ["-o", p("x.mid")])
        for file, message in (("missing.rtm", "gibt es nicht"), ("dangling.rtm", "gibt es nicht"),
                              ("folder.rtm", "kann nicht gelesen werden"),
                              ("fifo.rtm", "kann nicht gelesen werden"),
                              ("zero.rtm", "kann nicht gelesen werden")):
            case(s, f"{command} of {file}", [command, p(file), *extra], 2, says=[message],
                 absent=[p("x.wav"), p("x.mid")], within=10)

    # Files without a rhythm load as the window loads them, and say so.
    with open(p("empty.rtm"), "w"):
        pass
    with open(p("junk.rtm"), "wb") as f:
        f.write(bytes(range(256)) * 16)
    write_wav(p("sound.rtm"))
    for file in ("empty.rtm", "junk.rtm", "sound.rtm"):
        case(s, f"info of {file}", ["info", p(file)], 0, says=["enthält keinen Rhythmus"],
             untouched=[p(file)])
    case(s, "export of a sound file named .rtm", ["export-midi", p("sound.rtm"), "-o",
                                                  p("sound.mid")], 0, says=["enthält keinen Rhythmus"])

    # Huge inputs: refused at once, without reading them.
    with open(p("2MB.rtm"), "wb") as f:
        f.write(b"[Settings]\r\n" + b"X" * (2 << 20))
    with open(p("1GB.rtm"), "wb") as f:
        f.truncate(1 << 30)
    for command in ("info", "render"):
        for file in ("2MB.rtm", "1GB.rtm"):
            extra = ["-o", p("x.wav")] if command == "render" else []
            case(s, f"{command} of {file}", [command, p(file), *extra], 2, says=["zu groß"],
                 within=3, untouched=[p(file)], absent=[p("x.wav")])
    # Names that are markup or control characters print as they are.
    weird = p("<h1 style=\"color:red\">HTML&amp;<u>rendered.rtm")
    shutil.copy(rock, weird)
    case(s, "info of a file named as markup", ["info", weird, "--json"], 0, says=["\"Rock\""])

    # --- outputs that must never be replaced ------------------------------------------------
    shutil.copy(rock, p("Rhythm.wav"))
    for command, source, output in (("export-midi", rock, rock),
                                    ("render", p("Rhythm.wav"), p("Rhythm.wav")),
                                    ("render", p("Rhythm.wav"), p("..", "work", "Rhythm.wav"))):
        case(s, f"{command} onto its own input {os.path.basename(output)}",
             [command, source, "-o", output], 2, says=["Eingabedatei selbst"],
             untouched=[source])
    case(s, "render onto its own .rtm input", ["render", rock, "-o", rock], 2,
         says=[".rtm-Datei kann nicht geschrieben werden"], untouched=[rock])
    os.link(rock, p("hardlink.wav"))
    os.symlink(rock, p("softlink.mid"))
    case(s, "render onto a hard link of its input", ["render", rock, "-o", p("hardlink.wav")], 2,
         says=["Eingabedatei selbst"], untouched=[rock])
    case(s, "export onto a link to its input", ["export-midi", rock, "-o", p("softlink.mid")], 2,
         says=["Eingabedatei selbst"], untouched=[rock])
    # A device node of our own: as root, a program with this fault would replace the system's
    # /dev/null itself, so that is asked of it only when it cannot.
    if IS_ROOT:
        os.mknod(p("mynull"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        case(s, "render into a character device", ["render", rock, "-o", p("mynull")], 2,
             says=["Gerät, ein FIFO"], untouched=[p("mynull")])
    else:
        case(s, "render into /dev/null", ["render", rock, "-o", "/dev/null"], 2,
             says=["Gerät, ein FIFO"], untouched=["/dev/null"])
    os.mkfifo(p("out.fifo"))
    os.mkfifo(p("fifo.wav"))
    case(s, "render into a FIFO", ["render", rock, "-o", p("fifo.wav")], 2,
         says=["Gerät, ein FIFO"], within=5, untouched=[p("fifo.wav")])
    case(s, "export into a FIFO", ["export-midi", rock, "-o", p("out.fifo")], 2,
         says=["Gerät, ein FIFO"], within=5, untouched=[p("out.fifo")])
    os.mkdir(p("outdir"))
    case(s, "render into a folder", ["render", rock, "-o", p("outdir")], 2, says=["ist ein Ordner"],
         untouched=[p("outdir")])
    os.symlink(p("nothing.wav"), p("dangling.wav"))
    case(s, "render into a dangling link", ["render", rock, "-o", p("dangling.wav")], 2,
         says=["Verknüpfung ins Leere"], absent=[p("nothing.wav")])
    with open(p("notes.txt"), "w") as f:
        f.write("my notes")
    with open(p("notes"), "w") as f:
        f.write("my notes")
    case(s, "render over somebody's text", ["render", rock, "-o", p("notes")], 2,
         says=["--force ersetzt sie"], untouched=[p("notes")])
    case(s, "render named .txt", ["render", rock, "-o", p("notes.txt")], 2,
         says=[".txt-Datei kann nicht geschrieben werden"], untouched=[p("notes.txt")])
    case(s, "export over a WAV", ["export-midi", rock, "-o", p("first.wav")], 2,
         says=["keine MIDI-Datei"], untouched=[p("first.wav")])
    case(s, "render over text with --force", ["render", rock, "-o", p("notes"), "--force",
                                              "--loops", "1"], 0, says=["geschrieben"])
    case(s, "render over an older WAV", ["render", rock, "-o", p("first.wav"), "--loops", "1"], 0)
    shutil.copy(p("first.wav"), p("readonly.wav"))
    os.chmod(p("readonly.wav"), 0o444)
    case(s, "render over a read-only WAV", ["render", rock, "-o", p("readonly.wav")], 2,
         says=["read-only"], untouched=[p("readonly.wav")])
    case(s, "render into a missing folder", ["render", rock, "-o", p("no", "such", "x.wav")], 2,
         absent=[p("no")])
    # Leftovers of older versions' fixed temporary names: never opened.
    with open(os.path.join(s.outside, "victim.txt"), "w") as f:
        f.write("keep me")
    os.symlink(os.path.join(s.outside, "victim.txt"), p("trap.wav.part"))
    case(s, "render past a .part link", ["render", rock, "-o", p("trap.wav"), "--loops", "1"], 0,
         present=[p("trap.wav")])
    os.mkfifo(p("trap.mid.part"))
    case(s, "export past a .part FIFO", ["export-midi", rock, "-o", p("trap.mid")], 0, within=5,
         present=[p("trap.mid")])
    case(s, "render -o - is standard output, no file named -",
         ["render", rock, "-o", "-", "--loops", "1"], 0, says=["RIFF"], absent=[p("-")])
    case(s, "a file named - is ./-", ["render", rock, "-o", "./-", "--loops", "1"], 0,
         present=[p("-")])
    os.remove(p("-"))

    # --- interrupted writes leave nothing behind --------------------------------------------
    for sig, code in ((signal.SIGINT, -signal.SIGINT), (signal.SIGTERM, -signal.SIGTERM),
                      (signal.SIGHUP, -signal.SIGHUP)):
        case(s, f"render cut short by {sig.name}",
             ["render", rock, "-o", p("long.wav"), "--seconds", "20000"], code,
             interrupt=(1.0, sig), absent=[p("long.wav")])
    case(s, "play ended by SIGHUP", ["play", rock, "--wave"], 0, says=["angehalten nach"],
         interrupt=(1.0, signal.SIGHUP))
    case(s, "play ended by SIGTERM", ["play", rock, "--midi"], 0, says=["angehalten nach"],
         interrupt=(1.0, signal.SIGTERM))
    # Without a sound card (or with one): only our own lines, whatever the libraries would say.
    case(s, "play prints only lines of its own", ["play", rock, "--seconds", "0.2"], 0,
         says=["angehalten nach"])

    # --- sample sets and toms that lead out of the data folder ------------------------------
    os.makedirs(os.path.join(s.outside, "Kit"))
    for code in KIT:
        write_wav(os.path.join(s.outside, "Kit", code + ".wav"))
    write_wav(os.path.join(s.outside, "x.wav"))
    os.symlink(os.path.join(s.outside, "Kit"), os.path.join(home, "Sound", "LinkOut"))
    for sound, why in (("/etc", "missing"), ("../../outside/Kit", "outside the sound folder"),
                       ("../../../../../../../../../../etc", "outside the sound folder"),
                       ("LinkOut", "outside the sound folder"), ("..", "outside")):
        with open(p("set.rtm"), "w", newline="") as f:
            f.write(ROCK.replace("Sound=Default", "Sound=" + sound))
        case(s, f"render with Sound={sound}", ["render", p("set.rtm"), "-o", p("set.wav")], 2,
             says=["Bass Drum bleibt stumm", why, "nichts geschrieben"], absent=[p("set.wav")])
    for tom in ("../../outside/x", "../../../../../../../../tmp/x", "/etc/passwd",
                "../../outside/Kit/T1"):
        with open(p("tom.rtm"), "w", newline="") as f:
            f.write(ROCK + "[Multi]\r\nTom1=" + tom + "\r\n")
        case(s, f"render with Tom1={tom}", ["render", p("tom.rtm"), "-o", p("tom.wav")], 0,
             says=["Tom 1 bleibt stumm"])
    case(s, "play with an outside set says which drum", ["play", p("set.rtm"), "--wave",
                                                         "--seconds", "0.2"], 0,
         says=["Bass Drum bleibt stumm"])

    # Samples whose header claims far more than a drum hit: refused unread, at once.
    os.makedirs(os.path.join(home, "Sound", "Huge"))
    for code in KIT:
        write_wav(os.path.join(home, "Sound", "Huge", code + ".wav"), rate=768000, channels=8,
                  frames=768000 * 30, sparse=True)
    write_wav(os.path.join(home, "Sound", "Huge", "BD.wav"), frames=1 << 28, sparse=True)
    with open(p("huge.rtm"), "w", newline="") as f:
        f.write(ROCK.replace("Sound=Default", "Sound=Huge"))
    case(s, "render with a set of huge sparse samples", ["render", p("huge.rtm"), "-o",
                                                         p("huge.wav")], 2,
         says=["longer than 30 s", "too much data"], within=5)
    case(s, "play with huge samples stops at once on Ctrl-C", ["play", p("huge.rtm"), "--wave"],
         0, interrupt=(0.5, signal.SIGINT), within=5, says=["angehalten nach"])

    # --- make-kit: only the folder named, nothing replaced unasked --------------------------
    with open(os.path.join(s.work, "High Tom.wav"), "w") as f:
        f.write("my own tom")
    case(s, "make-kit into a new folder", ["make-kit", "--out", p("kit")], 0,
         present=[p("kit", "BD.wav")], untouched=[p("High Tom.wav")])
    case(s, "make-kit over an existing set", ["make-kit", "--out", p("kit")], 1,
         says=["enthält schon einen Klangsatz"], untouched=[p("kit")])
    case(s, "make-kit without --out keeps the data folder's set",
         ["make-kit"], 1, says=["enthält schon einen Klangsatz"],
         untouched=[os.path.join(home, "Sound")])
    case(s, "make-kit --force replaces the set", ["make-kit", "--out", p("kit"), "--force"], 0,
         untouched=[p("High Tom.wav")])
    case(s, "make-kit into a file", ["make-kit", "--out", p("notes.txt")], 1,
         says=["ist kein Ordner"], untouched=[p("notes.txt")])
    case(s, "make-kit into a FIFO", ["make-kit", "--out", p("out.fifo")], 1, within=5,
         untouched=[p("out.fifo")])
    with open(p("broken.sf2"), "wb") as f:
        f.write(b"RIFF\x10\x00\x00\x00sfbkLIST")
    case(s, "make-kit from a broken SoundFont", ["make-kit", "--soundfont", p("broken.sf2"),
                                                 "--out", p("kit2")], 1,
         says=["FluidSynth:", "konnte nicht gelesen werden"], absent=[p("kit2")])
    case(s, "make-kit from /etc/passwd", ["make-kit", "--soundfont", "/etc/passwd", "--out",
                                          p("kit3")], 1, absent=[p("kit3")])
    case(s, "make-kit cut short by Ctrl-C", ["make-kit", "--out", p("kit4")], -signal.SIGINT,
         interrupt=(0.1, signal.SIGINT), absent=[p("kit4")])

    # --- settings files and stale temporaries -----------------------------------------------
    ini = os.path.join(home, "taktwerk.ini")
    with open(ini, "wb") as f:
        f.write(b"[Quorrel Taktwerk]\r\nSound=Default\r\n" + b"; " * (1 << 20))
    case(s, "a settings file over 1 MiB is read as defaults", ["render", rock, "-o",
                                                               p("ini.wav")], 0,
         untouched=[ini], within=10)
    os.remove(ini)
    os.mkfifo(ini)
    case(s, "a FIFO as the settings file does not hang", ["render", rock, "-o", p("ini.wav")], 0,
         within=10, untouched=[ini])
    os.remove(ini)

    rhythms = os.path.join(home, "Rhythms")
    stale = {".Rock.rtm.tmp-0a1b2c3d": True, ".Rock.rtm.tmp123456": True,
             ".Pop.rtm.tmp-zzzzzzzz": False, ".notes.tmp-ABCDEFGH": False}
    for name, old in stale.items():
        with open(os.path.join(rhythms, name), "w") as f:
            f.write("x")
        if old:
            then = time.time() - 600
            os.utime(os.path.join(rhythms, name), (then, then))
    case(s, "stale temporaries", ["render", rock, "-o", p("sweep.wav"), "--loops", "1"], 0,
         absent=[os.path.join(rhythms, n) for n, old in stale.items() if old],
         present=[os.path.join(rhythms, n) for n, old in stale.items() if not old])
    for name, old in stale.items():
        if not old:
            os.remove(os.path.join(rhythms, name))

    # --- the command line itself ------------------------------------------------------------
    case(s, "an unknown command", ["format-disk"], 2, says=["unbekannter Befehl"])
    case(s, "render without -o", ["render", rock], 2, says=["usage"])
    case(s, "render with --loops 0", ["render", rock, "-o", p("x.wav"), "--loops", "0"], 2,
         says=["--loops"], absent=[p("x.wav")])
    case(s, "render at 1e9 Hz", ["render", rock, "-o", p("x.wav"), "--rate", "1000000000"], 2,
         absent=[p("x.wav")])
    case(s, "export with --loops -1", ["export-midi", rock, "-o", p("x.mid"), "--loops", "-1"], 2,
         absent=[p("x.mid")])
    case(s, "play for NaN seconds", ["play", rock, "--seconds", "nan"], 2)
    case(s, "play for 1e12 seconds names the limit", ["play", rock, "--seconds", "1e12"], 2,
         says=["höchstens 86400"])
    case(s, "render for 1e12 seconds names the limit", ["render", rock, "-o", p("x.wav"),
                                                        "--seconds=1e12"], 2,
         says=["höchstens 86400"], absent=[p("x.wav")])
    case(s, "play with --midi and --wave", ["play", rock, "--midi", "--wave"], 2,
         says=["--midi und --wave schließen einander aus", "usage: taktwerk play"])
    case(s, "render with an option twice", ["render", rock, "-o", p("x.wav"), "-o", p("y.wav")],
         2, says=["mehr als einmal"], absent=[p("x.wav"), p("y.wav")])
    case(s, "render with an option lacking its value", ["render", rock, "--loops"], 2,
         says=["--loops braucht einen Wert", "usage: taktwerk render"])
    case(s, "an unknown option", ["info", rock, "--xml"], 2,
         says=["unbekannte Option \"--xml\"", "usage: taktwerk info"])
    case(s, "render named .mp3", ["render", rock, "-o", p("x.mp3")], 2,
         says=[".mp3-Datei kann nicht geschrieben werden"], absent=[p("x.mp3")])
    case(s, "render --format against the name", ["render", rock, "-o", p("x.wav"), "--format",
                                                 "flac"], 2, says=["widersprechen sich"],
         absent=[p("x.wav")])
    case(s, "render FLAC with --float", ["render", rock, "-o", p("x.flac"), "--float"], 2,
         says=["nur WAV"], absent=[p("x.flac")])
    case(s, "render with --loops=1", ["render", rock, "-o", p("eq.wav"), "--loops=1"], 0,
         present=[p("eq.wav")])
    case(s, "render FLAC by its name", ["render", rock, "-o", p("x.flac"), "--loops", "1"], 0,
         present=[p("x.flac")])
    case(s, "render to a pipe", ["render", rock, "-o", "-", "--loops", "1"], 0,
         says=["RIFF", "Standardausgabe"])
    case(s, "export to a pipe", ["export-midi", rock, "-o", "-"], 0, says=["MThd"])
    os.symlink(p("loop-a.rtm"), p("loop-b.rtm"))
    os.symlink(p("loop-b.rtm"), p("loop-a.rtm"))
    case(s, "info of a loop of links", ["info", p("loop-a.rtm")], 2,
         says=["kann nicht gelesen werden"])


if __name__ == "__main__":
    sys.exit(main())
