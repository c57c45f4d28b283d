// The summary of a benchmark run: a console reporter that also keeps the
// median CPU time of every benchmark named "<operation>/Pirin" or
// "<operation>/SQLite", and prints the table of the operations with both
// times and their ratio (Pirin / SQLite) once the run is over.
//
// Ownership: plain values. Threads: the benchmark thread. Failures: none.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace vorlano::bench {

struct TOperation {
    std::string Key;      // the benchmark name's first part
    std::string Title;    // what the table shows
    std::string Missing;  // why it is not measured, when it is not
};

class TRatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override;
    void PrintTable(std::ostream& out, const std::vector<TOperation>& operations) const;

  private:
    // Median CPU time in microseconds, by benchmark name (wall time on a
    // shared two-core machine mostly measures the other processes).
    std::map<std::string, double> FMicroseconds;
    std::map<std::string, bool> FFromMedian;
};

}  // namespace vorlano::bench
