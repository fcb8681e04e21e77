#!/usr/bin/env python3
"""Mutation campaign: makes one plausible mistake at a time in a scratch copy of the
checkout, builds, runs the fast test suites and reports which tests caught it.

    tests/mutations/run.py                 # every mutation
    tests/mutations/run.py 3 7             # only mutations 3 and 7
    tests/mutations/run.py --list          # what the mutations are
    tests/mutations/run.py --no-baseline   # skip the first run of the unchanged code

The scratch copy and its build live in $RV740X_MUTATION_DIR (default
/tmp/rv740x-mutations) and are reused by the next run. Exit status 0 only when every
mutation applied, built and made at least one test fail.
"""

import os
import re
import shutil
import subprocess
import sys
import time

# name, file, text as it is, text with the mistake, and optionally the end-to-end tests to
# try first (a shortcut only: a mutation they miss still meets the whole fast suites). Each
# text must occur exactly once.
MUTATIONS = [
    ("block 13 with a wrong address and identifier", "src/devmem/block_table.h",
     "{43791, 44892, 17, 102}", "{43793, 44892, 17, 103}"),
    ("block 22's backup address off by one", "src/devmem/block_table.h",
     "{41244, 41927, 45, 187}", "{41244, 41928, 45, 187}"),
    ("line resistance and temperature correction offsets swapped", "src/config/image.cpp",
     "RLine = 6, Delta = 10", "RLine = 10, Delta = 6"),
    ("set point 2 and hysteresis 2 offsets swapped", "src/config/image.cpp",
     "Ustav2 = 9, Gist2 = 13", "Ustav2 = 13, Gist2 = 9"),
    ("device float truncated instead of rounded to nearest", "src/config/device_float.cpp",
     "((value.fraction >> (kDroppedBits - 1)) & 1u)",
     "((value.fraction >> (kDroppedBits - 1)) & 0u)"),
    ("display period code rounded down instead of up", "src/config/image.cpp",
     "(seconds * 900 + 255) / 256", "(seconds * 900) / 256"),
    ("bad memory data reported as status 31", "src/link/status.h",
     "kMemoryData = 30;", "kMemoryData = 31;"),
    ("no fallback to the backup copy on a bad primary", "src/devmem/blocks.cpp",
     "    message = request::ReadMemory(block.backup);\n",
     "    return finish();\n    message = request::ReadMemory(block.backup);\n",
     "*ReadBlock*:ReadConfiguration.Spoilt*"),
    # (Dropping the cancel test between two written bytes in blocks.cpp is no mistake at all:
    # Transact never succeeds once CancelFlag is set, so that test is covered by `!sent`.)
    ("cancel not checked after a block operation", "src/link/exchange.cpp",
     "Step BlockStep(const Link& link, int code) {\n    if (link.CancelFlag.requested()) return Step::Cancelled;\n",
     "Step BlockStep(const Link& link, int code) {\n    (void)link;\n",
     "ReadConfiguration.Cancel*:*InterruptedWrite*:InterruptedConfigurationWrite.*"),
    ("a cancel asked for before the session opened is dropped", "src/link/session.cpp",
     "Session::Session(Link& link, Check check) : link_(link) {\n",
     "Session::Session(Link& link, Check check) : link_(link) {\n    link_.CancelFlag.clear();\n",
     "Session.*:SearchStop.*"),
    ("a read block advances the gauge by 1 instead of 2", "src/devmem/blocks.cpp",
     "progressCount += 2;", "progressCount += 1;", "ReadConfiguration.*"),
    ("port-open message with one blank fewer", "src/link/status.cpp",
     '"Нельзя открыть   COM-порт"', '"Нельзя открыть  COM-порт"'),
    ("sensor name with one blank fewer", "src/channel/sensors.cpp",
     '"  Pt100  (W=1.385)"', '" Pt100  (W=1.385)"'),
    ("1200 baud time-out 0.0000517 day instead of 0.00005175", "src/link/timeouts.cpp",
     "Duration{4'471'200}", "Duration{4'466'880}"),
    ("write-enable code with two digits swapped", "src/link/requests.h",
     "kWriteEnableCode = 51736", "kWriteEnableCode = 51763"),
    ("block CRC started at 0xA5A5", "src/link/crc.h",
     "kBlockCrcStart = 0xA55A", "kBlockCrcStart = 0xA5A5"),
    ("identification value read with its bytes in the wrong order", "src/config/image.cpp",
     "b[18] | (b[19] << 8) | (b[20] << 16)", "b[20] | (b[19] << 8) | (b[18] << 16)"),
    ("settled value taken from the whole run instead of the stability window",
     "src/channel/sensor_statistics.cpp",
     "w.first = series.firstAtOrAfter(w.fromSeconds);", "w.first = 0;"),
    ("a point at the plot's right edge left out", "src/channel/sensor_series.cpp",
     "p != series.end() && p->seconds <= to;", "p != series.end() && p->seconds < to;"),
    ("axis ticks allowed at 4 times a power of ten", "src/channel/axis_ticks.cpp",
     "for (const int mantissa : {1, 2, 5}) {", "for (const int mantissa : {1, 2, 4, 5}) {"),
]

FAST_E2E_FILTER = "-SearchFullSweep.*"
BUILD_TIMEOUT = 1800
CORE_TIMEOUT = 300
E2E_TIMEOUT = 1200


def run(cmd, cwd=None, timeout=None):
    try:
        p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           text=True, timeout=timeout)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired as e:
        out = e.stdout.decode() if isinstance(e.stdout, bytes) else (e.stdout or "")
        return "timeout", out


