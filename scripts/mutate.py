#!/usr/bin/env python3
"""Mutation testing of the portable rules against the native unit tests (make mutate).

Each row of tests/mutants.tsv is a small plausible bug: one exact piece of text in one
source file and what it becomes. The mutants are applied one at a time to a private copy
of the sources (build/mutate/src; the working tree is never written), the unit tests are
rebuilt there without sanitizers (build/mutate/build, Release) and run with a time limit.
A mutant is killed when the tests fail or hang; it survives when they pass. A row marked
equivalent cannot change what the program does (its last column says why): it is run all
the same, and counted apart.

  mutate.py [--table FILE] [--only TEXT] [--timeout SECONDS] [--jobs N] [--summary FILE]

FERN_BUILD_PREFIX is put in front of every build command (on a shared machine, for
example, "flock /tmp/build.lock"). The table's rows: file, text, replacement, why it is a
plausible bug, and for an equivalent mutant "equivalent: <why>" (for a survivor that no
assertion can see, "survives: <why>", still counted as surviving); fields are separated by
tabs and taken as they stand, except that U+23CE stands for a line end; lines starting with
'#' are comments, and a text must occur exactly once in its file.
"""
import argparse
import os
import shlex
import shutil
import signal
import subprocess
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TABLE = os.path.join(TOP, "tests", "mutants.tsv")
WORK = os.path.join(TOP, "build", "mutate")
SRC = os.path.join(WORK, "src")
BUILD = os.path.join(WORK, "build")
LINE_END = "\u23ce"  # stands for a line end in the table's texts


class Mutant:
    def __init__(self, line, fields):
        self.line = line
        self.file, self.text, self.replacement, self.reason = fields[:4]
        self.text = self.text.replace(LINE_END, "\n")
        self.replacement = self.replacement.replace(LINE_END, "\n")
        note = fields[4] if len(fields) > 4 else ""
        self.equivalent = note[len("equivalent:"):].strip() if note.startswith("equivalent:") else ""
        # A survivor that no assertion can see, with the reason; still counted as surviving.
        self.blind = note[len("survives:"):].strip() if note.startswith("survives:") else ""
        self.problem = ""  # why the row cannot be applied
        self.outcome = ""  # killed, survived, hang, stillborn

    def label(self):
        return "%s (row %d)" % (self.file, self.line)


def shown(text):
    """A mutant's text on one line, as the table writes it."""
    return text.strip().replace("\n", LINE_END) or "(nothing)"


def read_table(path):
    mutants = []
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            raw = raw.rstrip("\n")
            if not raw.strip() or raw.startswith("#"):
                continue
            fields = raw.split("\t")
            m = Mutant(number, fields + [""] * (4 - len(fields)))
            if len(fields) not in (4, 5) or (len(fields) == 5 and not
                                             fields[4].startswith(("equivalent:", "survives:"))):
                m.problem = "a row needs 4 fields, or 5 with 'equivalent: why' or 'survives: why'"
            mutants.append(m)
    return mutants


def source_files():
    """The working tree's files as git sees them: tracked and new, not ignored."""
    out = subprocess.run(["git", "-C", TOP, "ls-files", "-z", "--cached", "--others",
                          "--exclude-standard"], check=True, capture_output=True).stdout
    return sorted({name for name in out.decode().split("\0")
                   if name and os.path.isfile(os.path.join(TOP, name))})


def sync_copy():
    """Makes SRC hold exactly the working tree's files. A file whose content is already
    the same keeps its time stamp, so the build only redoes what changed; a changed file
    is written now, never with the working tree's older time stamp, which the build
    would take for older than its object."""
    names = source_files()
    wanted = set(names)
    for name in names:
        source, copy = os.path.join(TOP, name), os.path.join(SRC, name)
        with open(source, "rb") as f:
            data = f.read()
        if os.path.isfile(copy):
            with open(copy, "rb") as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        shutil.copyfile(source, copy)
        shutil.copymode(source, copy)
    for folder, _, files in os.walk(SRC):
        for name in files:
            path = os.path.join(folder, name)
            if os.path.relpath(path, SRC) not in wanted:
                os.remove(path)


def run_build(jobs):
    prefix = shlex.split(os.environ.get("FERN_BUILD_PREFIX", ""))
    command = prefix + ["cmake", "--build", BUILD, "--target", "unit_tests", "-j", str(jobs)]
    result = subprocess.run(command, capture_output=True, text=True)
    return result.returncode == 0, result.stdout + result.stderr


