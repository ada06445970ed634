// SPDX-License-Identifier: GPL-3.0-or-later
// Distortion readings from an averaged power spectrum: components, band sums and their ratios.
#include "analysis/DistortionReadings.h"

#include <algorithm>
#include <charconv>
#include <cmath>

TDistortionSettings LimitedSettings(TDistortionSettings s) {
    const TDistortionSettings defaults;
    s.Harmonics = std::clamp(s.Harmonics, 2, 20);
    s.Averages = std::clamp(s.Averages, 1, 1000);
    s.BandLowHz = std::isfinite(s.BandLowHz) ? std::max(s.BandLowHz, 0.0) : defaults.BandLowHz;
    s.BandHighHz = std::isfinite(s.BandHighHz) ? std::max(s.BandHighHz, 0.0) : defaults.BandHighHz;
    s.Tones.Ratio = std::isfinite(s.Tones.Ratio) ? std::max(s.Tones.Ratio, 0.0) : 1.0;
    return s;
}

namespace {

// Powers are floored here before a ratio is taken, so that a perfect signal reads a finite
// number of dB.
constexpr double kPowerFloor = 1e-300;

// What a bin belongs to.
enum : std::uint8_t { kFree = 0, kDc = 1, kFundamental = 2, kHarmonic = 3 };

struct TBinRange {
    int First = 0;
    int Last = -1;
};

// hz in the shortest form of up to 9 significant digits ("18000", "58.59375").
std::string FormatHz(double hz) {
    char buffer[32];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof(buffer), hz, std::chars_format::general, 9);
    return ec == std::errc() ? std::string(buffer, end) : std::string("?");
}

// 10 lg(num / den) with both floored.
double Db(double num, double den) {
    return 10.0 * std::log10(std::max(num, kPowerFloor) / std::max(den, kPowerFloor));
}

// The spectrum and the band as the readings use them.
class TComponents {
public:
    TComponents(const TPowerSpectrum& s, std::vector<std::uint8_t>& marks)
        : P(s.Power), Half(s.N / 2), Lobe(s.Lobe), BinHz(s.RateHz / s.N), Marks(marks) {
        Marks.assign(static_cast<std::size_t>(Half) + 1, kFree);
    }

    // The bins of a component centred on `bin` (fractional): every bin within Lobe of it, or
    // the nearest bin when Lobe is 0; clipped to 0 ... N/2.
    TBinRange Bins(double bin) const {
        if (Lobe == 0) {
            const long k = std::lround(bin);
            return k >= 0 && k <= Half ? TBinRange{static_cast<int>(k), static_cast<int>(k)}
                                       : TBinRange{};
        }
        return {std::max(0, static_cast<int>(std::ceil(bin - Lobe - 1e-9))),
                std::min(Half, static_cast<int>(std::floor(bin + Lobe + 1e-9)))};
    }
    // True when the whole component at `bin` lies above the DC component and within N/2.
    bool Fits(double bin) const { return bin - Lobe > Lobe && bin + Lobe <= Half; }

    // Sum of P over the range, leaving out bins marked as one of `skip` (bit mask of marks).
    double Sum(TBinRange r, unsigned skip = 0) const {
        double sum = 0.0;
        for (int k = r.First; k <= r.Last; ++k)
            if ((skip >> Marks[static_cast<std::size_t>(k)] & 1u) == 0)
                sum += P[static_cast<std::size_t>(k)];
        return sum;
    }
    void Mark(TBinRange r, std::uint8_t what) {
        for (int k = r.First; k <= r.Last; ++k)
            Marks[static_cast<std::size_t>(k)] = what;
    }

