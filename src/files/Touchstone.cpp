// SPDX-License-Identifier: GPL-3.0-or-later
// Writers and the streaming reader of one-port Touchstone files.
#include "files/Touchstone.h"

#include "files/AtomicFile.h"
#include "files/TextNumbers.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

constexpr const char* HeaderLine = "! Data written by TALVOR Phonoscale";
constexpr const char* LineBreak = "\r\n";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads lines of bounded length from a source of bytes. A line ends at LF, CR LF or a lone CR;
// text from "!" to the end of the line is dropped as a comment. Lines longer than
// MaxTouchstoneLine (comments not counted) are reported, not kept.
class TLineReader {
public:
    // Fills the buffer with at most `size` bytes; returns the count, 0 at the end. Sets
    // `error` to an errno value on a read error.
    using TSource = std::function<std::size_t(char* buffer, std::size_t size, int& error)>;

    explicit TLineReader(TSource source) : Source_(std::move(source)) {}

    // False at the end of the input, or after a read error or an over-long line (see Error(),
    // TooLong()). Counts the lines in LineNumber().
    bool Next(std::string& line) {
        line.clear();
        if (Failed())
            return false;
        bool any = false;
        bool comment = false;
        for (;;) {
            if (Pos_ == Size_ && !Fill()) {
                if (Failed() || !any)
                    return false;
                break; // the last line has no line break
            }
            const char c = Buffer_[Pos_++];
            any = true;
            if (c == '\n')
                break;
            if (c == '\r') {
                if (Pos_ == Size_)
                    Fill();
                if (Pos_ < Size_ && Buffer_[Pos_] == '\n')
                    ++Pos_;
                break;
            }
            if (comment)
                continue;
            if (c == '!') {
                comment = true;
                continue;
            }
            if (line.size() >= MaxTouchstoneLine) {
                ++LineNumber_;
                TooLong_ = true;
                return false;
            }
            line.push_back(c);
        }
        ++LineNumber_;
        return true;
    }

    long long LineNumber() const { return LineNumber_; }
    int Error() const { return Error_; }
    bool TooLong() const { return TooLong_; }
    bool Failed() const { return Error_ != 0 || TooLong_; }

private:
    bool Fill() {
        if (AtEnd_ || Failed())
            return false;
        Pos_ = 0;
        Size_ = Source_(Buffer_.data(), Buffer_.size(), Error_);
        if (Size_ == 0)
            AtEnd_ = true;
        return Size_ > 0;
    }

    TSource Source_;
    std::array<char, 65536> Buffer_{};
    std::size_t Pos_ = 0;
    std::size_t Size_ = 0;
    bool AtEnd_ = false;
    int Error_ = 0;
    bool TooLong_ = false;
    long long LineNumber_ = 0;
};

std::string Quoted(const std::string& token) {
    constexpr std::size_t shown = 40;
    if (token.size() <= shown)
        return "\"" + token + "\"";
    return "\"" + token.substr(0, shown) + "...\"";
}

// The reading of one file: option line, then records.
class TTouchstoneParser {
public:
    TTouchstoneParser(TLineReader& lines, std::string name, TTouchstoneRead& out)
        : Lines_(lines), Name_(std::move(name)), Out_(out) {}

    void Run() {
        TTouchstoneOptions options;
        if (!FindAndParseOptionLine(options)) {
            if (!Lines_.Failed())
                Out_.Messages.push_back({ErrorCaption, NotSupportedText});
            else
                ReportReaderFailure();
            return;
        }
        const double factor = std::pow(10.0, 3.0 * options.UnitIndex);
        std::array<double, 3> v{};
        while (ReadDataRecord(v)) {
            TTraceRecord record;
            record.Frequency = v[0] * factor;
            switch (options.Format) {
            case TTouchstoneFormat::tfDB:
                record.Magnitude = std::pow(10.0, v[1] / 20.0);
                break;
            case TTouchstoneFormat::tfMA:
                record.Magnitude = v[1];
                break;
            case TTouchstoneFormat::tfRI:
                record.Magnitude = std::hypot(v[1], v[2]);
                break;
            }
            if (!std::isfinite(record.Frequency) || !std::isfinite(record.Magnitude)) {
                StopMessage_ = LineText() + ": the values are out of range; reading stopped.";
                break;
            }
            ++Out_.Counted;
            if (Out_.Records.size() < MaxTouchstonePoints)
                Out_.Records.push_back(record);
        }
        if (Lines_.Failed())
            ReportReaderFailure();
        Out_.Partial = !StopMessage_.empty() || Lines_.Failed() || StoppedEarly_ ||
                       Out_.Counted > MaxTouchstonePoints;
        Finish();
    }

private:
    std::string LineText() const {
        return "Line " + std::to_string(Lines_.LineNumber()) + " of " + Name_;
    }

