#ifndef TAVORA_BENCH_PEAK_MEMORY_H_
#define TAVORA_BENCH_PEAK_MEMORY_H_

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace bench {

// How far the process's resident memory rose above its level when this was
// made. The kernel's high-water mark is reset first, so that an earlier,
// higher peak (another benchmark's) does not hide this stretch's own; where
// the reset is refused the figure is the rise of the all-time peak, a lower
// bound.
class PeakMemoryGrowth {
 public:
  PeakMemoryGrowth() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    start_ = clear.good() ? ResidentBytes() : PeakBytes();
  }

  double Bytes() const { return std::max(0.0, PeakBytes() - start_); }

  // As the counter "peak_rss_growth", in binary multiples ("12.5Mi").
  void Report(benchmark::State& state) const {
    state.counters["peak_rss_growth"] =
        benchmark::Counter(Bytes(), benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
  }

 private:
  static double PeakBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;  // reported in KiB
  }

  static double ResidentBytes() {
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
  }

  double start_ = 0;
};

}  // namespace bench

#endif  // TAVORA_BENCH_PEAK_MEMORY_H_
