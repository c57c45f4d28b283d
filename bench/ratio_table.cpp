#include "bench/ratio_table.h"

#include <cstdio>

namespace vorlano::bench {
namespace {

double ToMicroseconds(double value, benchmark::TimeUnit unit) {
    switch (unit) {
        case benchmark::kNanosecond: return value / 1e3;
        case benchmark::kMicrosecond: return value;
        case benchmark::kMillisecond: return value * 1e3;
        case benchmark::kSecond: return value * 1e6;
    }
    return value;
}

std::string FormatTime(double microseconds) {
    char text[32];
    if (microseconds >= 1e6)
        std::snprintf(text, sizeof text, "%.2f s", microseconds / 1e6);
    else if (microseconds >= 1e3)
        std::snprintf(text, sizeof text, "%.2f ms", microseconds / 1e3);
    else
        std::snprintf(text, sizeof text, "%.2f us", microseconds);
    return text;
}

}  // namespace

void TRatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
        if (run.error_occurred) continue;
        const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        if (!median && !single) continue;
        const std::string name = run.run_name.function_name;
        FMicroseconds[name] = ToMicroseconds(run.GetAdjustedCPUTime(), run.time_unit);
        FFromMedian[name] = median;
    }
}

void TRatioReporter::PrintTable(std::ostream& out, const std::vector<TOperation>& operations) const {
    char line[256];
    std::snprintf(line, sizeof line, "\n%-48s %12s %12s %8s\n", "operation (median CPU time)", "Pirin", "SQLite",
                  "ratio");
    out << line << std::string(83, '-') << '\n';
    for (const TOperation& operation : operations) {
        const auto pirin = FMicroseconds.find(operation.Key + "/Pirin");
        const auto sqlite = FMicroseconds.find(operation.Key + "/SQLite");
        if (pirin == FMicroseconds.end() || sqlite == FMicroseconds.end()) {
            const std::string why = operation.Missing.empty() ? "not run (filtered out)" : operation.Missing;
            std::snprintf(line, sizeof line, "%-48s %s\n", operation.Title.c_str(), why.c_str());
        } else {
            std::snprintf(line, sizeof line, "%-48s %12s %12s %8.2f\n", operation.Title.c_str(),
                          FormatTime(pirin->second).c_str(), FormatTime(sqlite->second).c_str(),
                          pirin->second / sqlite->second);
        }
        out << line;
    }
}

}  // namespace vorlano::bench
