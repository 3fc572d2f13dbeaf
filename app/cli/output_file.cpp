#include "output_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/file_create.h"
#include "exit_code.h"

namespace kestrova::cli {

OutputFile::OutputFile(const std::filesystem::path& path, std::string what)
    : fd_(OpenOutputDescriptor(path)), what_(std::move(what)), owned_(true) {
    if (fd_ < 0) Fail(errno);
}

OutputFile::OutputFile(int fd, std::string what, bool owned)
    : fd_(fd), what_(std::move(what)), owned_(owned) {}

OutputFile OutputFile::StandardOutput(std::string what) {
    return {STDOUT_FILENO, std::move(what), false};
}

OutputFile::~OutputFile() {
    if (owned_ && fd_ >= 0) close(fd_);
}

void OutputFile::Write(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = write(fd_, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) Fail(written < 0 ? errno : EIO);
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

void OutputFile::Close() {
    if (!owned_ || fd_ < 0) return;
    const int fd = std::exchange(fd_, -1);
    if (close(fd) != 0) Fail(errno);
}

void OutputFile::Fail(int error) const {
    throw CommandError{ExitCode::FileRefused, what_, std::strerror(error)};
}

}  // namespace kestrova::cli