    // The strongest bin of lo ... hi (clipped) not marked as one of `skip`; -1 when none.
    int Peak(int lo, int hi, unsigned skip = 0) const {
        int best = -1;
        for (int k = std::max(lo, 0); k <= std::min(hi, Half); ++k)
            if ((skip >> Marks[static_cast<std::size_t>(k)] & 1u) == 0 &&
                (best < 0 || P[static_cast<std::size_t>(k)] > P[static_cast<std::size_t>(best)]))
                best = k;
        return best;
    }
    // The refined centre of the component around bin `peak`, in bins: the power-weighted mean
    // bin of peak - Lobe ... peak + Lobe (bins marked as one of `skip` left out); `peak` itself
    // when Lobe is 0. For a symmetric main lobe sampled at whole bins this is its centre.
    double Refined(int peak, unsigned skip = 0) const {
        if (Lobe == 0)
            return peak;
        double sum = 0.0;
        double moment = 0.0;
        for (int k = std::max(peak - Lobe, 0); k <= std::min(peak + Lobe, Half); ++k) {
            if ((skip >> Marks[static_cast<std::size_t>(k)] & 1u) != 0)
                continue;
            sum += P[static_cast<std::size_t>(k)];
            moment += P[static_cast<std::size_t>(k)] * (k - peak);
        }
        return sum > 0.0 ? peak + moment / sum : peak;
    }

    std::span<const double> P;
    int Half;
    int Lobe;
    double BinHz;
    std::vector<std::uint8_t>& Marks;
};

constexpr const char* kTooShort =
    "The block is too short to tell the tones apart: a longer sample length is needed";

constexpr unsigned Bit(std::uint8_t mark) {
    return 1u << mark;
}

// The intermodulation tones (in bins) and the stronger one's bin, or a problem.
struct TToneBins {
    double Bin1 = 0.0;
    double Bin2 = 0.0;
    std::string Problem;
};

TToneBins FindToneBins(const TComponents& c, const TPowerSpectrum& s, const TTwoTones& tones) {
    TToneBins t;
    if (s.ToneGridHz > 0.0) {
        const auto period = static_cast<std::int64_t>(std::llround(s.RateHz / s.ToneGridHz));
        const auto [m1, m2] = CoherentToneCycles(tones, s.RateHz, period);
        const double grid = s.ToneGridHz / c.BinHz;
        t.Bin1 = static_cast<double>(m1) * grid;
        t.Bin2 = static_cast<double>(m2) * grid;
        return t;
    }
    // Free: tones closer to each other (or the low tone of SMPTE/DIN closer to DC, where its
    // sidebands fall) than a component's width cannot be told apart.
    const double c1 = tones.F1Hz / c.BinHz;
    const double c2 = tones.F2Hz / c.BinHz;
    const double spacing = std::min(std::abs(c2 - c1), std::min(c1, c2));
    if (spacing < 2.0 * c.Lobe + 1.0) {
        t.Problem = kTooShort;
        return t;
    }
    // Each tone is the strongest bin within 5 % of its nominal frequency (at most half the
    // spacing, at least 2 bins), refined.
    const auto near = [&](double centre) {
        const double reach = std::max(2.0, std::min(0.05 * centre, 0.5 * spacing));
        const int peak = c.Peak(static_cast<int>(std::ceil(centre - reach)),
                                static_cast<int>(std::floor(centre + reach)));
        return peak < 0 ? -1.0 : c.Refined(peak);
    };
    t.Bin1 = near(c1);
    t.Bin2 = near(c2);
    if (t.Bin1 < 0.0 || t.Bin2 < 0.0)
        t.Problem = "The two tones lie outside the spectrum";
    return t;
}

// FindToneBins, and a tone more than 80 dB below the strongest bin above DC counts as absent
// ("No tone near 18000 Hz").
TToneBins FindTones(const TComponents& c, const TPowerSpectrum& s, const TTwoTones& tones) {
    TToneBins t = FindToneBins(c, s, tones);
    if (!t.Problem.empty())
        return t;
    const int strongest = c.Peak(2 * c.Lobe + 1, c.Half);
    const double floor = strongest < 0 ? 0.0 : 1e-8 * c.P[static_cast<std::size_t>(strongest)];
    for (const auto& [bin, hz] : {std::pair{t.Bin1, tones.F1Hz}, std::pair{t.Bin2, tones.F2Hz}})
        if (!(c.Sum(c.Bins(bin)) > floor)) {
            t.Problem = "No tone near " + FormatHz(hz) + " Hz";
            break;
        }
    return t;
}

