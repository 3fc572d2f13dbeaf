#include "port/posix_serial_line.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string_view>

namespace kestrova {

namespace {

struct BaudEntry {
    std::int32_t baud;
    speed_t speed;
};

constexpr BaudEntry kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool SpeedOf(std::int32_t baud, speed_t& speed) {
    for (const BaudEntry& entry : kBaudRates) {
        if (entry.baud == baud) {
            speed = entry.speed;
            return true;
        }
    }
    return false;
}

tcflag_t SizeBits(std::int32_t dataBits) {
    switch (dataBits) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        default: return CS8;  // 8, and anything the line cannot do (9, 0, ...)
    }
}

// Pseudo-terminal slaves (/dev/pts/N) have the character majors 136 to 143.
bool IsPtySlaveMajor(unsigned int major) { return major >= 136 && major <= 143; }

}  // namespace

LineKind KindOfDevice(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return LineKind::Other;
    const unsigned int majorNumber = major(device.st_rdev);
    if (IsPtySlaveMajor(majorNumber)) return LineKind::PseudoTerminal;

    // Where the kernel places the device says what it sits on.
    char link[64];
    std::snprintf(link, sizeof link, "/sys/dev/char/%u:%u", majorNumber, minor(device.st_rdev));
    char target[PATH_MAX];
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    if (length <= 0) return LineKind::Other;
    const std::string_view place(target, static_cast<std::size_t>(length));
    if (place.find("/usb") != std::string_view::npos) return LineKind::UsbAdapter;
    if (place.find("/virtual/") != std::string_view::npos) return LineKind::Other;
    return LineKind::Uart;
}

namespace {

// A read or write that failed with this errno will never succeed on this descriptor again.
bool MeansDeviceGone(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

}  // namespace

std::uint32_t LineErrorFlags(const LineErrorCounts& before, const LineErrorCounts& now) {
    // Counters only grow (and may wrap), so any difference means new errors.
    std::uint32_t flags = 0;
    if (now.frame != before.frame) flags |= CE_FRAME;
    if (now.overrun != before.overrun) flags |= CE_OVERRUN;
    if (now.parity != before.parity) flags |= CE_RXPARITY;
    if (now.bufOverrun != before.bufOverrun) flags |= CE_RXOVER;
    return flags;
}

OpenFailure OpenFailureFromErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
        case ENOTTY:
        case ENAMETOOLONG:
        case ELOOP:
        case EISDIR: return OpenFailure::DeviceInvalid;
        case EBUSY:
        case EWOULDBLOCK:  // flock held by another opener
            return OpenFailure::AlreadyOpen;
        case EBADF: return OpenFailure::NotOpen;
        case ENOMEM:
        case ENOBUFS:
        case EMFILE:
        case ENFILE: return OpenFailure::CannotAllocate;
        case EINVAL: return OpenFailure::BadParameters;
        case EIO: return OpenFailure::HardwareUnavailable;
        default:
            // Permission problems and the like: no matching description, reported as unknown.
            return static_cast<OpenFailure>(err > 0 ? err : 0x10000);
    }
}

bool IsStandardBaudRate(std::int32_t baud) {
    speed_t speed = 0;
    return SpeedOf(baud, speed);
}

bool FillTermios(termios& tio, std::int32_t baud, std::int32_t dataBits, std::int32_t parity,
                 std::int32_t stopBits) {
    speed_t speed = 0;
    if (!SpeedOf(baud, speed)) return false;
    ::cfmakeraw(&tio);
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;

    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= SizeBits(dataBits) | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
    if (parity == 1) {
        tio.c_cflag |= PARENB | PARODD;
        tio.c_iflag |= INPCK;
    } else if (parity == 2) {
        tio.c_cflag |= PARENB;
        tio.c_iflag |= INPCK;
    }
    if (stopBits == 2) tio.c_cflag |= CSTOPB;

    // Reads return at once with whatever is queued.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return true;
}

PosixSerialLine::~PosixSerialLine() { Close(); }

OpenFailure PosixSerialLine::Open(const std::string& path) {
    if (fd_ >= 0) Close();

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return OpenFailureFromErrno(errno);

    // A plain file or /dev/null opens fine but is no serial line: it has no terminal settings.
    // (This is what isatty asks, without the library call, which test harnesses interpose.)
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        ::close(fd);
        return OpenFailure::DeviceInvalid;
    }
    // The lock comes first: if someone else holds the line, its exclusive mode stays untouched.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return OpenFailureFromErrno(err);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        ::close(fd);
        return OpenFailureFromErrno(err);
    }
    fd_ = fd;
    gone_ = false;

    kind_ = KindOfDevice(path);

    // Errors counted before the open are not this session's.
    haveCounts_ = ReadCounts(counts_);
    return OpenFailure::None;
}

