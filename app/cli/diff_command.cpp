// kestrova diff: the unit's calibration values now against a parameter file.
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>

#include "commands.h"
#include "common/errors.h"
#include "common/ini_document.h"
#include "common/number_text.h"
#include "common/utf8_path.h"
#include "core/restore_values.h"
#include "json_text.h"
#include "port/system_port.h"
#include "tick_loop.h"
#include "unit_ready.h"
#include "unit_session.h"

namespace kestrova::cli {
namespace {

constexpr std::string_view ScaledValueKey = "ScaledValue";

struct Difference {
    std::string_view name;
    std::string unit;
    std::string file;  // "missing" when the file has no entry
    bool differs;
};

std::string Text(const std::array<Difference, core::RestoreValueCount>& values, bool json) {
    std::string out = json ? "[\n" : "";
    for (std::size_t i = 0; i < values.size(); ++i) {
        const Difference& v = values[i];
        if (json) {
            out += "  {\"value\": " + JsonString(v.name) + ", \"unit\": " + v.unit +
                   ", \"file\": " + (v.file == "missing" ? "null" : v.file) +
                   ", \"differs\": " + (v.differs ? "true" : "false") + "}" +
                   (i + 1 < values.size() ? ",\n" : "\n");
            continue;
        }
        std::array<char, 128> line{};
        std::snprintf(line.data(), line.size(), "%c %-22s unit %-10s file %s\n",
                      v.differs ? '*' : ' ', std::string(v.name).c_str(), v.unit.c_str(),
                      v.file.c_str());
        out += line.data();
    }
    return json ? out + "]\n" : out;
}

}  // namespace

ExitCode RunDiff(const CommonOptions& common, const DiffOptions& options, StopSignal& stop) {
    const std::string fileWhat = "diff " + Utf8Of(options.file);
    RequireFile("diff", options.file);
    UnitSession unit(common.configFolder, MakePortCatalogue(), common.verbose);
    unit.Start();
    unit.Open("diff", options.port);
    TickLoop loop({&unit}, stop);
    WaitUntilReady(loop, unit, "diff");

    // Read as the core reads a file for a restore.
    std::optional<IniDocument> read;
    try {
        read.emplace(options.file);
        unit.Core().LoadParameterFile(*read);
    } catch (const std::runtime_error& failure) {  // ConversionError, FileError
        throw CommandError{ExitCode::FileRefused, fileWhat, failure.what()};
    }
    const IniDocument& file = *read;
    const auto& buffer = unit.Core().State().CalibrationBuffer;
    const auto& table = unit.Core().Points().PointTable();
    std::array<Difference, core::RestoreValueCount> values;
    bool anyDiffers = false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const core::RestoreValue& value = core::RestoreValueTable[i];
        const int point = core::ValuePoint(value);
        const bool present = file.HasKey(TagFile::PointSectionName(point), ScaledValueKey);
        // Compared as the restore sends and verifies the value: in the point's raw steps. A value
        // between two steps is one the restore refuses, so it differs.
        const PointRecord& record = table[point];
        const bool differs = !present || PointDatabase::WholeRawFromScaled(
                                             buffer[point], record.ScaleMult, record.ScaleOffset) !=
                                             static_cast<double>(record.RawValue);
        values[i] = {value.name, DoubleToText(table[point].ScaledValue),
                     present ? DoubleToText(buffer[point]) : "missing", differs};
        anyDiffers = anyDiffers || differs;
    }
    std::fputs(Text(values, common.json).c_str(), stdout);
    return anyDiffers ? ExitCode::Differences : ExitCode::Done;
}

}  // namespace kestrova::cli
