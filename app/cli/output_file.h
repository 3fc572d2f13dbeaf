#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrova::cli {

// A file the command writes rows to, every write and the close checked: a failure throws
// CommandError (file refused) with the system's reason, so a full disk or a closed pipe is never
// reported as done.
class OutputFile {
public:
    // Creates or empties the file; a symbolic link in its place is refused, not followed.
    // what names the file in errors.
    OutputFile(const std::filesystem::path& path, std::string what);
    // The standard output, left open at the end.
    static OutputFile StandardOutput(std::string what);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(std::string_view text);
    // Closes a file it opened (the standard output stays open); nothing is buffered here.
    void Close();

private:
    OutputFile(int fd, std::string what, bool owned);
    [[noreturn]] void Fail(int error) const;

    int fd_ = -1;
    std::string what_;
    bool owned_ = false;
};

}  // namespace kestrova::cli
