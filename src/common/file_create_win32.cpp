// Creating, reading and replacing files on Windows, through the wide-character calls. Files are
// written in binary mode, byte for byte; a file is put in place with MoveFileExW, which replaces
// only when asked to and waits until the move is on the disk.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

#include "common/file_create.h"

namespace kestrova {
namespace {

constexpr int AttemptsForAFreeName = 100;

// Letters and digits from the clock, the process and a counter: _O_EXCL keeps a clash harmless,
// the next attempt takes another name.
std::string UniqueSuffix() {
    static std::atomic<std::uint64_t> counter{0};
    constexpr std::string_view alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uint64_t seed =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^
        (counter.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    std::string name;
    for (int i = 0; i < 8; ++i) {
        name += alphabet[seed % alphabet.size()];
        seed /= alphabet.size();
    }
    return name;
}

DWORD AttributesOf(const std::filesystem::path& path) { return ::GetFileAttributesW(path.c_str()); }

// A link (a reparse point) at the name is refused, not followed: ELOOP, as O_NOFOLLOW gives.
bool RefusedAsLink(const std::filesystem::path& path) {
    const DWORD attributes = AttributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    errno = ELOOP;
    return true;
}

}  // namespace

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(data.size(), 1u << 30));
        const int n = ::_write(fd, data.data(), chunk);
        if (n < 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

TemporaryFile::TemporaryFile(const std::filesystem::path& folder) {
    for (int attempt = 0; attempt < AttemptsForAFreeName; ++attempt) {
        path_ = folder / (".kestrova-" + UniqueSuffix());
        fd_ = ::_wopen(path_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE);
        if (fd_ >= 0 || errno != EEXIST) return;
    }
}

TemporaryFile::~TemporaryFile() {
    if (fd_ >= 0) ::_close(fd_);
    if (!placed_ && !path_.empty()) ::DeleteFileW(path_.c_str());
}

bool TemporaryFile::Finish() {
    if (fd_ < 0) return false;
    const bool synced = ::_commit(fd_) == 0;
    const bool closed = ::_close(fd_) == 0;
    fd_ = -1;
    return synced && closed;
}

bool TemporaryFile::Replace(const std::filesystem::path& target) {
    if (!Finish() || !::MoveFileExW(path_.c_str(), target.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    placed_ = true;
    return true;
}

TemporaryFile::Placed TemporaryFile::PlaceNew(const std::filesystem::path& target) {
    if (!Finish()) return Placed::Failed;
    if (::MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        placed_ = true;
        return Placed::Done;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        errno = EEXIST;
        return Placed::AlreadyThere;
    }
    return Placed::Failed;
}

bool OpenOutput(std::ofstream& stream, const std::filesystem::path& path) {
    stream.close();
    if (RefusedAsLink(path)) return false;
    const DWORD attributes = AttributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        errno = EINVAL;
        return false;
    }
    stream.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    return stream.is_open();
}

int OpenOutputDescriptor(const std::filesystem::path& path) {
    if (RefusedAsLink(path)) return -1;
    return ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

bool CreateNewFile(const std::filesystem::path& path) {
    const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) return false;
    ::_close(fd);
    return true;
}

FileRead ReadRegularFile(const std::filesystem::path& path, bool followLink, std::uintmax_t limit,
                         std::string& content) {
    const DWORD flags = followLink ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_OPEN_REPARSE_POINT;
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                              : FileRead::Failed;
    }
    FileRead result = FileRead::Done;
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !::GetFileSizeEx(file, &size)) {
        result = FileRead::Failed;
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        result = FileRead::Missing;  // a link that is to be replaced, not read through
    } else if (static_cast<std::uintmax_t>(size.QuadPart) > limit) {
        result = FileRead::TooLarge;
    } else {
        content.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (done < content.size()) {
            DWORD got = 0;
            if (!::ReadFile(file, content.data() + done, static_cast<DWORD>(content.size() - done),
                            &got, nullptr)) {
                result = FileRead::Failed;
                break;
            }
            if (got == 0) break;  // the file shrank meanwhile
            done += got;
        }
        content.resize(done);
    }
    ::CloseHandle(file);
    return result;
}

bool ReplaceFileContent(const std::filesystem::path& path, std::string_view content) {
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    // A read-only file stays as it is, as the operator protected it.
    const DWORD attributes = AttributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return false;
    }
    TemporaryFile temporary(folder);
    return temporary.Valid() && WriteAll(temporary.Descriptor(), content) &&
           temporary.Replace(path);
}

std::filesystem::path MakeTemporaryFolder(const std::filesystem::path& parent,
                                          std::string_view prefix) {
    for (int attempt = 0; attempt < AttemptsForAFreeName; ++attempt) {
        std::filesystem::path folder = parent / (std::string(prefix) + UniqueSuffix());
        if (::CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

TemporaryFile::Placed PlaceCopy(const std::filesystem::path& from,
                                const std::filesystem::path& to) {
    // CopyFileW fails, and leaves the file there alone, when a file of that name exists.
    if (::CopyFileW(from.c_str(), to.c_str(), TRUE)) return TemporaryFile::Placed::Done;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
               ? TemporaryFile::Placed::AlreadyThere
               : TemporaryFile::Placed::Failed;
}

}  // namespace kestrova
