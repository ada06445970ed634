// SPDX-License-Identifier: GPL-3.0-or-later
// Sound files read through libsndfile into block records of the instrument's sample scale.
#pragma once

#include "audio/SndTypes.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// A sound file that cannot be opened or read; the text carries the library's reason.
class ESoundFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An open sound file, read forward in blocks. Owned by the caller; one thread.
class TSoundFile {
public:
    // Opens `path` for reading; ESoundFileError "Cannot open <path>: <reason>" on failure.
    explicit TSoundFile(const std::string& path);
    ~TSoundFile();
    TSoundFile(const TSoundFile&) = delete;
    TSoundFile& operator=(const TSoundFile&) = delete;

    int SampleRate() const noexcept { return rate_; }
    int Channels() const noexcept { return channels_; }
    std::int64_t Frames() const noexcept { return frames_; }
    // True when the library's log says that a chunk reaches beyond the end of the file (a
    // copy or a recording cut short): the samples that are there are read, the rest is lost.
    bool Truncated() const noexcept { return truncated_; }
    // Samples read so far (of the one or two channels measured) that lie beyond full scale,
    // |s| > 1 in the library's scale: only float files hold them. They are passed on as they are.
    std::int64_t ClippedSamples() const noexcept { return clipped_; }
    // "WAV 24 bit", "FLAC 16 bit" and the like, for the report.
    std::string Description() const;

    // Reads up to `frames` frames into rows 0 and 1 of `block` (resized to two rows of `frames`
    // samples; a mono file fills both rows with its one channel, further channels are left out)
    // at the block record's scale: a library sample s in [-1, 1) becomes s * 2^31, so a
    // full-scale sample is +-2^31 whatever the file's word width. Returns the frames read
    // (0 at the end of the file); ESoundFileError when the library reports a read error.
    std::size_t Read(TDataBufferF& block, std::size_t frames);

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    int rate_ = 0;
    int channels_ = 0;
    int format_ = 0;
    std::int64_t frames_ = 0;
    bool truncated_ = false;
    std::int64_t clipped_ = 0;
    std::string path_;
    std::vector<double> interleaved_; // frames x channels work buffer, reused
};
