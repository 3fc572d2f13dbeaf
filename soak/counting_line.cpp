#include "soak/counting_line.h"

namespace kestrova::soak {

OpenFailure CountingLine::Open(const std::string& path) { return line_.Open(path); }

OpenFailure CountingLine::Configure(std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                                    std::int32_t stopBits) {
    return line_.Configure(baud, dataBits, parity, stopBits);
}

void CountingLine::SetDtr(bool on) { line_.SetDtr(on); }

void CountingLine::SetRts(bool on) { line_.SetRts(on); }

std::int32_t CountingLine::QueuedInput() { return line_.QueuedInput(); }

std::uint32_t CountingLine::LineErrors() { return line_.LineErrors(); }

std::int32_t CountingLine::Read(std::uint8_t* buffer, std::int32_t count) {
    return line_.Read(buffer, count);
}

bool CountingLine::Write(const std::uint8_t* bytes, std::int32_t count) {
    ++requests;
    const bool ok = line_.Write(bytes, count);
    if (!ok) ++failedWrites;
    return ok;
}

bool CountingLine::Close() { return line_.Close(); }

}  // namespace kestrova::soak
