#pragma once

#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/ui_names.h"
#include "core_fixture.h"

namespace kestrova::test {

// Parameter files written for a test, the restore started as the window starts it (the file,
// then the operator's "Restore" in its preview), and the restore run tick by tick.
class CalibrationFixture : public CoreFixture {
protected:
    // Sets a value as if the controller had reported it (no write request).
    void Report(int point, double value) {
        Points().WritePoint(point, value);
        Points().ClearPointWriteRequest(point);
    }
    std::filesystem::path Prm(std::string_view name) const { return Folder() / name; }

    // A parameter file with the given ScaledValue entries only.
    std::filesystem::path WriteParameters(std::string_view name,
                                          std::vector<std::pair<int, std::string>> values) {
        std::string text;
        for (const auto& [point, value] : values) {
            text += std::string("[") + TagFile::PointSectionName(point) +
                    "]\r\nScaledValue=" + value + "\r\n";
        }
        WriteText(Prm(name), text);
        return Prm(name);
    }

    // A parameter file with every value a restore sets: neutral values 2048 and adjust values 0,
    // unless given; an entry given as "" is left out.
    std::filesystem::path WriteCalibration(std::string_view name,
                                           const std::map<int, std::string>& given = {}) {
        std::map<int, std::string> values{{10, "0"}, {11, "2048"}, {13, "0"},
                                          {20, "0"}, {21, "2048"}, {23, "0"},
                                          {30, "0"}, {31, "2048"}, {33, "0"}};
        for (const auto& [point, value] : given) values[point] = value;
        std::vector<std::pair<int, std::string>> entries;
        for (const auto& [point, value] : values) {
            if (!value.empty()) entries.emplace_back(point, value);
        }
        return WriteParameters(name, entries);
    }

    void StartRestore(const std::filesystem::path& file) {
        Core().ServiceEvent("FileOpen_Selected", file.string());
        Core().ServiceEvent("RestorePreview_Selected", event_texts::Restore);
    }

    bool AnyWriteRequested() {
        for (const PointRecord& p : Points().PointTable()) {
            if ((p.Msg_Flags & MsgWriteRequest) != 0) return true;
        }
        return false;
    }

    // Runs system ticks until the restore's steps have ended; records at which tick each step
    // ran (the tick where the shown step number moved on) and the mode values of the axes seen.
    struct RestoreRun {
        std::vector<int> stepTicks;
        std::vector<std::array<double, 3>> modes;
    };
    RestoreRun RunRestore(int limit) {
        RestoreRun run;
        std::uint32_t step = State().RestoreStepNumber;
        std::array<double, 3> modes{Scaled(17), Scaled(27), Scaled(37)};
        for (int tick = 1; tick <= limit && State().RestoreStepNumber != 0; ++tick) {
            RunSystemTicks(1);
            if (State().RestoreStepNumber != step) {
                run.stepTicks.push_back(tick);
                step = State().RestoreStepNumber;
            }
            const std::array<double, 3> now{Scaled(17), Scaled(27), Scaled(37)};
            if (now != modes) run.modes.push_back(now);
            modes = now;
        }
        return run;
    }

    // Runs until the restore and its verification have ended; false when they did not within
    // limitMs.
    bool RunUntilRestoreEnds(int limitMs) {
        return RunUntil([&] { return !Core().RestoreUnderWay(); }, limitMs) >= 0;
    }
};

}  // namespace kestrova::test
