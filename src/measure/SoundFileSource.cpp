// SPDX-License-Identifier: GPL-3.0-or-later
// Reading sound files through libsndfile at the block record's left-justified 32-bit scale.
#include "measure/SoundFileSource.h"

#include <sndfile.h>

#include <cmath>
#include <limits>

struct TSoundFile::Handle {
    SNDFILE* file = nullptr;
    ~Handle() {
        if (file != nullptr)
            sf_close(file);
    }
};

TSoundFile::TSoundFile(const std::string& path) : handle_(std::make_unique<Handle>()), path_(path) {
    SF_INFO info{};
    handle_->file = sf_open(path.c_str(), SFM_READ, &info);
    if (handle_->file == nullptr)
        throw ESoundFileError("Cannot open " + path + ": " + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1)
        throw ESoundFileError("Cannot open " + path + ": no audio channels");
    rate_ = info.samplerate;
    channels_ = info.channels;
    format_ = info.format;
    frames_ = info.frames;
    // The library corrects a chunk size that runs past the end of the file and notes the size
    // the header gave as "(should be ...)" in its log.
    std::string log(8192, '\0');
    sf_command(handle_->file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
    truncated_ = log.find("should be") != std::string::npos;
    // Float files are read as they are; integer files come normalised to [-1, 1).
    sf_command(handle_->file, SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);
}

TSoundFile::~TSoundFile() = default;

std::string TSoundFile::Description() const {
    SF_FORMAT_INFO major{};
    major.format = format_ & SF_FORMAT_TYPEMASK;
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof(major));
    std::string text = major.name != nullptr ? major.name : "sound file";
    switch (format_ & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return text + ", 8 bit";
    case SF_FORMAT_PCM_16:
        return text + ", 16 bit";
    case SF_FORMAT_PCM_24:
        return text + ", 24 bit";
    case SF_FORMAT_PCM_32:
        return text + ", 32 bit";
    case SF_FORMAT_FLOAT:
        return text + ", 32 bit float";
    case SF_FORMAT_DOUBLE:
        return text + ", 64 bit float";
    default:
        return text;
    }
}

std::size_t TSoundFile::Read(TDataBufferF& block, std::size_t frames) {
    constexpr double Scale = 2147483648.0; // 2^31: full scale of the left-justified samples
    const auto channels = static_cast<std::size_t>(channels_);
    interleaved_.resize(frames * channels);
    const sf_count_t got =
        sf_readf_double(handle_->file, interleaved_.data(), static_cast<sf_count_t>(frames));
    if (got < 0 || (got == 0 && sf_error(handle_->file) != SF_ERR_NO_ERROR))
        throw ESoundFileError("Cannot read " + path_ + ": " + sf_strerror(handle_->file));
    block.resize(2);
    block[0].resize(frames);
    block[1].resize(frames);
    const auto count = static_cast<std::size_t>(got);
    const std::size_t right = channels > 1 ? 1 : 0;
    // A finite sample beyond full scale; NaN and infinity are the pipeline's to leave out.
    const auto beyond = [](double s) {
        const double a = std::fabs(s);
        return static_cast<std::int64_t>(a > 1.0 && a <= std::numeric_limits<double>::max());
    };
    std::int64_t clipped = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const double l = interleaved_[i * channels];
        const double r = interleaved_[i * channels + right];
        block[0][i] = static_cast<float>(l * Scale);
        block[1][i] = static_cast<float>(r * Scale);
        clipped += beyond(l) + (right != 0 ? beyond(r) : 0);
    }
    clipped_ += clipped;
    return count;
}
