#include "protocol/exchange_result.h"

namespace kestrova {

const char* ExchangeResultText(ExchangeResult result) {
    switch (result.transferError) {
        case PortErrorCode::None: break;
        case PortErrorCode::ReplyTimeout: return "time-out";
        case PortErrorCode::FramingError: return "framing error";
        case PortErrorCode::OverrunError: return "overrun error";
        case PortErrorCode::InputOverflow: return "input overflow";
        case PortErrorCode::ParityError: return "parity error";
        case PortErrorCode::LineError: return "line error";
    }
    const int reply = static_cast<int>(result.reply);
    if (reply <= static_cast<int>(ReplyResult::ErrorReply)) return "error reply";
    switch (result.reply) {
        case ReplyResult::Good: return "good";
        case ReplyResult::ChecksumError: return "checksum error";
        case ReplyResult::ReadMalformed: return "malformed read reply";
        case ReplyResult::WriteMalformed: return "malformed write reply";
        case ReplyResult::UnknownStart: return "unknown reply start";
        default: return "unknown result";
    }
}

int ErrorReplyCode(ExchangeResult result) {
    if (result.transferError != PortErrorCode::None) return -1;
    const int reply = static_cast<int>(result.reply);
    const int errorReply = static_cast<int>(ReplyResult::ErrorReply);
    return reply < errorReply ? errorReply - reply : -1;
}

}  // namespace kestrova
