#include "port/telnet_codec.h"

#include <algorithm>

namespace kestrova::telnet {

namespace {

// Index of a supported option in the option tables; OptionCount when unsupported.
std::size_t OptionIndex(std::uint8_t option) {
    switch (option) {
        case OptBinary: return 0;
        case OptSuppressGoAhead: return 1;
        case OptComPort: return 2;
        default: return 3;
    }
}

}  // namespace

std::size_t BuildCommand(std::uint8_t command, std::uint32_t value, std::size_t valueBytes,
                         std::uint8_t* out) {
    std::size_t n = 0;
    out[n++] = Iac;
    out[n++] = Sb;
    out[n++] = OptComPort;
    out[n++] = command;
    valueBytes = std::min<std::size_t>(valueBytes, 4);
    for (std::size_t i = valueBytes; i-- > 0;) {
        const auto byte = static_cast<std::uint8_t>(value >> (8 * i));
        out[n++] = byte;
        if (byte == Iac) out[n++] = Iac;
    }
    out[n++] = Iac;
    out[n++] = Se;
    return n;
}

std::size_t EscapeData(const std::uint8_t* data, std::size_t count, std::uint8_t* out,
                       std::size_t capacity, std::size_t& consumed) {
    std::size_t n = 0;
    consumed = 0;
    while (consumed < count) {
        const std::uint8_t byte = data[consumed];
        const std::size_t need = byte == Iac ? 2 : 1;
        if (n + need > capacity) break;
        out[n++] = byte;
        if (byte == Iac) out[n++] = Iac;
        ++consumed;
    }
    return n;
}

void Decoder::Start() {
    Ask(local_, Will, OptBinary);
    Ask(remote_, Do, OptBinary);
    Ask(local_, Will, OptSuppressGoAhead);
    Ask(remote_, Do, OptSuppressGoAhead);
    Ask(local_, Will, OptComPort);
}

void Decoder::Ask(std::array<OptionState, OptionCount>& side, std::uint8_t verb,
                  std::uint8_t option) {
    OptionState& state = side[OptionIndex(option)];
    if (state.enabled || state.asked) return;
    state.asked = true;
    Reply(verb, option);
}

void Decoder::Reply(std::uint8_t verb, std::uint8_t option) {
    if (replyLength_ + 3 > replies_.size()) {
        ++repliesDropped_;
        return;
    }
    replies_[replyLength_++] = Iac;
    replies_[replyLength_++] = verb;
    replies_[replyLength_++] = option;
}

void Decoder::Consumed(std::size_t count) {
    count = std::min(count, replyLength_);
    std::copy(replies_.begin() + static_cast<std::ptrdiff_t>(count),
              replies_.begin() + static_cast<std::ptrdiff_t>(replyLength_), replies_.begin());
    replyLength_ -= count;
}

std::uint8_t Decoder::TakeLineErrors() {
    const std::uint8_t errors = lineErrors_;
    lineErrors_ = 0;
    return errors;
}

void Decoder::Negotiate(std::uint8_t verb, std::uint8_t option) {
    // DO/DONT speak of this side's options, WILL/WONT of the server's. Only a change of state
    // is answered, so two sides that both follow that rule never loop.
    const bool aboutLocal = verb == Do || verb == Dont;
    const bool enable = verb == Do || verb == Will;
    const std::uint8_t yes = aboutLocal ? Will : Do;
    const std::uint8_t no = aboutLocal ? Wont : Dont;
    const std::size_t index = OptionIndex(option);
    if (index >= OptionCount) {
        if (enable) Reply(no, option);  // refused; a request to turn it off needs no answer
        return;
    }
    OptionState& state = (aboutLocal ? local_ : remote_)[index];
    if (enable) {
        if (!state.enabled && !state.asked) Reply(yes, option);
        state.enabled = true;
    } else {
        if (state.enabled && !state.asked) Reply(no, option);
        state.enabled = false;
    }
    state.asked = false;
}

void Decoder::TakeComPortAnswer(std::uint8_t command, const std::uint8_t* value,
                                std::size_t length) {
    if (length == 0) return;
    switch (command) {
        case SetBaudRate + ServerOffset:
            if (length < 4) return;
            comPort_.baud = (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                            (std::uint32_t{value[2]} << 8) | value[3];
            break;
        case SetDataSize + ServerOffset: comPort_.dataSize = value[0]; break;
        case SetParity + ServerOffset: comPort_.parity = value[0]; break;
        case SetStopSize + ServerOffset: comPort_.stopSize = value[0]; break;
        case NotifyLineState + ServerOffset:
            lineErrors_ |= static_cast<std::uint8_t>(value[0] & LineErrorMask);
            return;
        default: return;  // modem state, flow control, purge and control answers
    }
    ++comPort_.answers;
}

void Decoder::EndSub() {
    if (!subOverflow_ && subLength_ >= 2 && sub_[0] == OptComPort) {
        TakeComPortAnswer(sub_[1], sub_.data() + 2, subLength_ - 2);
    }
    subLength_ = 0;
    subOverflow_ = false;
    state_ = State::Data;
}

bool Decoder::Command(std::uint8_t byte) {
    state_ = State::Data;
    if (byte == Iac) return true;
    if (byte >= Will) {
        verb_ = byte;
        state_ = State::Option;
    } else if (byte == Sb) {
        subLength_ = 0;
        subOverflow_ = false;
        state_ = State::Sub;
    }
    // NOP, GA, a stray SE and the other one-byte commands mean nothing on this line.
    return false;
}

std::size_t Decoder::Decode(const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t byte = in[i];
        switch (state_) {
            case State::Data:
                if (byte == Iac) {
                    state_ = State::Command;
                } else {
                    out[n++] = byte;
                }
                break;
            case State::Command:
                if (Command(byte)) out[n++] = Iac;
                break;
            case State::Option:
                state_ = State::Data;
                Negotiate(verb_, byte);
                break;
            case State::Sub:
                if (byte == Iac) {
                    state_ = State::SubCommand;
                } else if (subLength_ < sub_.size()) {
                    sub_[subLength_++] = byte;
                } else {
                    subOverflow_ = true;  // too long for any answer this side takes
                }
                break;
            case State::SubCommand:
                if (byte == Iac) {
                    state_ = State::Sub;
                    if (subLength_ < sub_.size()) {
                        sub_[subLength_++] = Iac;
                    } else {
                        subOverflow_ = true;
                    }
                } else if (byte == Se) {
                    EndSub();
                } else {
                    // An unterminated sub-negotiation: dropped, and the byte read as the
                    // command it starts.
                    subLength_ = 0;
                    if (Command(byte)) out[n++] = Iac;
                }
                break;
        }
    }
    return n;
}

}  // namespace kestrova::telnet
