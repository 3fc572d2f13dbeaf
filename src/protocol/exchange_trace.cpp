#include "protocol/exchange_trace.h"

namespace kestrova {

TraceEntry& ExchangeTrace::Next() {
    TraceEntry& slot = entries_[next_];
    next_ = next_ + 1 == entries_.size() ? 0 : next_ + 1;
    if (size_ < entries_.size()) ++size_;
    return slot;
}

const TraceEntry& ExchangeTrace::At(std::size_t index) const {
    const std::size_t oldest = size_ < entries_.size() ? 0 : next_;
    return entries_[(oldest + index) % entries_.size()];
}

}  // namespace kestrova