    void ReportReaderFailure() {
        if (Lines_.TooLong())
            StopMessage_ = LineText() + " is longer than " + std::to_string(MaxTouchstoneLine) +
                           " characters; reading stopped.";
        else if (Lines_.Error() != 0)
            StopMessage_ = "Could not read " + Name_ + ": " + std::strerror(Lines_.Error()) + ".";
        if (Out_.Records.empty() && Out_.Messages.empty())
            Finish();
    }

    void Finish() {
        if (Finished_)
            return;
        Finished_ = true;
        if (Out_.Records.empty()) {
            if (!StopMessage_.empty())
                Out_.Messages.push_back({ErrorCaption, StopMessage_ + " The memory is unchanged."});
            else
                Out_.Messages.push_back({ErrorCaption, "No one-port data found in " + Name_ +
                                                           "; the memory is unchanged."});
            return;
        }
        Out_.Apply = true;
        if (!StopMessage_.empty())
            Out_.Messages.push_back({ErrorCaption, StopMessage_});
        if (Out_.Counted > MaxTouchstonePoints)
            Out_.Messages.push_back({TooManyCaption, TooManyText});
    }

    bool FindAndParseOptionLine(TTouchstoneOptions& options) {
        std::string last;
        bool found = false;
        while (Lines_.Next(Line_)) {
            last = NormaliseLine(Line_);
            const std::string_view start = TrimLeft(last);
            if (!start.empty() && start.front() == '#') {
                found = true;
                break;
            }
        }
        if (Lines_.Failed())
            return false;
        std::string_view rest = TrimLeft(last);
        if (found)
            rest.remove_prefix(1);
        bool extension = false;
        if (!ParseOptionFields(rest, options, extension))
            return false;
        if (extension) {
            if (!ReadPortLine('1', false) || !ReadPortLine('2', true))
                return false;
            options.PortExtension = true;
        }
        return true;
    }

    // The fields of the option line after "#", in order, each optional.
    static bool ParseOptionFields(std::string_view rest, TTouchstoneOptions& options,
                                  bool& extension) {
        std::string token = NextToken(rest);
        if (token.empty())
            return true;
        constexpr std::array<const char*, 4> units{"hz", "khz", "mhz", "ghz"};
        for (std::size_t i = 0; i < units.size(); ++i)
            if (token == units[i]) {
                options.UnitIndex = static_cast<int>(i);
                token = NextToken(rest);
                break;
            }
        if (token.empty())
            return true;
        if (token == "s") {
            token = NextToken(rest);
            if (token.empty())
                return true;
        } else if (token == "y" || token == "z" || token == "g" || token == "h") {
            return false;
        }
        constexpr std::array<const char*, 3> formats{"db", "ma", "ri"};
        for (std::size_t i = 0; i < formats.size(); ++i)
            if (token == formats[i]) {
                options.Format = static_cast<TTouchstoneFormat>(i);
                token = NextToken(rest);
                break;
            }
        if (token.empty())
            return true;
        if (token != "r")
            return false;
        // "R" without a value (as some network-analysis tools write it) means the usual 50 Ohms;
        // the value is not used here anyway.
        const std::string value = NextToken(rest);
        if (value.empty())
            return true;
        double reference = 0.0;
        if (!ParseReal(value, reference))
            return false;
        options.Reference = reference;
        std::string tail;
        for (const char c : rest)
            if (!IsBlank(c))
                tail.push_back(Lower(c));
        if (tail.empty())
            return true;
        if (tail != "n1")
            return false;
        extension = true;
        return true;
    }

    // "# port <port> a 0", after empty lines, comments and (for the second) keyword lines.
    bool ReadPortLine(char port, bool skipKeywords) {
        for (;;) {
            if (!Lines_.Next(Line_))
                return false;
            const std::string_view start = TrimLeft(Line_);
            if (start.empty() || (skipKeywords && start.front() == '['))
                continue;
            break;
        }
        std::string_view rest = Line_;
        if (NextToken(rest) != "#" || NextToken(rest) != "port" ||
            NextToken(rest) != std::string(1, port))
            return false;
        double a = 0.0;
        double b = 0.0;
        return ParseReal(NextToken(rest), a) && ParseReal(NextToken(rest), b) && b == 0.0 &&
               NextToken(rest).empty();
    }

    // Three numbers of one record; false ends the reading (StopMessage_ says why when the user
    // should hear of it).
    bool ReadDataRecord(std::array<double, 3>& values) {
        for (;;) {
            if (!Lines_.Next(Line_))
                return false;
            const std::string_view start = TrimLeft(Line_);
            if (start.empty() || start.front() == '[')
                continue;
            break;
        }
        std::string_view rest = Line_;
        for (double& value : values) {
            std::string token = NextToken(rest);
            while (token.empty()) {
                if (!Lines_.Next(Line_))
                    return false;
                const std::string_view start = TrimLeft(Line_);
                if (!start.empty() && start.front() == '[') {
                    StoppedEarly_ = true; // a keyword inside a record: the data have ended
                    return false;
                }
                rest = Line_;
                token = NextToken(rest);
            }
            if (!ParseReal(token, value)) {
                StopMessage_ =
                    LineText() + ": " + Quoted(token) + " is not a number; reading stopped.";
                return false;
            }
        }
        if (!NextToken(rest).empty()) {
            StoppedEarly_ = true; // more numbers: not a one-port record, and lines may follow
            return false;
        }
        return true;
    }

