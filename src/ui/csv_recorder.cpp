#include "ui/csv_recorder.h"

#include <charconv>

#include "common/file_create.h"
#include "common/wall_clock.h"

namespace kestrova {

bool CsvRecorder::Start(const std::filesystem::path& path) {
    Stop();
    rows_ = 0;
    if (!OpenOutput(file_, path)) {
        file_.close();
        return false;
    }
    file_ << "time";
    for (const TrendPoint& p : TrendPoints) file_ << ',' << p.name;
    file_ << '\n';
    return static_cast<bool>(file_.flush());
}

void CsvRecorder::Stop() {
    if (file_.is_open()) file_.close();
}

void CsvRecorder::Append(const TrendSample& sample) {
    if (!Recording() || !sample.AnyFromUnit()) return;
    file_ << IsoTimeMs(sample.timeMs);
    char number[32];
    for (std::size_t i = 0; i < TrendPointCount; ++i) {
        file_ << ',';
        if (!sample.fromUnit[i]) continue;
        const auto end = std::to_chars(number, number + sizeof number, sample.values[i]).ptr;
        file_.write(number, end - number);
    }
    file_ << '\n';
    ++rows_;
}

}  // namespace kestrova
