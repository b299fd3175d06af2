#include "tests/support/fault_injection.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ydr::test {

std::string FaultRun::Summary() const {
  if (!injected) return "no fault injected";
  return call + (write_side ? " (write side)" : " (read side)") + " on '" + target + "'";
}

FaultRun RunWithFault(const std::string &shim, const std::vector<std::string> &argv, const Fault &fault,
                      const std::string &cwd, const std::string &log) {
  std::remove(log.c_str());
  // gcc's sanitizer runtime wants to be the first library loaded; the interposer goes first
  // on purpose, under its interceptors' lookups.
  std::string sanitizer = std::getenv("ASAN_OPTIONS") != nullptr ? std::getenv("ASAN_OPTIONS") : "";
  sanitizer += std::string(sanitizer.empty() ? "" : ":") + "verify_asan_link_order=0";
  const std::vector<std::string> env = {"LD_PRELOAD=" + shim,
                                        "ASAN_OPTIONS=" + sanitizer,
                                        "YDR_FAULT_CALLS=" + fault.families,
                                        "YDR_FAULT_AT=" + std::to_string(fault.at),
                                        "YDR_FAULT_ERROR=" + fault.error,
                                        "YDR_FAULT_LOG=" + log,
                                        std::string("YDR_FAULT_STDOUT=") + (fault.standard_output ? "1" : "0"),
                                        "YDR_FAULT_SPARE=" + fault.spared};
  FaultRun run;
  run.result = RunProcess(argv, env, "", cwd);
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    if (word == "calls") {
      words >> run.calls;
    } else if (word == "fault") {
      std::string family, side;
      words >> family >> run.call >> side;
      std::getline(words >> std::ws, run.target);
      run.write_side = side == "write-side";
      run.injected = true;
    }
  }
  return run;
}

std::vector<long> SweepPoints(long calls, long cap) {
  // Every call, or `cap` calls spread evenly from the first to the last.
  std::vector<long> points;
  const long count = std::min(calls, cap);
  for (long i = 0; i < count; ++i) points.push_back(count == calls ? i + 1 : 1 + i * (calls - 1) / (count - 1));
  return points;
}

}  // namespace ydr::test
