#pragma once

#include "port/port_drv.h"
#include "protocol/msg_frames.h"

namespace kestrova {

// How a block's last exchange ended. A reply that was judged carries the frame layer's verdict
// and no transfer error; a transfer that failed without a reply worth judging carries the port's
// error and leaves the verdict Good.
struct ExchangeResult {
    PortErrorCode transferError = PortErrorCode::None;
    ReplyResult reply = ReplyResult::Good;

    bool Good() const { return transferError == PortErrorCode::None && reply == ReplyResult::Good; }
    friend bool operator==(const ExchangeResult&, const ExchangeResult&) = default;
};

// The result in words for the operator and the trace: "good", "time-out", "checksum error",
// "error reply", "framing error", ... The error code of an error reply is not part of the text.
const char* ExchangeResultText(ExchangeResult result);

// The error code byte of a well-formed error reply, -1 for any other result.
int ErrorReplyCode(ExchangeResult result);

}  // namespace kestrova