// The intermodulation readings of the kind st.Imd for tones at bins t1 and t2 (t1 the first tone
// of the settings).
void ReadIntermodulation(TComponents& c, const TPowerSpectrum& s, const TDistortionSettings& st,
                         double t1, double t2, double highEdgeHz, TDistortionReadings& r) {
    r.Tone1Hz = t1 * c.BinHz;
    r.Tone2Hz = t2 * c.BinHz;
    const double p1 = c.Sum(c.Bins(t1));
    const double p2 = c.Sum(c.Bins(t2));
    struct TProduct {
        const char* Name;
        double Bin;
    };
    std::vector<TProduct> products;
    if (st.Imd == TImdKind::Smpte) {
        products = {{"f2-f1", t2 - t1},      {"f2+f1", t2 + t1},      {"f2-2f1", t2 - 2 * t1},
                    {"f2+2f1", t2 + 2 * t1}, {"f2-3f1", t2 - 3 * t1}, {"f2+3f1", t2 + 3 * t1}};
    } else {
        products = {{"f2-f1", t2 - t1}, {"2f1-f2", 2 * t1 - t2}, {"2f2-f1", 2 * t2 - t1}};
    }
    // Components closer than a component's width cannot be told apart.
    const double spacing = std::min(std::abs(t2 - t1), std::min(t1, t2));
    if (s.ToneGridHz <= 0.0 && spacing < 2.0 * c.Lobe + 1.0) {
        r.Problem = kTooShort;
        return;
    }
    double sum = 0.0;
    // SMPTE/DIN: relative to the high tone; twin-tone: to the sum of the tones' amplitudes.
    const double reference = st.Imd == TImdKind::Smpte
                                 ? p2
                                 : 0.5 * std::pow(std::sqrt(2.0 * p1) + std::sqrt(2.0 * p2), 2);
    for (const TProduct& p : products) {
        const double hz = p.Bin * c.BinHz;
        if (!c.Fits(p.Bin) || hz < st.BandLowHz || hz > highEdgeHz)
            continue;
        const double power = c.Sum(c.Bins(p.Bin));
        sum += power;
        r.ImdProducts.push_back({p.Name, hz, Db(power, reference)});
    }
    const double ratio = std::sqrt(sum / std::max(reference, kPowerFloor));
    r.ImdDb = Db(sum, reference);
    r.ImdPct = 100.0 * ratio;
}

} // namespace

