#include "sim/pty_simulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace kestrova {

namespace {

// Bytes of the request a reply answers: 11, plus the data bytes a write carries inline.
std::size_t RequestLength(const SimReply& reply) {
    constexpr std::size_t frameOverhead = 11;
    constexpr std::uint16_t maxInlineWrite = 53;
    if (reply.command == 'M' && reply.count <= maxInlineWrite) {
        return frameOverhead + reply.count;
    }
    return frameOverhead;
}

}  // namespace

PtySimulator::PtySimulator(SimOptions options)
    : options_(std::move(options)), faults_(options_.faults) {
    model_.Reset(options_.controllerMode);
    model_.IgnoreWritesTo(options_.ignoreWritesTo);
    byteUs_ = options_.baud > 0 ? 10'000'000.0 / options_.baud : 0.0;
}

PtySimulator::~PtySimulator() { Stop(); }

std::int64_t PtySimulator::NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool PtySimulator::Start(std::string& error) {
    if (running_) {
        error = "already running";
        return false;
    }
    if (!PlugIn(error)) {
        return false;
    }
    running_ = true;
    stopReason_.clear();
    lastTickUs_ = NowUs();
    unplugAtUs_ = options_.unplugAfter ? lastTickUs_ + options_.unplugAfter->count() : INT64_MAX;
    returnAtUs_ = INT64_MAX;
    return true;
}

bool PtySimulator::PlugIn(std::string& error) {
    if (Plugged()) {
        error = "already plugged in";
        return false;
    }
    auto fail = [&](const std::string& what) {
        error = what + ": " + std::strerror(errno);
        Unplug();
        return false;
    };

    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        return fail("posix_openpt");
    }
    if (grantpt(master_) != 0) {
        return fail("grantpt");
    }
    if (unlockpt(master_) != 0) {
        return fail("unlockpt");
    }
    std::array<char, 128> name{};
    if (ptsname_r(master_, name.data(), name.size()) != 0) {
        return fail("ptsname_r");
    }
    device_ = name.data();

    // Held open while plugged in: without it the master sees a hang-up whenever the last client
    // closes. Raw mode, so the line discipline passes every byte through untouched.
    slave_ = open(device_.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        return fail("open " + device_);
    }
    termios tio{};
    if (tcgetattr(slave_, &tio) != 0) {
        return fail("tcgetattr");
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B38400);
    cfsetospeed(&tio, B38400);
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) {
        return fail("tcsetattr");
    }
    if (fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) {
        return fail("fcntl");
    }
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    if (!MakeLink(error)) {
        Unplug();
        return false;
    }
    lineFreeUs_ = NowUs();
    writeBlocked_ = false;
    return true;
}

bool PtySimulator::MakeLink(std::string& error) {
    if (options_.linkPath.empty()) {
        return true;
    }
    auto fail = [&](const std::string& what) {
        error = what + ": " + std::strerror(errno);
        return false;
    };
    struct stat st {};
    if (lstat(options_.linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            errno = EEXIST;
            return fail("refusing to replace " + options_.linkPath + " (not a symbolic link)");
        }
        if (unlink(options_.linkPath.c_str()) != 0) {
            return fail("unlink " + options_.linkPath);
        }
    }
    if (symlink(device_.c_str(), options_.linkPath.c_str()) != 0) {
        return fail("symlink " + options_.linkPath);
    }
    linkMade_ = true;
    return true;
}

void PtySimulator::RemoveLink() {
    if (!linkMade_) {
        return;
    }
    // Only our own link goes: another simulator may have taken the name over since.
    std::array<char, PATH_MAX> target{};
    const ssize_t n = readlink(options_.linkPath.c_str(), target.data(), target.size() - 1);
    if (n >= 0 && std::string(target.data(), static_cast<std::size_t>(n)) == device_) {
        unlink(options_.linkPath.c_str());
    }
    linkMade_ = false;
}

void PtySimulator::Unplug() {
    RemoveLink();
    if (slave_ >= 0) {
        close(slave_);
        slave_ = -1;
    }
    // The last descriptor of the master: the kernel hangs up every client of the slave.
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
    outputCount_ = 0;
}

void PtySimulator::Stop() {
    Unplug();
    running_ = false;
    unplugAtUs_ = INT64_MAX;
    returnAtUs_ = INT64_MAX;
}

