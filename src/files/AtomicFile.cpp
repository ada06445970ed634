// SPDX-License-Identifier: GPL-3.0-or-later
// Writes whole files through a temporary file and a rename.
#include "files/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string SystemReason(int error) {
    return std::strerror(error);
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that writing `path` must replace: `path` itself, or, when it is a symbolic link, the
// file at the end of its chain of links (relative targets count from the link's folder), so that
// the link stays and its target gets the new contents. The target need not exist yet. Throws
// EFileWriteError (naming `path`) for a chain longer than the system allows (a loop, ELOOP).
std::string FinalTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops <= 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(current.c_str(), target, sizeof target);
        if (length < 0)
            return current; // not a link (or nothing there): write this name
        if (static_cast<std::size_t>(length) >= sizeof target)
            throw EFileWriteError(path, SystemReason(ENAMETOOLONG));
        const std::string next(target, static_cast<std::size_t>(length));
        if (!next.empty() && next.front() == '/') {
            current = next;
        } else {
            const std::string folder = FolderOf(current);
            current = (folder == "/" ? folder : folder + "/") + next;
        }
    }
    throw EFileWriteError(path, SystemReason(ELOOP));
}

// Closes a descriptor and removes the temporary file unless it was handed over by the rename.
class TTemporaryFile {
public:
    TTemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TTemporaryFile() {
        Close();
        if (!renamed_)
            ::unlink(path_.c_str());
    }
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }
    int Close() {
        if (fd_ < 0)
            return 0;
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }
    void MarkRenamed() { renamed_ = true; }

private:
    int fd_;
    std::string path_;
    bool renamed_ = false;
};

} // namespace

EFileWriteError::EFileWriteError(const std::string& path, const std::string& reason)
    : std::runtime_error("Could not write \"" + path + "\": " + reason), Path_(path) {}

void WriteFileAtomically(const std::string& linkOrPath, std::string_view contents,
                         const TBeforeRenameHook& beforeRename) {
    if (linkOrPath.empty() || linkOrPath.back() == '/')
        throw EFileWriteError(linkOrPath, "not a file name");
    // A symbolic link stays a link: its target is the file replaced.
    const std::string target = FinalTarget(linkOrPath);
    const auto failure = [&linkOrPath](int error) {
        return EFileWriteError(linkOrPath, SystemReason(error));
    };
    const std::string& path = target; // from here on: the file that is replaced

    // The name of the target with a unique suffix in its folder; mkstemp creates it with mode
    // 0600.
    std::string pattern = path + ".tmp-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw failure(errno);
    TTemporaryFile temporary(fd, pattern);

    struct stat existing {};
    mode_t mode;
    if (::stat(path.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0644 & ~mask;
    }
    if (::fchmod(temporary.Fd(), mode) != 0)
        throw failure(errno);

    const char* data = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t written = ::write(temporary.Fd(), data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw failure(errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::fsync(temporary.Fd()) != 0)
        throw failure(errno);
    if (temporary.Close() != 0)
        throw failure(errno);

    if (beforeRename)
        beforeRename(temporary.Path());

    if (::rename(temporary.Path().c_str(), path.c_str()) != 0)
        throw failure(errno);
    temporary.MarkRenamed();

    // The rename itself is durable once the folder is flushed; a failure here loses nothing.
    const int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}
