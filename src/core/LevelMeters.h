// SPDX-License-Identifier: GPL-3.0-or-later
// Level meters: S+N and S levels, peak recorder entries, read-out texts and custom variables.
#pragma once

#include <functional>
#include <string>

struct MeasurementState;

// RMS volts of a sine of x dBm into 50 Ohms: sqrt(10^(x/10) / 20).
double DbmToVeff(double x);
// Peak-peak volts of the same sine: sqrt(8) * DbmToVeff(x).
double DbmToVpp(double x);

// Peak frequency in Hz: PeakBinFine / BlockLength * SampleRate.
double PeakFrequency(const MeasurementState& state);

// The meter number format F for d significant digits: " %<d+3>.<d>f " applied to x
// (" -3.010 " for d = 3); a value that rounds to zero carries no minus sign.
std::string MeterNumber(int digits, double x);

// The current readings on the peak recorder's chart, in the meters' number forms: the S level
// as the S meter shows it in dB ("S=-20.000 dB" for 3 digits: MeterNumber without its blanks)
// and the peak frequency as its meter shows it ("1500.00 Hz").
struct TPeakReadings {
    std::string Level;
    std::string Frequency;
};
TPeakReadings PeakChartReadings(const MeasurementState& state);

// Level step of one processed block from BandTotal and PeakAmplitude:
// SNRaw smooths 20 log10(max(1e-100, BandTotal)) with MeterAlpha (taken outright on
// ResetSmoothing); a pending CalRequest sets RefLevel := SNRaw - CalLevel + YOffset and
// CalVpp := DbmToVpp(-RefLevel); SNLevel := SNRaw - RefLevel + YOffset;
// LS := 20 log10(max(1e-30, PeakAmplitude)) - RefLevel goes to the peak log when above
// PeakThreshold; SRaw smooths LS and SLevel := SRaw + YOffset.
void LevelStep(MeasurementState& state);

// Appends (PeakFrequency, levelDb) to the ring PeakLog when levelDb > PeakThreshold; the index
// wraps to 0 at the ring's length (PeakLogSize unless the recorder resized it) and sets
// PeakLogWrapped.
void RecordPeak(MeasurementState& state, double levelDb);

// The large S+N read-out LSN_M of the current SNLevel (also the scope overlay LSN_O): the meter
// number and "dB"/"dBm" or, by CUnits, peak-peak or RMS volts with SI prefixes.
std::string MainMeterText(const MeasurementState& state);

// Text step of one processed block: LSN_M, LSN, LS, the spectral-density LSp (SpecialMeter 1)
// and, when NewScopeData is set, LSN_O and LCS (then NewScopeData := false); in dB or, by
// CUnits, in peak-peak or RMS volts with SI prefixes. bandwidthHz is the band filter's stop
// minus start frequency; customLabel gives the custom label text.
void TextStep(MeasurementState& state, double bandwidthHz,
              const std::function<std::string()>& customLabel);

// DPClick, DSClick, DCClick (meter 0 peak frequency, 1 spectral density, 2 custom) and
// DOffClick (3): SpecialMeter := meter, except that a click on the meter already shown switches
// it off (3). Returns the new SpecialMeter; LSp is shown unless it is 3.
int SpecialMeterClick(MeasurementState& state, int meter);

// Fills CustomVarsVolts and CustomVarsRatio (real parts of "f_l", "f_u", "samplerate", "n",
// "y_peak", "f_peak", "sn", "s"; "f" is left alone): sn and s are DbmToVeff of SNLevel and
// SLevel in the volts set and 10^(level/20) in the ratio set.
void SetCustomVariables(MeasurementState& state);
