// The console table of Google Benchmark, followed by one line per piece of work: our rate
// and each peer's, with the ratio ours/peer. Benchmarks are named "<work>/<who>/<data>"
// (or "<work>/<data>" grouped by the caller); "ours" is ours.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace ydr::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      const auto rate = run.counters.find("bytes_per_second");
      if (rate == run.counters.end()) continue;
      const std::string name = run.benchmark_name();
      const auto first = name.find('/');
      const auto second = name.find('/', first + 1);
      if (first == std::string::npos || second == std::string::npos) continue;
      const auto third = name.find('/', second + 1);
      const std::string data = name.substr(second + 1, third == std::string::npos ? third : third - second - 1);
      rates_[name.substr(0, first) + " " + data][name.substr(first + 1, second - first - 1)] = rate->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-32s %12s   %s\n", "work", "ours MB/s", "peers: MB/s (ours/peer)");
    for (const auto &[work, by_who] : rates_) {
      const auto ours = by_who.find("ours");
      if (ours == by_who.end()) continue;
      std::printf("%-32s %12.1f  ", work.c_str(), ours->second / 1e6);
      for (const auto &[who, rate] : by_who) {
        if (who != "ours") std::printf(" %s: %.1f (%.2fx)", who.c_str(), rate / 1e6, ours->second / rate);
      }
      std::printf("\n");
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> rates_;
};

}  // namespace ydr::bench
