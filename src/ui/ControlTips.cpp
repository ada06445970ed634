// SPDX-License-Identifier: GPL-3.0-or-later
// Tooltips and status-bar tips of the window's controls and menu entries, found by name.
#include "ui/ControlTips.h"

#include <QAction>
#include <QMenu>
#include <QString>
#include <QWidget>

#include <cstring>
#include <string_view>

namespace {

struct TTip {
    const char* Name;
    const char* Text;
};

// Short texts: what the control does and in which unit.
constexpr TTip kTips[] = {
    // Main window and menus.
    {"SpeedButton1", "Start or stop sampling (F5)"},
    {"Run", "Start or stop sampling (F5)"},
    {"M#", "Show memory trace %1 on the spectrum graph"},
    {"C", "Show the custom trace on the spectrum graph"},
    {"BLoad", "Load a set-up file (Ctrl+O)"},
    {"BSave", "Save the set-up to a file (Ctrl+S)"},
    {"ShowDetector", "Show or hide the detector test calculator's tab"},
    {"Trans", "See-through graph backgrounds where the desktop composes windows"},
    {"Exit1", "Save the settings and quit (Ctrl+Q)"},
    {"HelpGuide", "Open the user guide in the web browser (F1)"},
    {"HelpAbout", "Show the version and licence of Phonoscale"},
    {"SaveSpec", "Copy a picture of the spectrum to the clipboard"},
    {"SaveScope", "Copy a picture of the scope to the clipboard"},
    {"SaveSpectrogram", "Copy a picture of the spectrogram to the clipboard"},
    {"SaveOctave", "Copy a picture of the octave bands to the clipboard"},
    {"SaveDistortion", "Copy a picture of the distortion analyser to the clipboard"},
    {"WT#", "Analysis window of the spectrum and the meters"},
    {"flat", "No spectral weighting"},
    {"pso", "Psophometric weighting of the spectrum and the meters"},
    {"Cmes", "C-message weighting of the spectrum and the meters"},
    {"WeightA", "A weighting (IEC 61672-1) of the spectrum and the meters"},
    {"WeightC", "C weighting (IEC 61672-1) of the spectrum and the meters"},
    {"WeightZ", "Z weighting (flat, marked in the units as \"(Z)\")"},
    {"DispMem#", "Show memory trace %1 on the spectrum graph"},
    {"all2", "Show all four memory traces"},
    {"none1", "Hide all memory traces"},
    {"toMem#", "Copy the live spectrum into memory %1"},
    {"D2M#", "Copy the live spectrum into memory %1"},
    {"CM#", "Clear memory %1"},
    {"all1", "Clear all four memories"},
    {"Load#", "Load memory %1 from a Touchstone, CSV or FRD file"},
    {"SaveMem#", "Save memory %1 to a Touchstone, CSV or FRD file"},
    {"N#1", "Colour of memory trace %1"},
    {"Save1", "Save the live spectrum to a Touchstone, CSV or FRD file"},
    {"Custom1", "Colour of the custom trace"},
    {"DataMem3", "Copy the live spectrum into this memory"},
    {"Clear1", "Clear this memory"},
    {"SNL", "Show the S+N meter (signal plus noise in the band) on the spectrum"},
    {"SL", "Show the S meter (strongest component) on the spectrum"},
    {"DP", "Special meter: frequency of the strongest component, Hz"},
    {"DS", "Special meter: spectral density of the band, dB/Hz or V/Hz^0.5"},
    {"DC", "Special meter: the custom read-out"},
    {"DOff", "No special meter"},
    {"CCus", "Draw the custom trace on the spectrum graph"},

    // Spectrum graph menus.
    {"LogF", "Logarithmic frequency axis"},
    {"LogXG", "Draw the frequency grid"},
    {"LogXS", "Draw the minor lines of the logarithmic frequency grid"},
    {"CGCi", "dB captions inside the graph"},
    {"CGCo", "dB captions outside the graph"},
    {"CGCoff", "No dB captions"},
    {"CFC", "Write the frequency captions"},
    {"CheckZoom", "Zoom the frequency axis to the input band"},
    {"Zoom1", "Zoom the frequency axis to the input band"},
    {"BW", "Draw the band-edge lines"},
    {"Grid2", "Colour of the spectrum grid"},
    {"BackGround2", "Colour of the spectrum background"},
    {"Spectrum1", "Colour of the live spectrum trace"},
    {"Redrawwiththicklines1", "Draw the traces with thick lines"},
    {"Reset1", "Restart the spectrum smoothing or peak hold (r)"},
    {"ETop", "Level at the top of the spectrum graph, dB"},
    {"EBoxes", "Number of grid boxes on the level axis"},
    {"EOffset", "Offset added to every level shown, dB"},

    // Scope.
    {"TrackAmp", "Vertical scale of the scope"},
    {"TrackT", "Time base of the scope"},
    {"scym", "Draw the level markings of the scope"},
    {"sctm", "Draw the time markings of the scope"},
    {"ScopLev", "Show the level meter on the scope"},
    {"race1", "Colour of the scope trace"},
    {"Grid1", "Colour of the scope grid"},
    {"Background1", "Colour of the scope background"},
    {"Redrawwiththicklines2", "Draw the scope trace with a thick line"},
    {"Single1", "Take one sweep and hold it"},
    {"TOff", "Free-running scope, no trigger"},
    {"TNorm", "Sweep only on a trigger"},
    {"TAuto", "Sweep on a trigger, or free-running without one"},
    {"TSingle", "Sweep once on the next trigger"},
    {"TRise", "Trigger on the rising edge"},
    {"TFall", "Trigger on the falling edge"},

    // Measure tab: units and calibration.
    {"CUnits", "Units of the read-outs: dB, volts, dBFS, dBu, dBV or dB SPL"},
    {"ESplCal", "Level of the sound calibrator on the microphone, dB SPL"},
    {"BSplCal", "Take the strongest tone in the band as the calibrator's level"},
    {"ESplSens", "dB SPL of a full-scale sine (the SPL calibration); empty: none"},
    {"EMicCorr", "Correction curve of the microphone (frequency and dB), subtracted"},
    {"BMicCorr", "Choose the microphone's correction file"},
    {"EIfaceCorr", "Correction curve of the sound interface (frequency and dB), subtracted"},
    {"BIfaceCorr", "Choose the interface's correction file"},
    {"CCorrTrace", "Draw the sum of both correction curves on the spectrum"},
    {"CDigits", "Significant digits of the read-outs"},
    {"ECalDB", "Level of the calibration signal, dBm into 50 Ohms"},
    {"ECalV", "Level of the calibration signal, volts peak-peak (unit beside)"},
    {"CCalUnit", "Unit of the peak-peak calibration level: V, mV or uV"},
    {"Button1", "Make the present S+N reading the calibration level entered"},
    {"BReset", "Drop the calibration: levels in dB re full scale"},
    {"BUndoCal",
     "Bring back the calibration in force before the last Calibrate Level or Reset Level Cal"},

    // Settings: sampling, band, devices, sine output.
    {"CFrame", "Sample rate of the capture device, samples/s"},
    {"ComboRes", "Sample resolution of the capture device, bit"},
    {"ComboSamples", "Samples per block (N): more gives finer frequency resolution"},
    {"ComboChannel", "Channel analysed: left, right, their sum or difference"},
    {"TrackL", "Lower edge of the input band (cut-on), Hz"},
    {"EditLF", "Lower edge of the input band (cut-on), Hz"},
    {"TrackU", "Upper edge of the input band (cut-off), Hz"},
    {"EditUF", "Upper edge of the input band (cut-off), Hz"},
    {"CEngine", "MME: ALSA sound cards. WDM: the clients of a running JACK server."},
    {"CN4", "Source of the samples: the sound card or the external four-ADC box"},
    {"ComboAudioDevice", "Capture device"},
    {"CLevel", "Set the capture device's input level to 0 dB on the sound server while sampling"},
    {"ComboOutDevice", "Playback device of the coherent test sine"},
    {"CheckOut", "Play a coherent test sine while sampling"},
    {"COutChan", "Channels of the test sine and their polarity"},
    {"TrackF", "Period of the test sine: rate / 2^P samples, Hz shown below"},

    // Settings: smoothing.
    {"ETime", "Time constant of the meters, s"},
    {"CTC", "Smoothing of the spectrum: the meter time constant, per-frequency constants, "
            "or peak hold"},
    {"ET#", "Time constant of the spectrum at this frequency, s"},
    {"CRed", "Reduce the spectrum to fewer points by smoothing voltage or power"},
    {"EAv", "Number of points of the reduced spectrum"},

    // Settings: custom trace and read-out.
    {"ECT", "Expression of the custom trace, in f (Hz)"},
    {"ECL", "Expression of the custom read-out"},
    {"EUnit", "Unit written after the custom read-out"},
    {"CDigs", "Significant digits of the custom read-out"},
    {"EID", "Text written before the custom read-out"},
    {"CCS", "Show the custom read-out on the scope"},

    // Settings: spectrum overlays and screenshots.
    {"MC#", "Show marker %1 on the spectrum graph"},
    {"MF#", "Frequency of marker %1, Hz"},
    {"CPos", "Corner of the spectrum graph for the marker captions"},
    {"EMFS", "Font size of the marker captions, points"},
    {"CMD", "Also read the markers on the memory traces"},
    {"EAM", "Label of the live spectrum trace"},
    {"EA#", "Label of memory trace %1"},
    {"EAC", "Label of the custom trace"},
    {"CA", "Show the trace labels on the spectrum graph"},
    {"CAT", "Draw the trace labels without a background"},
    {"EAFS", "Font size of the trace labels relative to the window's, percent"},
    {"BDefault", "Move every trace label back to the top left corner of the graph"},
    {"CCur", "Alignment of the cursor read-out"},
    {"CMTrans", "Draw the meters on the graph without a background"},
    {"ESX", "Width of the clipboard pictures, pixels"},
    {"ESY", "Height of the clipboard pictures, pixels"},
    {"ESFS", "Font size of the graphs' captions in the pictures, points"},
    {"ENFS", "Font size of the meters in the pictures, points"},
    {"CWhite", "White background in the pictures"},
    {"CPNG", "Also offer to save each picture as a PNG file"},

    // Peak frequency and level recorder.
    {"EPkH", "Highest frequency of the recorder graph, Hz"},
    {"EPkL", "Lowest frequency of the recorder graph, Hz"},
    {"CPeakF", "Draw the recorded peak frequencies"},
    {"EPkLH", "Highest level of the recorder graph, dB"},
    {"EPkLL", "Lowest level of the recorder graph, dB"},
    {"CPeakL", "Draw the recorded peak levels"},
    {"EPkN", "Number of records shown"},
    {"EPkTrg", "Level a peak must exceed to be recorded, dB"},
    {"BPKOK", "Apply the recorder's ranges"},
    {"Grid3", "Colour of the frequency grid"},
    {"Level1", "Colour of the level grid"},
    {"race2", "Colour of the frequency trace"},
    {"Level2", "Colour of the level trace"},
    {"Background3", "Colour of the recorder background"},
    {"ClearScreen1", "Clear the recorder's records"},
    {"SetRange1", "Set the recorder's ranges"},
    {"SaveTracetoFile1", "Save the recorded peaks to a file"},

    // Vector voltmeter and detector test.
    {"EFreq", "Frequency measured by the vector voltmeter, Hz"},
    {"EVVMT", "Averaging time of the vector voltmeter, s"},
    {"CAd", "Channel pair of the vector voltmeter"},
    {"CN4Save", "Save the external box's samples to a file"},
    {"EN4File", "File the external box's samples are saved to"},
    {"EN4Time", "Seconds of samples to save"},
    {"Ep", "Analysis period, samples"},
    {"Enp", "Number of analysis periods"},

    // Distortion, spectrogram and octave bands.
    {"EDistHarm", "Highest harmonic included, 2 to 50"},
    {"EDistLow", "Lower edge of the band for THD+N, Hz"},
    {"EDistHigh", "Upper edge of the band for THD+N, Hz"},
    {"EDistAv", "Number of blocks averaged"},
    {"CDistImd", "Intermodulation test: none, SMPTE or twin tone"},
    {"EDistF1", "First tone of the intermodulation test, Hz"},
    {"EDistF2", "Second tone of the intermodulation test, Hz"},
    {"EDistRatio", "Level ratio of the two tones"},
    {"CDistResidual", "Draw the spectrum without DC and fundamental on the spectrum graph"},
    {"BDistReset", "Restart the distortion average"},
    {"ESgTop", "Level at the top of the colour scale, dB"},
    {"ESgSpan", "Range of the colour scale, dB"},
    {"CSgNewest", "Where the newest row is drawn: top or right"},
    {"CSgInterval", "Time per row of the spectrogram"},
    {"BSgPause", "Hold the spectrogram; the mouse wheel then scrolls back"},
    {"COctBands", "Band width: 1/1, 1/3, 1/6, 1/12 or 1/24 octave"},
    {"COctTime", "Averaging of the bars: Fast 0.125 s or Slow 1 s"},
    {"EOctTop", "Level at the top of the bar graph, dB"},
    {"EOctSpan", "Range of the bar graph, dB"},
    {"BOctReset", "Restart the peak marks and the Leq"},
    {"BOctSave", "Save the band levels to a CSV file"},
    {"CRespReference", "Which signal is the reference: the left input, the right input or what "
                       "the generator plays"},
    {"ERespAverages", "Blocks in each average of the response, 1 to 1000"},
    {"CRespSmoothing", "Smoothing of the shown response over a fraction of an octave"},
    {"CRespDelay", "Take the measured delay out of the phase, or keep it"},
    {"CRespStimulus", "What the generator plays: its sine, or white or pink noise repeating "
                      "every N samples"},
    {"BRespRestart", "Find the delay again and restart the average"},
    {"CRespMem", "The response memory that Store, Clear and Load act on"},
    {"BRespStore", "Keep the shown response in the chosen memory"},
    {"BRespClear", "Empty the chosen memory"},
    {"BRespSave", "Save the shown response as FRD (frequency, dB, degrees) or CSV (with the "
                  "coherence)"},
    {"BRespLoad", "Load an FRD or CSV response into the chosen memory"},
    {"CSlmWeighting", "Frequency weighting of the sound level meter: A, C or Z"},
    {"CSlmTime", "Time weighting of the level bar, maximum and minimum: Fast 125 ms or Slow 1 s"},
    {"ESlmInterval", "Length of the repeating Leq interval, 1 to 3600 s"},
    {"ELoudTarget", "Target loudness drawn in the history, LUFS"},
    {"CLoudHidden", "Whether both meters keep measuring while the tab is hidden"},
    {"BLoudReset", "Restart both meters: Leq, maxima, integrated loudness and range"},
};

} // namespace