def sync(repo, scratch):
    """Copies the checkout's tracked files (as they are on disk) into the scratch source."""
    files = subprocess.run(["git", "ls-files", "-z"], cwd=repo, stdout=subprocess.PIPE,
                           check=True).stdout.decode().split("\0")
    wanted = set()
    for f in files:
        if not f or not os.path.exists(os.path.join(repo, f)):
            continue
        wanted.add(f)
        src, dst = os.path.join(repo, f), os.path.join(scratch, f)
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        if not os.path.exists(dst) or open(src, "rb").read() != open(dst, "rb").read():
            # A plain copy: the file gets the present time, so the build sees it changed.
            shutil.copyfile(src, dst)
    for root, _, names in os.walk(scratch):
        for n in names:
            rel = os.path.relpath(os.path.join(root, n), scratch)
            if rel not in wanted:
                os.remove(os.path.join(root, n))


def failed_tests(output):
    return sorted(set(re.findall(r"^\[  FAILED  \] (\S+\.\S+)", output, re.M)))


def suite(binary, test_filter, timeout):
    """Runs one gtest binary; returns the tests that failed twice (a second run of the
    failures alone tells a caught mistake from a timing test upset by a loaded machine)."""
    code, out = run([binary, "--gtest_filter=" + test_filter], cwd=os.path.dirname(binary),
                    timeout=timeout)
    if code == "timeout":
        return [os.path.basename(binary) + " (timed out)"]
    failed = failed_tests(out)
    if code != 0 and not failed:
        return ["%s (exit %s)" % (os.path.basename(binary), code)]
    if not failed:
        return []
    code, out = run([binary, "--gtest_filter=" + ":".join(failed)], cwd=os.path.dirname(binary),
                    timeout=timeout)
    return failed_tests(out) if code != "timeout" else failed


def suites(build, make, first=None):
    """Builds and runs the fast suites; returns the failing tests (empty when all passed).
    The end-to-end tests are built only when the core tests pass, and those named by
    `first` run before the rest of them."""
    tests = os.path.join(build, "tests")
    code, out = run(make + ["core_tests", "rv740x-sim"], timeout=BUILD_TIMEOUT)
    if code != 0:
        return None, out
    caught = suite(os.path.join(tests, "core_tests"), "*", CORE_TIMEOUT)
    if caught:
        return caught, ""
    code, out = run(make + ["e2e_tests"], timeout=BUILD_TIMEOUT)
    if code != 0:
        return None, out
    e2e = os.path.join(tests, "e2e_tests")
    if first:
        caught = suite(e2e, first, E2E_TIMEOUT)
        if caught:
            return caught, ""
    return suite(e2e, FAST_E2E_FILTER, E2E_TIMEOUT), ""


def main(argv):
    if "--list" in argv:
        for i, (name, path, *_) in enumerate(MUTATIONS, 1):
            print("%2d  %-62s %s" % (i, name, path))
        return 0
    chosen = [int(a) for a in argv if a.isdigit()] or list(range(1, len(MUTATIONS) + 1))
    repo = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
    work = os.environ.get("RV740X_MUTATION_DIR", "/tmp/rv740x-mutations")
    scratch, build = os.path.join(work, "src"), os.path.join(work, "build")
    os.makedirs(scratch, exist_ok=True)
    sync(repo, scratch)

    configure = ["cmake", "-S", scratch, "-B", build, "-G", "Ninja", "-DRV740X_WERROR=ON",
                 "-DRV740X_BUILD_UI=OFF", "-DRV740X_BUILD_BENCH=OFF"]
    if shutil.which("ccache"):
        configure.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
    make = ["cmake", "--build", build, "-j", os.environ.get("RV740X_JOBS", "2"), "--target"]
    code, out = run(configure, timeout=BUILD_TIMEOUT)
    if code != 0:
        print(out)
        return 2
    code, out = run(make + ["core_tests", "e2e_tests", "rv740x-sim"], timeout=BUILD_TIMEOUT)
    if code != 0:
        print(out[-4000:])
        print("the unchanged code does not build")
        return 2
    baseline = [] if "--no-baseline" in argv else suites(build, make)[0]
    if baseline:
        print("the unchanged code fails already: " + ", ".join(baseline))
        return 2
    print("unchanged code: fast suites %s" % ("not run" if "--no-baseline" in argv else "pass"),
          flush=True)

    survivors = 0
    for i in chosen:
        name, path, before, after, *first = MUTATIONS[i - 1]
        target = os.path.join(scratch, path)
        original = open(target, encoding="utf-8").read()
        count = original.count(before)
        if count != 1:
            print("%2d  DOES NOT APPLY (%d matches)  %s" % (i, count, name))
            survivors += 1
            continue
        start = time.time()
        try:
            open(target, "w", encoding="utf-8").write(original.replace(before, after))
            caught, out = suites(build, make, first[0] if first else None)
            if caught is None:
                print("%2d  DOES NOT BUILD  %s\n%s" % (i, name, out[-2000:]))
                survivors += 1
                continue
        finally:
            open(target, "w", encoding="utf-8").write(original)
        verdict = "caught" if caught else "SURVIVED"
        survivors += 0 if caught else 1
        shown = ", ".join(caught[:4]) + (" and %d more" % (len(caught) - 4) if len(caught) > 4 else "")
        print("%2d  %-8s %-62s %4.0f s  %s" % (i, verdict, name, time.time() - start, shown),
              flush=True)
    # Leaves the scratch build matching the unchanged code.
    run(make + ["core_tests", "e2e_tests", "rv740x-sim"], timeout=BUILD_TIMEOUT)
    print("%d of %d mutations caught" % (len(chosen) - survivors, len(chosen)))
    return 0 if survivors == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
