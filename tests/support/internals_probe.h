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
    static PointDatabase::ScanTimerArray& ScanCounters(PointDatabase& db) { return db.scanCounters_; }
    static PointDatabase::ScanTimerArray& ScanDue(PointDatabase& db) { return db.scanDue_; }
    static PointDatabase::ScanTimerArray& ScanPeriods(PointDatabase& db) { return db.scanPeriods_; }

    static Protocol::BlockTable& MsgBlockTable(Protocol& p) { return p.msgBlocks_; }
    static RequestChannel& Channel(Protocol& p) { return p.channel_; }
    static PollState& ProtocolState(Protocol& p) { return p.state_; }
    static std::int32_t& BlockCursor(Protocol& p) { return p.blockCursor_; }
    static std::int32_t& ReplyTimePerByte(Protocol& p) { return p.replyTimePerByte_; }
    static std::int32_t& ReplyTimeBase(Protocol& p) { return p.replyTimeBase_; }
    static std::int32_t& WriteCursor(Protocol& p) { return p.writeCursor_; }
    static std::int32_t& ReadCursor(Protocol& p) { return p.readCursor_; }
    static Protocol::BlockStoreTable& BlockStore(Protocol& p) { return p.blockStore_; }
};

}  // namespace kestrova