bool PtySimulator::FollowSchedule(std::int64_t nowUs) {
    if (nowUs >= unplugAtUs_) {
        unplugAtUs_ = INT64_MAX;
        Unplug();
        if (options_.returnAfter) {
            returnAtUs_ = nowUs + options_.returnAfter->count();
        }
    }
    if (nowUs >= returnAtUs_) {
        returnAtUs_ = INT64_MAX;
        std::string error;
        if (!PlugIn(error)) {
            Stop();
            stopReason_ = "plugging in again: " + error;
            return false;
        }
    }
    return true;
}

void PtySimulator::AdvanceModel(std::int64_t nowUs) {
    const std::int64_t elapsedMs = (nowUs - lastTickUs_) / 1000;
    if (elapsedMs > 0) {
        model_.Tick(static_cast<std::uint32_t>(std::min<std::int64_t>(elapsedMs, 60'000)));
        lastTickUs_ += elapsedMs * 1000;
    }
}

std::int64_t PtySimulator::NextOutputUs() const {
    if (outputCount_ == 0) {
        return INT64_MAX;
    }
    const PendingOutput& out = output_[outputHead_];
    return out.startUs + static_cast<std::int64_t>(std::ceil(out.sent * byteUs_));
}

bool PtySimulator::Poll(int maxWaitMs, int wakeFd) {
    if (!running_) {
        return false;
    }
    std::int64_t now = NowUs();
    AdvanceModel(now);
    if (!FollowSchedule(now)) {
        return false;
    }
    SendDue(now);

    std::int64_t deadline = now + std::int64_t{std::max(maxWaitMs, 0)} * 1000;
    if (!writeBlocked_) {
        deadline = std::min(deadline, std::max(NextOutputUs(), now));
    }
    deadline = std::min(deadline, std::max(std::min(unplugAtUs_, returnAtUs_), now));
    const std::int64_t waitUs = std::max<std::int64_t>(deadline - now, 0);
    const timespec timeout{static_cast<time_t>(waitUs / 1'000'000),
                           static_cast<long>((waitUs % 1'000'000) * 1000)};

    std::array<pollfd, 2> fds{};
    fds[0].fd = master_;  // -1 while unplugged, which ppoll passes over
    fds[0].events = static_cast<short>(POLLIN | (writeBlocked_ ? POLLOUT : 0));
    fds[1].fd = wakeFd;
    fds[1].events = POLLIN;
    const nfds_t count = wakeFd >= 0 ? 2 : 1;
    const int ready = ppoll(fds.data(), count, &timeout, nullptr);

    bool woken = false;
    now = NowUs();
    AdvanceModel(now);
    if (ready > 0) {
        if ((fds[0].revents & POLLIN) != 0) {
            ReadRequests(now);
        }
        if ((fds[0].revents & POLLOUT) != 0) {
            writeBlocked_ = false;
        }
        woken = wakeFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    }
    CollectReplies(now);
    SendDue(now);
    TraceModelEvents();
    return woken;
}

void PtySimulator::ReadRequests(std::int64_t nowUs) {
    std::array<std::uint8_t, 256> buffer{};
    for (int round = 0; round < 8; ++round) {
        const ssize_t n = read(master_, buffer.data(), buffer.size());
        if (n <= 0) {
            break;  // EAGAIN: all taken; EIO: no client side open (cannot last, we hold one)
        }
        if (!options_.silent) {
            model_.Feed(buffer.data(), static_cast<std::size_t>(n));
        } else if (options_.trace != nullptr) {
            std::fprintf(options_.trace, "sim: silent, %zd request bytes ignored\n", n);
        }
        CollectReplies(nowUs);
    }
}

void PtySimulator::CollectReplies(std::int64_t nowUs) {
    SimReply reply;
    while (model_.PopReply(reply)) {
        const FaultOutcome outcome = faults_.Apply(reply);
        TraceReply(reply, outcome);
        if (!outcome.send) {
            continue;
        }
        if (outputCount_ == output_.size()) {
            if (options_.trace != nullptr) {
                std::fprintf(options_.trace, "sim: output queue full, reply lost\n");
            }
            continue;
        }
        PendingOutput& out = output_[(outputHead_ + outputCount_) % output_.size()];
        out = PendingOutput{};
        std::memcpy(out.bytes.data(), outcome.garbage.data(), outcome.garbageLength);
        std::memcpy(out.bytes.data() + outcome.garbageLength, reply.bytes.data(), reply.length);
        out.length = static_cast<std::uint16_t>(outcome.garbageLength + reply.length);
        // A paced line delivers the request at its own speed too: the controller can only
        // answer once the request's last byte would have arrived.
        const std::int64_t requestUs =
            static_cast<std::int64_t>(std::ceil(RequestLength(reply) * byteUs_));
        const int waitMs = options_.delayMs + outcome.holdMs + (outcome.late ? options_.lateMs : 0);
        out.startUs = std::max(nowUs + requestUs + std::int64_t{waitMs} * 1000, lineFreeUs_);
        lineFreeUs_ = out.startUs + static_cast<std::int64_t>(std::ceil(out.length * byteUs_));
        ++outputCount_;
        LogReply(reply, outcome);
    }
}

void PtySimulator::SendDue(std::int64_t nowUs) {
    while (outputCount_ > 0 && !writeBlocked_) {
        PendingOutput& out = output_[outputHead_];
        if (nowUs < out.startUs) {
            return;
        }
        std::size_t due = out.length;
        if (byteUs_ > 0.0) {
            const auto onLine = static_cast<std::size_t>((nowUs - out.startUs) / byteUs_) + 1;
            due = std::min<std::size_t>(out.length, onLine);
        }
        if (due > out.sent) {
            const ssize_t n = write(master_, out.bytes.data() + out.sent, due - out.sent);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) {
                    writeBlocked_ = true;
                }
                return;
            }
            out.sent = static_cast<std::uint16_t>(out.sent + n);
        }
        if (out.sent < out.length) {
            return;
        }
        ++repliesSent_;
        outputHead_ = (outputHead_ + 1) % output_.size();
        --outputCount_;
    }
}

void PtySimulator::TraceReply(const SimReply& reply, const FaultOutcome& outcome) {
    if (options_.trace == nullptr) {
        return;
    }
    std::fprintf(options_.trace, "sim: %c 0x%08X %u ->", static_cast<char>(reply.command),
                 reply.address, static_cast<unsigned>(reply.count));
    for (std::size_t i = 0; i < reply.length; ++i) {
        std::fprintf(options_.trace, " %02X", reply.bytes[i]);
    }
    if (reply.error != SimError::None) {
        std::fprintf(options_.trace, " [error %u]", static_cast<unsigned>(reply.error));
    }
    if (!outcome.send) {
        std::fprintf(options_.trace, " [dropped]");
    }
    if (outcome.errorInjected) {
        std::fprintf(options_.trace, " [busy injected]");
    }
    if (outcome.corrupted) {
        std::fprintf(options_.trace, " [checksum damaged]");
    }
    if (outcome.garbageLength > 0) {
        std::fprintf(options_.trace, " [%u stray bytes before]",
                     static_cast<unsigned>(outcome.garbageLength));
    }
    if (outcome.late) {
        std::fprintf(options_.trace, " [late]");
    }
    std::fprintf(options_.trace, "\n");
    std::fflush(options_.trace);
}

void PtySimulator::LogReply(const SimReply& reply, const FaultOutcome& outcome) {
    const bool goodRead = reply.command == 'm' && reply.error == SimError::None;
    if (options_.replyLog == nullptr || !goodRead || outcome.corrupted || outcome.errorInjected) {
        return;
    }
    // A good read reply is "+ $ data # crc crc".
    constexpr std::size_t dataStart = 2;
    constexpr std::size_t frameTail = 3;
    std::fprintf(options_.replyLog, "read %X ", reply.address);
    for (std::size_t i = dataStart; i + frameTail < reply.length; ++i) {
        std::fprintf(options_.replyLog, "%02X", reply.bytes[i]);
    }
    std::fprintf(options_.replyLog, "\n");
    std::fflush(options_.replyLog);
}

void PtySimulator::TraceModelEvents() {
    const SimStats& now = model_.Stats();
    if (options_.trace != nullptr) {
        if (now.strayBytes != tracedStats_.strayBytes) {
            std::fprintf(options_.trace, "sim: %u stray bytes skipped\n",
                         now.strayBytes - tracedStats_.strayBytes);
        }
        if (now.badFrames != tracedStats_.badFrames) {
            std::fprintf(options_.trace, "sim: %u frames with a bad checksum ignored\n",
                         now.badFrames - tracedStats_.badFrames);
        }
        if (now.frameTimeouts != tracedStats_.frameTimeouts) {
            std::fprintf(options_.trace, "sim: %u incomplete frames given up\n",
                         now.frameTimeouts - tracedStats_.frameTimeouts);
        }
        std::fflush(options_.trace);
    }
    tracedStats_ = now;
}

}  // namespace kestrova
