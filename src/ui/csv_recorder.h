#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "ui/trend_samples.h"

namespace kestrova {

// Records trend samples into a CSV file: a header line with the time and the readable names of
// the trend points, then one line per sample, the time in ISO 8601 (UTC, milliseconds) and the
// values with a point as decimal separator, whatever the locale. A value that did not come from
// the controller leaves its cell empty; a sample without any such value writes no line.
class CsvRecorder {
public:
    // Opens (replaces) the file and writes the header; false when the file cannot be written.
    bool Start(const std::filesystem::path& path);
    void Stop();
    bool Recording() const { return file_.is_open(); }
    void Append(const TrendSample& sample);
    std::uint64_t RowsWritten() const { return rows_; }

private:
    std::ofstream file_;
    std::uint64_t rows_ = 0;
};

}  // namespace kestrova