const char* ControlTip(const char* name) {
    const std::string_view wanted(name);
    for (const TTip& tip : kTips)
        if (wanted == tip.Name)
            return tip.Text;
    // "MC3" -> "MC#", "N31" -> "N#1": one digit stands for the number.
    for (std::size_t at = 0; at < wanted.size(); ++at) {
        if (wanted[at] < '0' || wanted[at] > '9')
            continue;
        for (const TTip& tip : kTips) {
            const std::string_view pattern(tip.Name);
            if (pattern.size() == wanted.size() && pattern[at] == '#' &&
                pattern.substr(0, at) == wanted.substr(0, at) &&
                pattern.substr(at + 1) == wanted.substr(at + 1))
                return tip.Text;
        }
    }
    return "";
}

void ApplyControlTips(QObject* root) {
    const auto tipOf = [](const QObject* object) {
        const QByteArray name = object->objectName().toUtf8();
        QString text = QString::fromUtf8(ControlTip(name.constData()));
        for (const char ch : name)
            if (ch >= '0' && ch <= '9') {
                text.replace("%1", QString(QChar(ch)));
                break;
            }
        return text;
    };
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (widget->objectName().isEmpty() || !widget->toolTip().isEmpty() ||
            qobject_cast<QMenu*>(widget)) // a menu's entries carry the tips
            continue;
        if (const QString text = tipOf(widget); !text.isEmpty()) {
            widget->setToolTip(text);
            widget->setStatusTip(text);
        }
    }
    for (QAction* action : root->findChildren<QAction*>()) {
        if (action->objectName().isEmpty() || !action->statusTip().isEmpty())
            continue;
        if (const QString text = tipOf(action); !text.isEmpty()) {
            action->setStatusTip(text);
            action->setToolTip(text);
        }
    }
}