def run_tests(timeout):
    """'passed', 'failed' or 'hang'. The tests run in their own process group, so a hang
    is ended with everything it started."""
    command = [os.path.join(BUILD, "unit_tests"), "--gtest_fail_fast", "--gtest_brief=1"]
    process = subprocess.Popen(command, cwd=BUILD, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        return "passed" if process.wait(timeout=timeout) == 0 else "failed"
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        return "hang"


def interrupt(*_):
    raise KeyboardInterrupt()


def summary_markdown(mutants, valid, killed, rate):
    rows = ["| Mutants in the table | %d |" % len(mutants),
            "| Applied and built | %d |" % len(valid),
            "| Equivalent (cannot change behaviour) | %d |" % sum(1 for m in valid if m.equivalent),
            "| Killed / counted | %d / %d (%.1f %%) |" % (killed, sum(1 for m in valid
                                                            if not m.equivalent), rate)]
    lines = ["| | |", "|---|---|"] + rows + [""]
    survivors = [m for m in valid if m.outcome == "survived"]
    if survivors:
        lines += ["| Survivor | Mutant | Why it survives |", "|---|---|---|"]
        for m in survivors:
            why = ("equivalent: " + m.equivalent if m.equivalent else
                   "counted as surviving: " + m.blind if m.blind else "no test tells it apart")
            lines.append("| `%s` | `%s` → `%s` | %s |" % (
                m.file, shown(m.text).replace("|", "\\|"), shown(m.replacement).replace("|", "\\|"),
                why))
        lines.append("")
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--table", default=TABLE, help="the mutants (default tests/mutants.tsv)")
    parser.add_argument("--only", default="", help="run only rows whose file or text holds this")
    parser.add_argument("--timeout", type=float, default=0,
                        help="seconds per test run (default: 4 times the clean run, at least 60)")
    parser.add_argument("--jobs", type=int, default=int(os.environ.get("JOBS", "2")))
    parser.add_argument("--summary", default=os.path.join(WORK, "summary.md"))
    args = parser.parse_args()

    mutants = read_table(args.table)
    os.makedirs(SRC, exist_ok=True)
    sync_copy()
    for m in mutants:
        if m.problem:
            continue
        path = os.path.join(SRC, m.file)
        if not os.path.isfile(path):
            m.problem = "no such file"
            continue
        with open(path, encoding="utf-8", newline="") as f:
            count = f.read().count(m.text)
        if count != 1:
            m.problem = "the text occurs %d times" % count
    bad = [m for m in mutants if m.problem]
    for m in bad:
        print("mutate: row %d (%s) cannot be applied: %s" % (m.line, m.file, m.problem))
    chosen = [m for m in mutants if not m.problem and
              (args.only in m.file or args.only in m.text)]
    # One file after another: the restored file and the next mutant of the same file are
    # then one compilation.
    chosen.sort(key=lambda m: (m.file, m.line))

    if not os.path.isfile(os.path.join(BUILD, "build.ninja")):
        subprocess.run(["cmake", "-S", SRC, "-B", BUILD, "-G", "Ninja",
                        "-DCMAKE_BUILD_TYPE=Release", "-DFERN_SANITIZE=OFF"],
                       check=True, stdout=subprocess.DEVNULL)
    ok, log = run_build(args.jobs)
    if not ok:
        print(log)
        sys.exit("mutate: the unmutated sources do not build")
    start = time.monotonic()
    if run_tests(3600) != "passed":
        sys.exit("mutate: the unit tests fail without any mutant; fix them first")
    clean = time.monotonic() - start
    timeout = args.timeout or max(60.0, 4 * clean)
    print("mutate: %d mutants; the clean test run takes %.0f s, the limit per mutant is %.0f s"
          % (len(chosen), clean, timeout))

    # The copy is put back after every mutant, and on Ctrl-C or a termination signal too.
    signal.signal(signal.SIGTERM, interrupt)
    try:
        for index, m in enumerate(chosen, 1):
            path = os.path.join(SRC, m.file)
            with open(path, encoding="utf-8", newline="") as f:
                original = f.read()
            try:
                with open(path, "w", encoding="utf-8", newline="") as f:
                    f.write(original.replace(m.text, m.replacement, 1))
                built, _ = run_build(args.jobs)
                if not built:
                    m.outcome = "stillborn"
                else:
                    result = run_tests(timeout)
                    m.outcome = {"passed": "survived", "failed": "killed", "hang": "hang"}[result]
            finally:
                with open(path, "w", encoding="utf-8", newline="") as f:
                    f.write(original)
            mark = " (equivalent)" if m.equivalent else ""
            print("[%d/%d] %-9s %s%s  %s -> %s" % (index, len(chosen), m.outcome, m.label(), mark,
                                                  shown(m.text), shown(m.replacement)), flush=True)
    except KeyboardInterrupt:
        print("\nmutate: interrupted; the private copy is restored")
        sys.exit(130)
    finally:
        sync_copy()

    valid = [m for m in chosen if m.outcome != "stillborn"]
    counted = [m for m in valid if not m.equivalent]
    killed = sum(1 for m in counted if m.outcome in ("killed", "hang"))
    rate = 100.0 * killed / len(counted) if counted else 0.0
    print()
    for m in chosen:
        if m.outcome == "stillborn":
            print("stillborn (does not compile): %s  %s" % (m.label(), shown(m.text)))
    for m in valid:
        if m.equivalent and m.outcome != "survived":
            print("marked equivalent but killed (the table is wrong): %s" % m.label())
    survivors = [m for m in counted if m.outcome == "survived"]
    for m in survivors:
        print("SURVIVED %s  %s -> %s\n    %s" % (m.label(), shown(m.text), shown(m.replacement),
                                                m.reason))
        if m.blind:
            print("    survives: " + m.blind)
    print("mutate: killed %d of %d mutants (%.1f %%); %d equivalent, %d stillborn, %d not applied"
          % (killed, len(counted), rate, len(valid) - len(counted), len(chosen) - len(valid),
             len(bad)))
    if not args.only and args.table == TABLE:
        with open(args.summary, "w", encoding="utf-8") as f:
            f.write(summary_markdown(mutants, valid, killed, rate))
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
