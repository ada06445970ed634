// SPDX-License-Identifier: GPL-3.0-or-later
// Writes whole files so that a reader sees either the old or the new contents, never a part.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

// A file could not be written. The text names the file and the system's reason; the old file,
// if any, is unchanged.
class EFileWriteError : public std::runtime_error {
public:
    EFileWriteError(const std::string& path, const std::string& reason);
    const std::string& Path() const { return Path_; }

private:
    std::string Path_;
};

// Called after the temporary file is written and flushed, just before it is renamed over the
// target. Tests use it to stop a writer at its most fragile moment.
using TBeforeRenameHook = std::function<void(const std::string& temporaryPath)>;

// Writes `contents` to `path`: a temporary file in the same folder (so the rename cannot cross
// file systems) is written, flushed to the disk and renamed over `path`; the file mode of an
// existing target is kept, a new file gets 0644 less the umask. When `path` is a symbolic link
// (or a chain of them), the link stays and the file it points at is replaced the same way, with
// the temporary file in that file's folder. On any failure the temporary file is removed, the
// old file is left as it was, and EFileWriteError (naming `path`) is thrown.
// Any thread; two writers of the same path must not run at once.
void WriteFileAtomically(const std::string& path, std::string_view contents,
                         const TBeforeRenameHook& beforeRename = {});
