#include "ui/qt/error_box_queue.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace kestrova {

ErrorBoxQueue::ErrorBoxQueue(QObject* context, ShowBox show)
    : context_(context), show_(std::move(show)) {}

void ErrorBoxQueue::Report(std::string_view message) {
    if ((isOpen_ && message == open_) ||
        std::find(waiting_.begin(), waiting_.end(), message) != waiting_.end()) {
        ++merged_;
        return;
    }
    if (waiting_.size() >= Limit) {
        std::fprintf(stderr, "Kestrova Interface: %.*s\n", static_cast<int>(message.size()),
                     message.data());
        return;
    }
    waiting_.emplace_back(message);
    Schedule();
}

void ErrorBoxQueue::Schedule() {
    if (scheduled_ || isOpen_ || waiting_.empty()) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(
        context_, [this] { ShowNext(); }, Qt::QueuedConnection);
}

void ErrorBoxQueue::ShowNext() {
    scheduled_ = false;
    if (waiting_.empty()) return;
    open_ = std::move(waiting_.front());
    waiting_.pop_front();
    isOpen_ = true;
    ++shown_;
    show_(open_);
    isOpen_ = false;
    open_.clear();
    Schedule();
}

}  // namespace kestrova