    TLineReader& Lines_;
    std::string Name_;
    TTouchstoneRead& Out_;
    std::string Line_;
    std::string StopMessage_;
    bool StoppedEarly_ = false; // a record ended the reading before the end of the file
    bool Finished_ = false;
};

std::string RecordText(double frequency, double value, int width, int decimals) {
    std::string text = FormatFixed(frequency, 11, 7);
    text += ' ';
    text += FormatFixed(value, width, decimals);
    text += ' ';
    text += FormatFixed(0.0, width, decimals);
    text += ' ';
    return text;
}

} // namespace

std::string MemoryFileName(int k) {
    return "mem" + std::to_string(k) + ".s1p";
}

std::string SpectrumFileText(std::span<const TTraceRecord> spectrum, double refLevel,
                             double yOffset) {
    std::string text = HeaderLine;
    text += LineBreak;
    text += "# Hz S DB R 50";
    const std::size_t last = std::min<std::size_t>(spectrum.size(), MaxTouchstonePoints + 1);
    for (std::size_t i = 1; i < last; ++i) {
        const double db =
            20.0 * std::log10(std::max(1e-100, spectrum[i].Magnitude)) - refLevel + yOffset;
        text += LineBreak;
        text += RecordText(spectrum[i].Frequency, db, 11, 7);
    }
    return text;
}

std::string MemoryFileText(std::span<const TTraceRecord> memory) {
    std::string text = HeaderLine;
    text += LineBreak;
    text += "# Hz S MA R 50";
    const std::size_t count = std::min(memory.size(), MaxTouchstonePoints);
    for (std::size_t i = 0; i < count; ++i) {
        const double magnitude = std::isfinite(memory[i].Magnitude) ? memory[i].Magnitude : 0.0;
        text += LineBreak;
        text += RecordText(memory[i].Frequency, magnitude, 14, 10);
    }
    return text;
}

void WriteSpectrumFile(const std::string& path, std::span<const TTraceRecord> spectrum,
                       double refLevel, double yOffset) {
    WriteFileAtomically(path, SpectrumFileText(spectrum, refLevel, yOffset));
}

void WriteMemoryFile(const std::string& path, std::span<const TTraceRecord> memory) {
    WriteFileAtomically(path, MemoryFileText(memory));
}

std::string NormaliseLine(std::string_view line) {
    std::string text;
    text.reserve(line.size());
    for (const char c : line) {
        const char d = c == '\t' ? ' ' : c;
        if (d == ' ' && !text.empty() && text.back() == ' ')
            continue;
        text.push_back(d);
    }
    if (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    if (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string NextToken(std::string_view& rest) {
    rest = TrimLeft(rest);
    if (rest.empty())
        return {};
    if (rest.front() == '"') {
        rest.remove_prefix(1);
        const std::size_t close = rest.find('"');
        std::string token(rest.substr(0, close));
        rest.remove_prefix(close == std::string_view::npos ? rest.size() : close + 1);
        return token;
    }
    std::size_t end = 0;
    while (end < rest.size() && !IsBlank(rest[end]))
        ++end;
    std::string token(rest.substr(0, end));
    for (char& c : token)
        c = Lower(c);
    rest.remove_prefix(end);
    return token;
}

TTouchstoneRead ReadTouchstone(const std::string& path) {
    TTouchstoneRead result;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return result;
        result.Exists = true;
        result.Messages.push_back(
            {ErrorCaption, "Could not read " + path + ": " + std::strerror(error) + "."});
        return result;
    }
    result.Exists = true;
    TLineReader lines([&file](char* buffer, std::size_t size, int& error) {
        const std::size_t count = std::fread(buffer, 1, size, file.get());
        if (count == 0 && std::ferror(file.get()))
            error = errno != 0 ? errno : EIO;
        return count;
    });
    TTouchstoneParser(lines, path, result).Run();
    return result;
}

TTouchstoneRead ReadTouchstoneText(std::string_view text, const std::string& name) {
    TTouchstoneRead result;
    result.Exists = true;
    TLineReader lines([&text](char* buffer, std::size_t size, int&) {
        const std::size_t count = std::min(size, text.size());
        if (count > 0)
            std::memcpy(buffer, text.data(), count);
        text.remove_prefix(count);
        return count;
    });
    TTouchstoneParser(lines, name, result).Run();
    return result;
}
