#!/bin/bash
# The emulated 32-bit machine's program for a test run (scripts/test-win32.sh boots it with
# the worktree shared at its own path and the results folder at /ydr-out): runs each test
# program that /ydr-out/plan lists under 32-bit wine, one after another, each in its folder
# and with a deadline, and writes beside the plan each program's output (NAME.log), its
# GoogleTest report (NAME.xml) and a line "NAME EXIT SECONDS [TESTS THAT ENDED IT]" in
# /ydr-out/status; then powers off. A plan line is NAME, KIND (gtest or program), FOLDER, PROGRAM and its
# arguments, separated by tabs.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 TZ=UTC
export WINEPREFIX=/var/lib/ydr-wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=d"
unset DISPLAY  # message boxes return at once instead of waiting
out=/ydr-out
deadline=$(cat "$out/deadline" 2>/dev/null || echo 1800)

power_off() {
  sync
  umount "$out" 2>/dev/null
  echo o >/proc/sysrq-trigger
  sleep 60
}
trap power_off EXIT

mount -t tmpfs tmpfs /tmp
echo "ydr-guest: $(uname -r) $(uname -m), wine $(wine --version 2>/dev/null), $(grep -c ^processor /proc/cpuinfo) cpu"
: >"$out/status"
wineserver -p  # one server for every program: starting it each time costs seconds here

# The program's run, its output added to NAME.log.
run() {
  (cd "$folder" && exec timeout -k 10 "$deadline" wine "$@") </dev/null >>"$out/$name.log" 2>&1
}
# The test that was running when the program's output stopped, if any.
unfinished_test() {
  awk '{ sub(/\r$/, "") } /^\[ RUN      \]/ { test = $4 } /^\[ +(OK|FAILED|SKIPPED) +\]/ { test = "" } END { print test }' "$out/$name.log"
}

while IFS=$'\t' read -r -a words; do
  [[ ${#words[@]} -ge 4 ]] || continue
  name=${words[0]} kind=${words[1]} folder=${words[2]}
  command=("${words[@]:3}")
  [[ $kind == gtest ]] && command+=("--gtest_output=xml:Z:$out/$name.xml")  # a path Windows reads as absolute
  echo "ydr-guest: $name ..."
  start=$SECONDS
  : >"$out/$name.log"
  run "${command[@]}"
  status=$?
  # A test that ended its program (no report written) fails; the program's other tests run
  # again without it, so that each one's result is still known (not after a deadline, whose
  # test may well hang again).
  ended=()
  while [[ $kind == gtest && ! -f $out/$name.xml && $status -ne 124 && $status -ne 137 && ${#ended[@]} -lt 5 &&
    " ${command[*]} " != *" --gtest_filter="* ]]; do
    test=$(unfinished_test)
    [[ -n $test ]] || break
    ended+=("$test")
    echo "=== $test ended the program; its other tests again without it" >>"$out/$name.log"
    run "${command[@]}" "--gtest_filter=-$(IFS=:; echo "${ended[*]}")"
  done
  seconds=$((SECONDS - start))
  echo "$name $status $seconds ${ended[*]}" >>"$out/status"
  echo "ydr-guest: $name exit $status in ${seconds}s${ended:+ (ended during ${ended[*]})}"
  if [[ $status -ne 0 ]]; then
    sed -n "1,/^=== /p" "$out/$name.log" | tail -n 30 | sed 's/^/  | /'  # the first run's end
    if [[ $status -eq 124 || $status -eq 137 ]]; then  # a program that ran out of time may leave others
      wineserver -k 2>/dev/null
      wineserver -p
    fi
  fi
done <"$out/plan"

wineserver -k 2>/dev/null
echo "ydr-guest: finished" | tee "$out/finished"
