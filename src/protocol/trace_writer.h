#pragma once

#include <ostream>
#include <string>

#include "points/point_database.h"
#include "protocol/exchange_trace.h"

namespace kestrova {

// One exchange as a line of text: the time (ISO 8601, UTC, milliseconds), the block, read or
// write, the point's number and name, address and count, the value decoded with the point's
// type and scaling, the bytes both ways in hex, and the result in words.
std::string TraceLine(const TraceEntry& entry, const PointDatabase& points);

// The whole trace, oldest exchange first, one line each.
void WriteExchangeTrace(std::ostream& out, const ExchangeTrace& trace, const PointDatabase& points);

}  // namespace kestrova