TDistortionReadings ComputeDistortionReadings(const TPowerSpectrum& s,
                                              const TDistortionSettings& settings,
                                              std::vector<std::uint8_t>& marks) {
    TDistortionReadings r;
    r.Coherent = s.ToneGridHz > 0.0;
    if (s.N < 4 || s.RateHz <= 0.0 || s.Power.size() < static_cast<std::size_t>(s.N / 2 + 1)) {
        r.Problem = "No block measured yet";
        return r;
    }
    const TDistortionSettings st = LimitedSettings(settings);
    TComponents c(s, marks);
    const double nyquist = s.RateHz / 2.0;
    const double highEdge = std::min(st.BandHighHz, nyquist);
    const int kLo =
        std::clamp(static_cast<int>(std::ceil(st.BandLowHz / c.BinHz - 1e-9)), 0, c.Half);
    const int kHi = std::clamp(static_cast<int>(std::floor(highEdge / c.BinHz + 1e-9)), 0, c.Half);
    if (st.BandLowHz >= highEdge || kLo > kHi) {
        r.Problem = "The band holds no bin";
        return r;
    }

    const TBinRange dc = c.Bins(0.0);
    c.Mark(dc, kDc);
    r.DcLastBin = dc.Last;

    // The fundamental: the generator's tone, the stronger of the two tones (the first when they
    // are within 1 dB), or the strongest component of the band.
    double f0 = 0.0;
    TToneBins tones;
    if (st.Imd != TImdKind::None) {
        tones = FindTones(c, s, st.Tones);
        if (!tones.Problem.empty()) {
            r.Problem = tones.Problem;
            return r;
        }
        // Tones within 1 dB of each other (twin-tone) count as equal: then the first.
        const double ratio = c.Sum(c.Bins(tones.Bin1)) / c.Sum(c.Bins(tones.Bin2));
        f0 = !(ratio < 0.7943282347242815) ? tones.Bin1 : tones.Bin2;
    } else if (r.Coherent) {
        f0 = s.ToneGridHz / c.BinHz;
    } else {
        const int peak = c.Peak(kLo, kHi, Bit(kDc));
        if (peak < 0) {
            r.Problem = "The band holds no bin above DC";
            return r;
        }
        f0 = c.Refined(peak, Bit(kDc));
    }
    if (!c.Fits(f0)) {
        r.Problem = c.Lobe > 0 && f0 - c.Lobe <= c.Lobe
                        ? "The tone lies too close to 0 Hz for this sample length"
                        : "The tone lies too close to half the sample rate";
        return r;
    }
    const TBinRange fundamental = c.Bins(f0);
    const double p1 = c.Sum(fundamental);
    if (p1 <= 0.0) {
        r.Problem = "No tone";
        return r;
    }
    c.Mark(fundamental, kFundamental);
    r.FundamentalFirstBin = fundamental.First;
    r.FundamentalLastBin = fundamental.Last;
    r.FundamentalHz = f0 * c.BinHz;
    r.FundamentalDb = Db(p1, 0.5);

    // Harmonics 2 ... K below the band's top and half the rate, each a whole component.
    double harmonics = 0.0;
    for (int n = 2; n <= st.Harmonics; ++n) {
        const double bin = n * f0;
        const double hz = bin * c.BinHz;
        if (hz > highEdge || hz >= nyquist || !c.Fits(bin))
            break;
        const TBinRange range = c.Bins(bin);
        const double power = c.Sum(range, Bit(kFundamental));
        c.Mark(range, kHarmonic);
        harmonics += power;
        r.Harmonics.push_back({n, hz, Db(power, p1)});
    }

    // The band without DC and the fundamental ("N" of THD+N), and without the harmonics too.
    double distortionNoise = 0.0;
    double noise = 0.0;
    for (int k = kLo; k <= kHi; ++k) {
        const std::uint8_t mark = marks[static_cast<std::size_t>(k)];
        const double p = s.Power[static_cast<std::size_t>(k)];
        if (mark != kDc && mark != kFundamental)
            distortionNoise += p;
        if (mark == kFree)
            noise += p;
    }
    r.ThdDb = Db(harmonics, p1);
    r.ThdPct = 100.0 * std::sqrt(harmonics / p1);
    r.ThdnDb = Db(distortionNoise, p1);
    r.ThdnPct = 100.0 * std::sqrt(distortionNoise / p1);
    r.SinadDb = Db(p1 + distortionNoise, distortionNoise);
    r.SnrDb = Db(p1, noise);
    r.EnobBits = (r.SinadDb - 1.76) / 6.02;

    // The largest other component of the band: around its strongest bin, without the bins of DC
    // and the fundamental.
    const unsigned taken = Bit(kDc) | Bit(kFundamental);
    const int spur = c.Peak(kLo, kHi, taken);
    if (spur >= 0) {
        const double centre = c.Refined(spur, taken);
        r.SfdrDb = Db(p1, c.Sum(c.Bins(centre), taken));
        r.SfdrHz = centre * c.BinHz;
    }

    if (st.Imd != TImdKind::None)
        ReadIntermodulation(c, s, st, tones.Bin1, tones.Bin2, highEdge, r);
    r.Valid = r.Problem.empty();
    return r;
}
