#include "protocol/trace_writer.h"

#include <cstdio>

#include "common/number_text.h"
#include "common/wall_clock.h"

namespace kestrova {

namespace {

void AppendHex(std::string& line, const std::uint8_t* bytes, std::size_t kept, std::size_t length) {
    char hex[4];
    for (std::size_t i = 0; i < kept; ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
        line += hex;
    }
    if (length > kept) line += " ...";
    if (length == 0) line += "-";
}

void AppendValue(std::string& line, const TraceEntry& e, const PointDatabase& points) {
    if (!e.hasValue) {
        line += "-";
        return;
    }
    line += IntToText(e.value);
    if (!PointDatabase::PointIndexValid(e.point)) return;
    const PointRecord& p = points.PointTable()[static_cast<std::size_t>(e.point)];
    const ScaleResult scaled =
        PointDatabase::ScaleRawValue(e.value, p.ScaleMult, p.ScaleOffset, p.ScaleMin, p.ScaleMax);
    line += " (";
    line += DoubleToText(scaled.value);
    line += ")";
}

}  // namespace

std::string TraceLine(const TraceEntry& e, const PointDatabase& points) {
    std::string line = IsoTimeMs(e.timeMs);
    char field[64];
    std::snprintf(field, sizeof field, " block %02d %s point %02d ", e.block,
                  e.command == WriteCommandChar ? "write" : "read ", e.point);
    line += field;
    if (PointDatabase::PointIndexValid(e.point)) {
        line += points.PointTable()[static_cast<std::size_t>(e.point)].Name.data();
    }
    std::snprintf(field, sizeof field, " address 0x%04X count %u value ", e.address,
                  static_cast<unsigned>(e.count));
    line += field;
    AppendValue(line, e, points);
    line += " tx ";
    AppendHex(line, e.request.data(), std::min<std::size_t>(e.requestLength, e.request.size()),
              e.requestLength);
    line += " rx ";
    AppendHex(line, e.reply.data(), std::min<std::size_t>(e.replyLength, e.reply.size()),
              e.replyLength);
    line += " : ";
    line += ExchangeResultText(e.result);
    const int code = ErrorReplyCode(e.result);
    if (code >= 0) {
        std::snprintf(field, sizeof field, " (code 0x%02X)", code);
        line += field;
    }
    return line;
}

void WriteExchangeTrace(std::ostream& out, const ExchangeTrace& trace,
                        const PointDatabase& points) {
    for (std::size_t i = 0; i < trace.Size(); ++i) out << TraceLine(trace.At(i), points) << '\n';
}

}  // namespace kestrova
