#include "common/file_create.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

namespace kestrova {
namespace {

constexpr int AttemptsForAFreeName = 100;

// ".kestrova-" and eight random letters and digits.
std::string TemporaryName() {
    constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::array<unsigned char, 8> random{};
    if (::getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size())) {
        // Without the kernel's randomness the clock still makes names another process
        // cannot count on; O_EXCL keeps a clash harmless either way.
        const auto seed = static_cast<std::uint64_t>(
                              std::chrono::steady_clock::now().time_since_epoch().count()) ^
                          static_cast<std::uint64_t>(::getpid());
        for (std::size_t i = 0; i < random.size(); ++i) {
            random[i] = static_cast<unsigned char>(seed >> (i * 6));
        }
    }
    std::string name = ".kestrova-";
    for (unsigned char r : random) name += alphabet[r % alphabet.size()];
    return name;
}

}  // namespace

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

TemporaryFile::TemporaryFile(const std::filesystem::path& folder) {
    for (int attempt = 0; attempt < AttemptsForAFreeName; ++attempt) {
        path_ = folder / TemporaryName();
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0 || errno != EEXIST) return;
    }
}

TemporaryFile::~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!placed_ && !path_.empty()) ::unlink(path_.c_str());
}

bool TemporaryFile::Finish() {
    if (fd_ < 0) return false;
    const bool synced = ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return synced && closed;
}

bool TemporaryFile::Replace(const std::filesystem::path& target) {
    if (!Finish() || ::rename(path_.c_str(), target.c_str()) != 0) return false;
    placed_ = true;
    return true;
}

TemporaryFile::Placed TemporaryFile::PlaceNew(const std::filesystem::path& target) {
    if (!Finish()) return Placed::Failed;
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        placed_ = true;
        return Placed::Done;
    }
    // Some file systems (NFS among them) cannot rename without replacing; a hard link is made
    // only where nothing is, on those too.
    if (errno == EINVAL || errno == ENOSYS) {
        // The temporary name is removed when this object goes.
        if (::link(path_.c_str(), target.c_str()) == 0) return Placed::Done;
    }
    return errno == EEXIST ? Placed::AlreadyThere : Placed::Failed;
}

bool OpenOutput(std::ofstream& stream, const std::filesystem::path& path) {
    stream.close();
    // Non-blocking, so a FIFO without a reader is refused at once instead of waiting.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    // The stream opens the very file the descriptor holds, not whatever the name leads to by now.
    if (regular) {
        stream.open("/proc/self/fd/" + std::to_string(fd), std::ios::out | std::ios::trunc);
    }
    ::close(fd);
    if (!regular) errno = EINVAL;
    return stream.is_open();
}

}  // namespace kestrova
