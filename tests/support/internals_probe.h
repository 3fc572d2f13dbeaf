#pragma once

#include <cstdint>

#include "points/point_database.h"
#include "protocol/protocol.h"

namespace kestrova {

// Write access to the tables that PointDatabase and Protocol keep private, for tests that set up
// a state directly or break one on purpose. Everything else goes through the named operations.
class InternalsProbe {
public:
    static PointDatabase::PointArray& PointTable(PointDatabase& db) { return db.points_; }
    using ScanTimerArray = PointDatabase::ScanTimerArray;
    static ScanTimerArray& ScanCounters(PointDatabase& db) { return db.scanCounters_; }
    static ScanTimerArray& ScanDue(PointDatabase& db) { return db.scanDue_; }

    static Protocol::BlockTable& MsgBlockTable(Protocol& p) { return p.msgBlocks_; }
    static std::int32_t& WriteCursor(Protocol& p) { return p.writeCursor_; }
    static std::int32_t& ReadCursor(Protocol& p) { return p.readCursor_; }
};

}  // namespace kestrova
