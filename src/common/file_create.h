#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// Creating files in folders other users may write to (a shared backup folder, /tmp) without ever
// opening, truncating or taking the mode of whatever another process put at a name: a planted
// symbolic link is replaced or refused, never followed. New files get 0666 less the umask, which
// the kernel applies at creation, so the process-wide umask is never changed. Descriptors are
// written byte for byte (binary mode where the system knows a text mode). One implementation per
// system: file_create_posix.cpp, file_create_win32.cpp.
namespace kestrova {

// Writes every byte, retrying after signals; false on an error.
bool WriteAll(int fd, std::string_view data);

// A new, empty file of a short unique name in a folder, made with O_EXCL. The name does not grow
// with the name of the file it becomes, so a target name of any allowed length can be saved. The
// file is removed again unless it is put in place.
class TemporaryFile {
public:
    // Invalid() when the file cannot be made (errno tells why).
    explicit TemporaryFile(const std::filesystem::path& folder);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool Valid() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    const std::filesystem::path& Path() const { return path_; }

    // Flushes the file to the disk, closes it and renames it over target, replacing whatever is
    // there (a symbolic link itself, not the file it points to). False when any step fails.
    bool Replace(const std::filesystem::path& target);

    enum class Placed { Done, AlreadyThere, Failed };
    // As Replace, but only when nothing is at target; when something is (put there by another
    // process meanwhile), the temporary file is removed and the answer is AlreadyThere.
    Placed PlaceNew(const std::filesystem::path& target);

private:
    bool Finish();  // fsync and close

    std::filesystem::path path_;
    int fd_ = -1;
    bool placed_ = false;
};

// Opens a file for a recording or a report, written from its start: created (0666 less the umask)
// when missing, emptied when it is a regular file. A symbolic link at the name is refused (errno
// ELOOP), not followed, and so is anything but a regular file. False when the file cannot be
// opened; the stream is then closed.
bool OpenOutput(std::ofstream& stream, const std::filesystem::path& path);

// As OpenOutput, for a descriptor: -1 (errno tells why) when the file cannot be opened.
int OpenOutputDescriptor(const std::filesystem::path& path);

// A new, empty file where nothing is; false (errno EEXIST when something is there) otherwise.
bool CreateNewFile(const std::filesystem::path& path);

enum class FileRead { Done, Missing, TooLarge, Failed };
// The whole of a regular file of at most limit bytes, never waiting for a writer (a FIFO is
// Failed). Missing when nothing is at the name, and when a symbolic link is there and links are
// not to be followed (it is to be replaced). TooLarge before anything is read.
FileRead ReadRegularFile(const std::filesystem::path& path, bool followLink, std::uintmax_t limit,
                         std::string& content);

// Saves content as the file at path through a temporary file put in its place. A file at the
// name keeps its permissions (on Windows the new file takes its folder's), and one that is
// read-only stays as it is (false); a link (never written through) or nothing gives a new file.
// False when any step fails.
bool ReplaceFileContent(const std::filesystem::path& path, std::string_view content);

// A new folder of a unique name beginning with prefix, in parent; empty when none was made.
std::filesystem::path MakeTemporaryFolder(const std::filesystem::path& parent,
                                          std::string_view prefix);

// Gives the file at from the name to as well, only where nothing is at to (so of two processes
// claiming one name only one gets it); from keeps its own name.
TemporaryFile::Placed PlaceCopy(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace kestrova
