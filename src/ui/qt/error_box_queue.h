#pragma once

#include <QObject>

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

namespace kestrova {

// The window's error and message boxes, one open at a time and each in its turn. A box is
// opened from the event loop, never from inside the handler that raised it, so the timers keep
// running while it is open. A message that is already open or waiting is not queued again (a
// tick that fails the same way a hundred times gives one box); past Limit waiting boxes a
// message goes to stderr only, so a flood of distinct errors cannot grow the queue without end.
class ErrorBoxQueue {
public:
    static constexpr std::size_t Limit = 32;
    using ShowBox = std::function<void(const std::string&)>;

    // show opens one box and returns once the operator has closed it; context owns the
    // queued calls.
    ErrorBoxQueue(QObject* context, ShowBox show);

    void Report(std::string_view message);

    int Shown() const { return shown_; }
    int Merged() const { return merged_; }  // identical to one open or waiting

private:
    void Schedule();
    void ShowNext();

    QObject* context_;
    ShowBox show_;
    std::deque<std::string> waiting_;
    std::string open_;
    bool isOpen_ = false;
    bool scheduled_ = false;
    int shown_ = 0;
    int merged_ = 0;
};

}  // namespace kestrova
