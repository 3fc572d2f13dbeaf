#include "common/file_create.h"

#include <fcntl.h>
#include <stdlib.h>
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

int OpenOutputDescriptor(const std::filesystem::path& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool CreateNewFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

FileRead ReadRegularFile(const std::filesystem::path& path, bool followLink, std::uintmax_t limit,
                         std::string& content) {
    // Non-blocking, so a FIFO at the name is refused below instead of waiting for a writer.
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        return errno == ENOENT || (errno == ELOOP && !followLink) ? FileRead::Missing
                                                                  : FileRead::Failed;
    }
    FileRead result = FileRead::Done;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result = FileRead::Failed;
    } else if (static_cast<std::uintmax_t>(st.st_size) > limit) {
        result = FileRead::TooLarge;
    } else {
        content.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < content.size()) {
            const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result = FileRead::Failed;
                break;
            }
            if (n == 0) break;  // the file shrank meanwhile
            done += static_cast<std::size_t>(n);
        }
        content.resize(done);
    }
    ::close(fd);
    return result;
}

bool ReplaceFileContent(const std::filesystem::path& path, std::string_view content) {
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    // A file at the name keeps its mode; a link (never read through) or nothing gets the mode of
    // a new file. A read-only file stays as it is, as the operator protected it: one without any
    // write permission bit, too, which access() would let root write.
    struct stat old {};
    const bool existing = ::lstat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    const bool readOnly = (old.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
    if (existing && readOnly) return false;
    TemporaryFile temporary(folder);
    const bool written = temporary.Valid() && WriteAll(temporary.Descriptor(), content) &&
                         (!existing || ::fchmod(temporary.Descriptor(), old.st_mode & 07777) == 0);
    return written && temporary.Replace(path);
}

std::filesystem::path MakeTemporaryFolder(const std::filesystem::path& parent,
                                          std::string_view prefix) {
    std::string name = (parent / prefix).string() + "XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) return {};
    return name;
}

TemporaryFile::Placed PlaceCopy(const std::filesystem::path& from,
                                const std::filesystem::path& to) {
    // link() fails on a name that exists.
    if (::link(from.c_str(), to.c_str()) == 0) return TemporaryFile::Placed::Done;
    return errno == EEXIST ? TemporaryFile::Placed::AlreadyThere : TemporaryFile::Placed::Failed;
}

}  // namespace kestrova
