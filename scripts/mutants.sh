#!/usr/bin/env bash
# One-line mutants of src/: each is built and tested in a scratch copy of the
# tree, to find what the tests miss. Not part of CI; a tool for developers.
#
#   scripts/mutants.sh sample [N] [SEED]   write a fixed sample of N mutants (default 150)
#                                          to scripts/mutants-sample.txt
#   scripts/mutants.sh run [TIMEOUT] [N] [PREFIX]
#                                          build and test every mutant of the sample (or the
#                                          first N, 0 for all) whose file starts with PREFIX;
#                                          TIMEOUT seconds per test run (default 300)
#   scripts/mutants.sh list                print the sample
#
# MUTANTS_SAMPLE=FILE reads another sample of the same form instead (say, the
# survivors of the last run, to check new tests against them).
#
# A mutant is "killed" when a test fails, "survived" when every test passes,
# and "stillborn" when it does not build (not counted). The sample names each
# mutant by file, the exact text of its line and the operator, so it stays
# the same sample while the tests change around it.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 - "$@" <<'PY'
import os, random, re, shutil, subprocess, sys, time

SAMPLE = os.environ.get("MUTANTS_SAMPLE", "scripts/mutants-sample.txt")
# (name, pattern, replacement): applied to one occurrence in one line.
OPERATORS = [
    ("eq-ne", r"==", "!="), ("ne-eq", r"!=", "=="),
    ("le-lt", r"<=", "<"), ("ge-gt", r">=", ">"),
    ("lt-le", r"(?<= )<(?= )", "<="), ("gt-ge", r"(?<= )>(?= )", ">="),
    ("and-or", r"&&", "||"), ("or-and", r"\|\|", "&&"),
    ("true-false", r"\btrue\b", "false"), ("false-true", r"\bfalse\b", "true"),
    ("plus1-minus1", r"\+ 1\b", "- 1"), ("minus1-plus1", r"- 1\b", "+ 1"),
    ("not-drop", r"!(?=[A-Za-z_(])", ""),
    ("success-fail", r"return kErrorSuccess;", "return kErrorInvalidParameter;"),
    ("return-drop", r"^(\s*)(if \(.*\)) return ([^;]+);$", r"\1\2 {}"),
]
SKIP_LINE = re.compile(r"^\s*(//|#|\*|static_assert)")
SKIP_FILE = re.compile(r"(string_table_data|\.xpm\.h$|/art/)")

def sources():
    out = subprocess.run(["git", "ls-files", "src"], capture_output=True, text=True, check=True)
    return [p for p in out.stdout.split() if p.endswith((".cc", ".h")) and not SKIP_FILE.search(p)]

def candidates():
    for path in sources():
        with open(path, encoding="utf-8") as f:
            for line in f.read().split("\n"):
                if SKIP_LINE.match(line) or "#include" in line or "template <" in line:
                    continue
                for name, pattern, repl in OPERATORS:
                    for k, _ in enumerate(re.finditer(pattern, line)):
                        yield (path, name, k, line)

def mutate(line, name, k):
    pattern, repl = next((p, r) for n, p, r in OPERATORS if n == name)
    matches = list(re.finditer(pattern, line))
    if k >= len(matches):
        return None
    m = matches[k]
    return line[:m.start()] + m.expand(repl) + line[m.end():]

def write_sample(n, seed):
    cands = sorted(set(candidates()))
    random.Random(seed).shuffle(cands)
    with open(SAMPLE, "w", encoding="utf-8") as f:
        f.write(f"# {n} one-line mutants of src/, seed {seed}: file<TAB>operator<TAB>occurrence<TAB>line\n")
        for path, name, k, line in sorted(cands[:n]):
            f.write(f"{path}\t{name}\t{k}\t{line}\n")
    print(f"{min(n, len(cands))} of {len(cands)} candidates written to {SAMPLE}")

def read_sample():
    rows = []
    with open(SAMPLE, encoding="utf-8") as f:
        for raw in f:
            if raw.startswith("#") or not raw.strip():
                continue
            path, name, k, line = raw.rstrip("\n").split("\t", 3)
            rows.append((path, name, int(k), line))
    return rows

