"""The result of a run in the emulated 32-bit machine (scripts/test-win32.sh): one line per
test program, its tests counted from its GoogleTest report, every failed test named; exits
non-zero when a program failed, left no report, or did not run, or when the run did not
finish."""
import os
import sys
import xml.etree.ElementTree as ElementTree

out = sys.argv[1]
planned = []
with open(os.path.join(out, "plan"), encoding="utf-8") as plan:
    for line in plan:
        words = line.rstrip("\n").split("\t")
        if len(words) >= 4:
            planned.append((words[0], words[1]))
ran = {}
if os.path.exists(os.path.join(out, "status")):
    with open(os.path.join(out, "status"), encoding="utf-8") as status:
        for line in status:
            name, code, seconds, *ended = line.split()
            ran[name] = (int(code), int(seconds), ended)

totals = {"run": 0, "passed": 0, "failed": 0, "skipped": 0}
bad = []
print(f"{'program':40} {'exit':>4} {'time':>6} {'tests':>6} {'passed':>6} {'failed':>6} {'skipped':>7}")
for name, kind in planned:
    if name not in ran:
        print(f"{name:40} did not run")
        bad.append(name)
        continue
    code, seconds, ended = ran[name]
    counts = {"run": 1, "passed": int(code == 0), "failed": int(code != 0), "skipped": 0}
    failures = []
    report = os.path.join(out, name + ".xml")
    if kind == "gtest":
        if os.path.exists(report):
            counts = {"run": 0, "passed": 0, "failed": 0, "skipped": 0}
            for case in ElementTree.parse(report).iter("testcase"):
                if case.get("result") == "skipped" or case.find("skipped") is not None:
                    counts["skipped"] += 1
                elif case.find("failure") is not None:
                    counts["run"] += 1
                    counts["failed"] += 1
                    failures.append(f"{case.get('classname')}.{case.get('name')}")
                elif case.get("status") == "run":
                    counts["run"] += 1
                    counts["passed"] += 1
        else:
            failures.append("(no report: the program ended before writing it)")
        for test in ended:
            counts["run"] += 1
            counts["failed"] += 1
            failures.append(f"{test} (ended the program, exit {code})")
    for key in totals:
        totals[key] += counts[key]
    print(f"{name:40} {code:>4} {seconds:>5}s {counts['run']:>6} {counts['passed']:>6} {counts['failed']:>6} "
          f"{counts['skipped']:>7}")
    for failure in failures:
        print(f"    failed: {failure}")
    if code != 0 or failures:
        bad.append(name)

finished = os.path.exists(os.path.join(out, "finished"))
print(f"in all: {totals['run']} run, {totals['passed']} passed, {totals['failed']} failed, "
      f"{totals['skipped']} skipped; {len(planned) - len(bad)} of {len(planned)} programs passed"
      + ("" if finished else "; the run did not finish"))
if bad:
    print("failed: " + " ".join(bad) + f" (their output: {out}/NAME.log)")
sys.exit(0 if finished and not bad else 1)
