#pragma once

#include "common/ini_document.h"
#include "kestrova_run.h"
#include "points/tag_file.h"

namespace kestrova::test {

// A parameter file with the nine calibration values: the neutral values given, adjust values 0.
inline std::filesystem::path WriteCalibration(const TempFolder& folder, std::string_view panNeutral,
                                              std::string_view panPositive = "0") {
    const std::filesystem::path path = folder / "cal.PRM";
    IniDocument file(path);
    for (const auto& [point, value] :
         std::vector<std::pair<int, std::string_view>>{{10, panPositive},
                                                       {11, panNeutral},
                                                       {13, "0"},
                                                       {20, "0"},
                                                       {21, "2048"},
                                                       {23, "0"},
                                                       {30, "0"},
                                                       {31, "2048"},
                                                       {33, "0"}}) {
        file.WriteString(TagFile::PointSectionName(point), "ScaledValue", value);
    }
    file.Save();
    return path;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// A unit that never answers.
inline SimOptions Silent() {
    SimOptions options;
    options.silent = true;
    return options;
}

}  // namespace kestrova::test
