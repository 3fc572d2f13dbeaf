// kestrova monitor: once a second the link's figures and each axis's values, as a line, a JSON
// object or a CSV row.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "common/axis.h"
#include "common/number_text.h"
#include "common/utf8_path.h"
#include "core/core_tables.h"
#include "core/ui_names.h"
#include "json_text.h"
#include "link_figures.h"
#include "output_file.h"
#include "port/system_port.h"
#include "read_points.h"
#include "tick_loop.h"
#include "unit_ready.h"
#include "unit_session.h"

namespace kestrova::cli {
namespace {

constexpr std::chrono::milliseconds Interval{1000};
// The link's settle time (ConnectSettleLoad system ticks of 10 ms): a unit that has not answered
// once by then is taken as silent.
constexpr std::chrono::milliseconds ReplyLimit{ConnectSettleLoad * 10};
constexpr std::array<std::string_view, AxisCount> AxisNames{"Pan", "Tilt", "Roll"};

// One row: each column's name and its value; a value the runtime does not know is empty.
struct Cell {
    std::string name;
    std::optional<std::string> value;
    bool text;  // a word, not a number (quoted in JSON)
};
using Row = std::vector<Cell>;

// "2024-05-06T07:08:09+02:00". The offset is worked out from the local and the UTC time of the
// same moment: strftime's %z gives a zone name on Windows.
std::string IsoTime() {
    const std::time_t moment = std::time(nullptr);
    std::tm now{};
    std::tm utc{};
    localtime_r(&moment, &now);
    gmtime_r(&moment, &utc);
    std::array<char, 40> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &now);
    int days = now.tm_yday - utc.tm_yday;
    if (now.tm_year != utc.tm_year) days = now.tm_year > utc.tm_year ? 1 : -1;
    const int minutes = days * 1440 + (now.tm_hour - utc.tm_hour) * 60 + now.tm_min - utc.tm_min;
    std::array<char, 16> zone{};
    std::snprintf(zone.data(), zone.size(), "%c%02d:%02d", minutes < 0 ? '-' : '+',
                  std::abs(minutes) / 60, std::abs(minutes) % 60);
    return std::string(text.data(), length) + zone.data();
}

std::string_view LinkText(const UnitSession& unit) {
    if (unit.Core().Port().LinkState() != PortLinkState::Open)
        return display_values::NoCommsCaption;
    switch (unit.Core().State().Comms) {
        case CommsState::Good: return display_values::CommsGood;
        case CommsState::Connecting: return "Connecting";
        case CommsState::PortOpen: return "No replies";
        default: return display_values::NoCommsCaption;
    }
}

std::string ModeText(double mode) {
    if (mode == core::ModeNormal) return std::string(display_values::Normal);
    if (mode == core::ModeIncrement) return std::string(display_values::Increment);
    if (mode == core::ModeDecrement) return std::string(display_values::Decrement);
    return "?";
}

// One decimal; none (an empty cell, JSON null) without an exchange in the interval.
std::optional<std::string> Percent(const std::optional<double>& value) {
    if (!value) return std::nullopt;
    return DoubleToText(std::round(*value * 10.0) / 10.0);
}

std::string Count(std::uint64_t value) { return std::to_string(value); }

Row TakeRow(const UnitSession& unit, const ReadPoints& read, LinkFigureSource& link) {
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
        // Only what the unit said since its port opened; the point table holds the tag file's
        // values until then.
        const auto shown = [&](int point, const auto& text) -> std::optional<std::string> {
            if (!read.Read(point)) return std::nullopt;
            return text(table[point].ScaledValue);
        };
        const auto value = [&](int point) { return shown(point, DoubleToText); };
        row.push_back({name + " mode", shown(p.mode, ModeText), true});
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
    UnitSession unit(common.configFolder, MakePortCatalogue(), common.verbose);
    unit.Start();
    unit.Open("monitor", options.port);
    // Opened only now, so a port that does not open leaves an existing file as it was.
    std::optional<OutputFile> csv;
    if (!options.csvFile.empty())
        csv.emplace(options.csvFile, "monitor " + Utf8Of(options.csvFile));
    OutputFile out = OutputFile::StandardOutput("monitor standard output");
    TickLoop loop({&unit}, stop);
    LinkFigureSource link(unit.Core());
    ReadPoints read(unit);
    for (int second = 0; !options.seconds || second < *options.seconds; ++second) {
        const auto outcome = loop.RunUntil(
            [&] {
                read.Follow(unit);
                return false;
            },
            Interval);
        if (outcome == TickLoop::Outcome::Stopped) {
            if (csv) csv->Close();
            throw Interruption("monitor", unit, "stopped");
        }
        const Row row = TakeRow(unit, read, link);
        if (csv) {
            if (second == 0) csv->Write(CsvHeader(row));
            csv->Write(CsvLine(row));
        }
        out.Write(common.json ? JsonLine(row) : TextLine(row));
        const bool last = options.seconds && second + 1 == *options.seconds;
        if (!read.AnyReply() && (last || TickLoop::NowNs() - unit.OpenedAtNs() >=
                                             std::chrono::nanoseconds(ReplyLimit).count())) {
            if (csv) csv->Close();
            throw CommandError{ExitCode::LinkFailure, "monitor " + unit.Name(), "no replies"};
        }
    }
    if (csv) csv->Close();
    return ExitCode::Done;
}

}  // namespace kestrova::cli
