// kestrova monitor: once a second the link's figures and each axis's values, as a line, a JSON
// object or a CSV row.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "common/axis.h"
#include "common/number_text.h"
#include "core/core_tables.h"
#include "json_text.h"
#include "link_figures.h"
#include "port/udev_port_catalogue.h"
#include "tick_loop.h"
#include "unit_session.h"

namespace kestrova::cli {
namespace {

constexpr std::chrono::milliseconds Interval{1000};
constexpr std::array<std::string_view, AxisCount> AxisNames{"Pan", "Tilt", "Roll"};

// One row: each column's name and its value; a value the runtime does not know is empty.
struct Cell {
    std::string name;
    std::optional<std::string> value;
    bool text;  // a word, not a number (quoted in JSON)
};
using Row = std::vector<Cell>;

// "2024-05-06T07:08:09+02:00"
std::string IsoTime() {
    const std::tm now = SystemLocalTime();
    std::array<char, 40> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &now);
    std::array<char, 8> zone{};
    std::strftime(zone.data(), zone.size(), "%z", &now);  // "+0200"
    return std::string(text.data(), length) + std::string(zone.data(), 3) + ":" +
           std::string(zone.data() + 3, 2);
}

std::string_view LinkText(const UnitSession& unit) {
    if (unit.Core().Port().LinkState() != PortLinkState::Open) return "No Comms";
    switch (unit.Core().State().Comms) {
        case CommsState::Good: return "Comms Good";
        case CommsState::Connecting: return "Connecting";
        case CommsState::PortOpen: return "No replies";
        default: return "No Comms";
    }
}

std::string_view ModeText(double mode) {
    if (mode == core::ModeNormal) return "Normal";
    if (mode == core::ModeIncrement) return "Increment";
    if (mode == core::ModeDecrement) return "Decrement";
    return "?";
}

// One decimal; none (an empty cell, JSON null) without an exchange in the interval.
std::optional<std::string> Percent(const std::optional<double>& value) {
    if (!value) return std::nullopt;
    return DoubleToText(std::round(*value * 10.0) / 10.0);
}

std::string Count(std::uint64_t value) { return std::to_string(value); }

Row TakeRow(const UnitSession& unit, LinkFigureSource& link) {
    const LinkFigures f = link.Take(std::chrono::duration<double>(Interval).count());
    Row row{
        {"time", IsoTime(), true},
        {"link", std::string(LinkText(unit)), true},
        {"exchanges per second", DoubleToText(std::round(f.exchangesPerSecond)), false},
        {"good replies %", Percent(f.goodRepliesPercent), false},
        {"time-outs", Count(f.timeouts), false},
        {"checksum errors", Count(f.checksumErrors), false},
        {"error replies", Count(f.errorReplies), false},
    };
    const auto& table = unit.Core().Points().PointTable();
    for (const Axis axis : Axes) {
        const core::AxisPoints& p = core::PointsOf(axis);
        const std::string name(AxisNames[AxisIndex(axis)]);
        const auto value = [&](int point) { return DoubleToText(table[point].ScaledValue); };
        row.push_back({name + " mode", std::string(ModeText(table[p.mode].ScaledValue)), true});
        row.push_back({name + " neutral", value(p.neutral), false});
        row.push_back({name + " positive adjust", value(p.posAdjust), false});
        row.push_back({name + " negative adjust", value(p.negAdjust), false});
        row.push_back({name + " output", value(p.output), false});
    }
    return row;
}

std::string CsvHeader(const Row& row) {
    std::string line;
    for (const Cell& cell : row) line += (line.empty() ? "" : ",") + cell.name;
    return line + "\n";
}

std::string CsvLine(const Row& row) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0) line += ',';
        line += row[i].value.value_or("");
    }
    return line + "\n";
}

std::string JsonLine(const Row& row) {
    std::string line = "{";
    for (std::size_t i = 0; i < row.size(); ++i) {
        const Cell& cell = row[i];
        if (i > 0) line += ", ";
        line += JsonString(cell.name) + ": ";
        if (!cell.value) {
            line += "null";
        } else {
            line += cell.text ? JsonString(*cell.value) : *cell.value;
        }
    }
    return line + "}\n";
}

// "<time> <link> | <name> <value> ..." with "-" for what is not known.
std::string TextLine(const Row& row) {
    std::string line = row[0].value.value_or("") + "  " + row[1].value.value_or("");
    for (std::size_t i = 2; i < row.size(); ++i) {
        line += "  " + row[i].name + " " + row[i].value.value_or("-");
    }
    return line + "\n";
}

}  // namespace

ExitCode RunMonitor(const CommonOptions& common, const MonitorOptions& options, StopSignal& stop) {
    std::FILE* csv = nullptr;
    if (!options.csvFile.empty()) {
        csv = std::fopen(options.csvFile.c_str(), "w");
        if (csv == nullptr) {
            throw CommandError{ExitCode::FileRefused, "monitor " + options.csvFile.string(),
                               "cannot create the file"};
        }
    }
    const auto closeCsv = [&csv] {
        if (csv != nullptr) std::fclose(csv);
        csv = nullptr;
    };
    try {
        UnitSession unit(common.configFolder, std::make_unique<UdevPortCatalogue>(),
                         common.verbose);
        unit.Start();
        unit.Open("monitor", options.port);
        TickLoop loop({&unit}, stop);
        LinkFigureSource link(unit.Core());
        for (int second = 0; !options.seconds || second < *options.seconds; ++second) {
            if (loop.RunFor(Interval) == TickLoop::Outcome::Stopped) break;
            const Row row = TakeRow(unit, link);
            if (csv != nullptr) {
                if (second == 0) std::fputs(CsvHeader(row).c_str(), csv);
                std::fputs(CsvLine(row).c_str(), csv);
                std::fflush(csv);
            }
            std::fputs((common.json ? JsonLine(row) : TextLine(row)).c_str(), stdout);
            std::fflush(stdout);
        }
    } catch (...) {
        closeCsv();
        throw;
    }
    closeCsv();
    return ExitCode::Done;
}

}  // namespace kestrova::cli
