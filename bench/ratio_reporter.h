// The console table of Google Benchmark, followed by one line per piece of work: our rate
// and each peer's, with the ratio ours/peer. Benchmarks are named "<work>/<who>/<data>"
// (or "<work>/<data>" grouped by the caller); "ours" is ours. The rate is bytes per second
// (shown as MB/s), or items per second for work counted in operations.
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
      auto rate = run.counters.find("bytes_per_second");
      if (rate == run.counters.end()) rate = run.counters.find("items_per_second");
      if (rate == run.counters.end()) continue;
      const bool bytes = rate->first == "bytes_per_second";
      const std::string name = run.benchmark_name();
      const auto first = name.find('/');
      const auto second = name.find('/', first + 1);
      if (first == std::string::npos || second == std::string::npos) continue;
      const auto third = name.find('/', second + 1);
      const std::string data = name.substr(second + 1, third == std::string::npos ? third : third - second - 1);
      const std::string work = name.substr(0, first) + " " + data;
      rates_[work][name.substr(first + 1, second - first - 1)] = bytes ? rate->second.value / 1e6 : rate->second.value;
      units_[work] = bytes ? "MB/s" : "op/s";
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-32s %12s   %s\n", "work", "ours", "peers (ours/peer)");
    for (const auto &[work, by_who] : rates_) {
      const auto ours = by_who.find("ours");
      if (ours == by_who.end()) continue;
      std::printf("%-32s %9.1f %s ", work.c_str(), ours->second, units_[work].c_str());
      for (const auto &[who, rate] : by_who) {
        if (who != "ours") std::printf(" %s: %.1f (%.2fx)", who.c_str(), rate, ours->second / rate);
      }
      std::printf("\n");
    }
  }

 private:
  std::map<std::string, std::map<std::string, double>> rates_;
  std::map<std::string, std::string> units_;
};

}  // namespace ydr::bench