def run(timeout, limit, prefix):
    if not os.environ.get("DISPLAY"):
        # Without a display every window test fails, and each mutant would look killed.
        sys.exit("mutants.sh run: DISPLAY is not set; start Xvfb and export DISPLAY first")
    scratch = os.path.join(os.environ.get("TMPDIR", "/tmp"), "ordx-mutants")
    src = os.getcwd()
    # Refreshed on every run; the scratch build folder is kept, so only what
    # changed since the last run is rebuilt.
    shutil.copytree(src, scratch, ignore=shutil.ignore_patterns("build*", ".git"),
                    dirs_exist_ok=True)
    build = os.path.join(scratch, "build")
    configure = ["cmake", "-S", scratch, "-B", build, "-DCMAKE_BUILD_TYPE=RelWithDebInfo"]
    if shutil.which("ld.lld"):
        # Every mutant relinks most test programs; lld makes that the cheap part.
        configure.append("-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld")
    subprocess.run(configure, check=True, capture_output=True)
    subprocess.run(["cmake", "--build", build, "-j", str(os.cpu_count())], check=True,
                   capture_output=True)
    counts = {"killed": 0, "survived": 0, "stillborn": 0, "missing": 0}
    survivors = []
    for path, name, k, line in [r for r in read_sample() if r[0].startswith(prefix)][:limit]:
        target = os.path.join(scratch, path)
        with open(os.path.join(src, path), encoding="utf-8") as f:
            original = f.read()
        lines = original.split("\n")
        if line not in lines:
            counts["missing"] += 1
            print(f"missing   {path}: {line.strip()}")
            continue
        mutated = mutate(line, name, k)
        if mutated is None or mutated == line:
            counts["missing"] += 1
            continue
        i = lines.index(line)
        lines[i] = mutated
        with open(target, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        started = time.time()
        try:
            built = subprocess.run(["cmake", "--build", build, "-j", str(os.cpu_count())],
                                   capture_output=True).returncode == 0
            if not built:
                verdict = "stillborn"
            else:
                # The mutated subsystem's own tests first: most kills happen there,
                # and a kill ends the run.
                own = os.path.join(build, "tests", path.split("/")[1])
                verdict = "survived"
                for folder in ([own] if os.path.isdir(own) else []) + [build]:
                    tested = subprocess.run(["ctest", "--test-dir", folder, "-j",
                                             str(os.cpu_count()), "--timeout", str(timeout),
                                             "--stop-on-failure"], capture_output=True)
                    if tested.returncode != 0:
                        verdict = "killed"
                        break
        finally:
            with open(target, "w", encoding="utf-8") as f:
                f.write(original)
        counts[verdict] += 1
        if verdict == "survived":
            survivors.append((path, i + 1, name, mutated.strip()))
        print(f"{verdict:9} {path}:{i + 1} {name} ({time.time() - started:.0f} s)", flush=True)
    # Rebuild the unmutated tree so the scratch copy is ready for the next run.
    subprocess.run(["cmake", "--build", build, "-j", str(os.cpu_count())], capture_output=True)
    counted = counts["killed"] + counts["survived"]
    print("\nsurvivors:")
    for path, line, name, text in survivors:
        print(f"  {path}:{line} {name}: {text}")
    print(f"\nkilled {counts['killed']}, survived {counts['survived']}, "
          f"stillborn {counts['stillborn']}, not found {counts['missing']}")
    if counted:
        print(f"score {100 * counts['killed'] / counted:.1f}% of {counted} built mutants")

args = sys.argv[1:] or ["list"]
if args[0] == "sample":
    write_sample(int(args[1]) if len(args) > 1 else 150, int(args[2]) if len(args) > 2 else 12)
elif args[0] == "run":
    run(int(args[1]) if len(args) > 1 else 300,
        int(args[2]) if len(args) > 2 and int(args[2]) > 0 else None,
        args[3] if len(args) > 3 else "")
elif args[0] == "list":
    for row in read_sample():
        print("\t".join(map(str, row)))
else:
    sys.exit("usage: scripts/mutants.sh sample [N] [SEED] | run [TIMEOUT] [N] [PREFIX] | list")
PY