bool PosixSerialLine::RequestLowLatency() {
    if (fd_ < 0) return false;
    serial_struct serial{};
    if (::ioctl(fd_, TIOCGSERIAL, &serial) != 0) return false;
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return true;
    serial.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd_, TIOCSSERIAL, &serial) == 0;
}

OpenFailure PosixSerialLine::Configure(std::int32_t baud, std::int32_t dataBits,
                                       std::int32_t parity, std::int32_t stopBits) {
    if (fd_ < 0) return OpenFailure::NotOpen;
    speed_t speed = 0;
    if (!SpeedOf(baud, speed)) return OpenFailure::BaudRateNotSupported;

    termios previous{};
    if (::tcgetattr(fd_, &previous) != 0) return OpenFailureFromErrno(errno);
    termios tio = previous;
    if (!FillTermios(tio, baud, dataBits, parity, stopBits)) {
        return OpenFailure::BaudRateNotSupported;
    }

    // TCSANOW: bytes already received stay queued.
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return OpenFailureFromErrno(errno);

    // tcsetattr succeeds when any part was taken; a driver that could not run the rate
    // reports another speed back. (Framing is not checked: ptys always report 8 bits, no parity.)
    termios check{};
    if (::tcgetattr(fd_, &check) == 0 && ::cfgetospeed(&check) != speed) {
        (void)::tcsetattr(fd_, TCSANOW, &previous);
        return OpenFailure::BaudRateNotSupported;
    }
    return OpenFailure::None;
}

void PosixSerialLine::SetModemBit(int bit, bool on) {
    if (fd_ < 0) return;
    // ptys and some adapters have no modem lines: the refusal is harmless.
    (void)::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);
}

void PosixSerialLine::SetDtr(bool on) { SetModemBit(TIOCM_DTR, on); }

void PosixSerialLine::SetRts(bool on) { SetModemBit(TIOCM_RTS, on); }

std::int32_t PosixSerialLine::QueuedInput() {
    if (fd_ < 0) return 0;
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0 || queued < 0) return 0;
    return queued;
}

bool PosixSerialLine::ReadCounts(LineErrorCounts& counts) const {
    serial_icounter_struct icount{};
    if (::ioctl(fd_, TIOCGICOUNT, &icount) != 0) return false;
    counts.frame = icount.frame;
    counts.overrun = icount.overrun;
    counts.parity = icount.parity;
    counts.bufOverrun = icount.buf_overrun;
    return true;
}

std::uint32_t PosixSerialLine::LineErrors() {
    if (fd_ < 0) return 0;
    if (!gone_) {
        // A hung-up tty (adapter unplugged, pty master closed) reports POLLHUP whatever is
        // asked for; a zero timeout makes this a plain look.
        pollfd line{fd_, 0, 0};
        gone_ = ::poll(&line, 1, 0) == 1 && (line.revents & POLLHUP) != 0;
    }
    std::uint32_t flags = gone_ ? CE_DEVICE_GONE : 0;
    LineErrorCounts now;
    if (haveCounts_ && ReadCounts(now)) {
        flags |= LineErrorFlags(counts_, now);
        counts_ = now;
    }
    return flags;
}

std::int32_t PosixSerialLine::Read(std::uint8_t* buffer, std::int32_t count) {
    if (fd_ < 0 || buffer == nullptr || count < 0) return -1;
    if (count == 0) return 0;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, static_cast<std::size_t>(count));
        if (got >= 0) return static_cast<std::int32_t>(got);
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;  // nothing queued after all
        if (MeansDeviceGone(errno)) gone_ = true;
        return -1;
    }
}

bool PosixSerialLine::Write(const std::uint8_t* bytes, std::int32_t count) {
    if (fd_ < 0 || count < 0 || (bytes == nullptr && count > 0)) return false;
    if (count == 0) return true;
    for (;;) {
        const ssize_t put = ::write(fd_, bytes, static_cast<std::size_t>(count));
        if (put >= 0) return put == count;  // a partial frame is as bad as none
        if (errno == EINTR) continue;
        if (MeansDeviceGone(errno)) gone_ = true;
        return false;
    }
}

bool PosixSerialLine::Close() {
    if (fd_ < 0) return true;
    // Leave the tty open to others again; the flock goes with the descriptor.
    (void)::ioctl(fd_, TIOCNXCL);
    const int rc = ::close(fd_);
    fd_ = -1;  // on Linux the descriptor is released even when close reports an error
    haveCounts_ = false;
    gone_ = false;
    return rc == 0;
}

}  // namespace kestrova
