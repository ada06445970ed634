// SPDX-License-Identifier: GPL-3.0-or-later
// The settings files through the window: every key round-trips, the edge cases, the triggers.
#include "WindowRig.h"

#include "core/SampleRates.h"
#include "files/SettingsFile.h"
#include "mixtrel/CodecLibrary.h"
#include "ui/scope/ScopeTab.h"
#include "ui/settings/SettingsBinding.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

using namespace uitest;
namespace fs = std::filesystem;

namespace {

// A folder of its own for one test, removed at its end.
struct TempFolder {
    std::string path;
    TempFolder() {
        char pattern[] = "/tmp/ps-settings-ui-XXXXXX";
        path = ::mkdtemp(pattern) ? pattern : "";
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Value(TForm1& form, const std::string& key) {
    for (const auto& row : form.Settings().Rows())
        if (row.Key == key)
            return row.Get();
    ADD_FAILURE() << "no row " << key;
    return {};
}

// Every entry but those named in `except` is the same in both lists.
void ExpectSameEntries(const std::vector<std::pair<std::string, std::string>>& a,
                       const std::vector<std::pair<std::string, std::string>>& b,
                       const std::vector<std::string>& except = {}) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].first, b[i].first);
        if (std::find(except.begin(), except.end(), a[i].first) == except.end()) {
            EXPECT_EQ(a[i].second, b[i].second) << a[i].first;
        }
    }
}

// The persistent part of the measurement state, as text for comparison.
std::string PersistentState(const MeasurementState& s) {
    std::ostringstream o;
    o.precision(17);
    o << s.SampleRate << ' ' << s.BlockLength << ' ' << s.SampleBits << ' ' << s.InDeviceIndex
      << ' ' << s.OutDeviceIndex << ' ' << s.SelectedDeviceName << '|' << s.SelectedOutDeviceName
      << '|' << s.LowerBin << ' ' << s.UpperBin << ' ' << s.WindowKind << ' ' << s.Weighting << ' '
      << s.MeterAlpha << ' ' << s.ReducePoints << ' ' << s.MeterDigits << ' ' << s.SpecialMeter
      << ' ' << s.RefLevel << ' ' << s.CalLevel << ' ' << s.CalVpp << ' ' << s.YOffset << ' '
      << s.Calibrated << ' ' << s.PeakThreshold << " | " << s.Controls.ComboChannel << ' '
      << s.Controls.CTC << ' ' << s.Controls.CRed << ' ' << s.Controls.LogF << ' '
      << s.Controls.CUnits << ' ' << s.Controls.TrackL << ' ' << s.Controls.TrackU;
    for (const auto& t : s.Controls.ET)
        o << ' ' << t;
    o << " | " << s.Scope.TimeBase << ' ' << s.Scope.ScopeZoom << ' ' << s.Scope.TriggerMode << ' '
      << s.Scope.TriggerRising << ' ' << s.Scope.TriggerLevel << " | " << s.Generator.CheckOut
      << ' ' << s.Generator.COutChan << ' ' << s.Generator.TrackF;
    return o.str();
}

// The keys of the settings files in their order, as the file format fixes them.
std::vector<std::string> DocumentedKeys() {
    std::vector<std::string> keys = {
        "SoundPlatform=", "SoundEngine=", "SoundDevice=", "OutDevice=",     "OutEnabled=",
        "OutMode=",       "OutF=",        "FrameRate=",   "ADCResolution=", "SampleLength=",
        "Averaging=",     "Channels=",    "Display=",     "RefLeveldB=",    "RefLevel=",
        "RefV=",          "Normalized=",  "CutOn=",       "CutOff=",        "ScreenShotX=",
        "ScreenShotY=",   "NFont=",       "TransMeters=", "SFont=",         "WhiteBack=",
        "boxes=",         "Markings=",    "FMarkings=",   "LogF=",          "LabelSN=",
        "LabelS=",        "LabelC=",      "LabelCS=",     "LogGrid=",       "LogSubGrid=",
        "WinType="};
    for (int k = 1; k <= 4; ++k)
        keys.push_back("DispMem" + std::to_string(k) + "=");
    for (const char* k : {"CustLabel=",      "CustTrace=",      "DrawCust=",      "CustID=",
                          "CustDigs=",       "CustUnit=",       "BW_Lines=",      "Top=",
                          "Offset=",         "Reduction=",      "Averaging=",     "UDigs=",
                          "scym=",           "sctm=",           "TrackT=",        "TrackAmp=",
                          "trig_level=",     "trig_pol=",       "trig_mode=",     "ScopeColor=",
                          "ScopeGridColor=", "ScopeBackColor=", "SpecGridColor=", "SpecBackColor=",
                          "SpecTraceColor=", "CusTraceColor="})
        keys.push_back(k);
    for (int k = 1; k <= 4; ++k)
        keys.push_back("SpecMemColor" + std::to_string(k) + "=");
    for (int k = 1; k <= 6; ++k)
        keys.push_back("Marker" + std::to_string(k) + "=");
    for (int k = 1; k <= 6; ++k)
        keys.push_back("MarkerF" + std::to_string(k) + "=");
    for (const char* k : {"MarCapPos=",
                          "MarFontSize=",
                          "TabIndex=",
                          "AutoLevel=",
                          "STabIndex=",
                          "SpecTMode=",
                          "T1=",
                          "T2=",
                          "T3=",
                          "T4=",
                          "T5=",
                          "T6=",
                          "Zoom=",
                          "CurAlign=",
                          "FWeight=",
                          "FWidth=",
                          "FHeight=",
                          "FLeft=",
                          "FTop=",
                          "WasMaximized=",
                          "MemMarkers=",
                          "Annotation=",
                          "AnnoTransp=",
                          "AnnoFontSize=",
                          "AnnoMainL=",
                          "AnnoMainT=",
                          "AnnoM1L=",
                          "AnnoM1T=",
                          "AnnoM2L=",
                          "AnnoM2T=",
                          "AnnoM3L=",
                          "AnnoM3T=",
                          "AnnoM4L=",
                          "AnnoM4T=",
                          "AnnoCusL=",
                          "AnnoCusT=",
                          "AnnoME=",
                          "AnnoM1E=",
                          "AnnoM2E=",
                          "AnnoM3E=",
                          "AnnoM4E=",
                          "AnnoMCE=",
                          "PkBufSz=",
                          "PkTrigLevel=",
                          "PkMinf=",
                          "PkMaxf=",
                          "PkMinL=",
                          "PkMaxL=",
                          "PkDrawf=",
                          "PkDrawL=",
                          "PeakColor=",
                          "PeakGridColor=",
                          "PeakBackColor=",
                          "PeakLColor=",
                          "PeakGridLColor=",
                          "N4File=",
                          "N4Time=",
                          "SoundDeviceName=",
                          "OutDeviceName=",
                          "ScreenShotPNG=",
                          "SplSensitivity=",
                          "SplCalibrator=",
                          "MicCorrection=",
                          "IfaceCorrection=",
                          "CorrTrace="})
        keys.push_back(k);
    return keys;
}

} // namespace

TEST(SettingsRoundTrip, EveryKeyOfTheTableSurvivesARestart) {
    TempFolder folder;
    std::vector<std::pair<std::string, std::string>> atClose;
    std::string stateAtClose;
    {
        Window first(kBothWays, folder.path);
        const auto defaults = first.form->Settings().Entries();
        // A set-up in which every key differs from the start-up value.
        std::vector<TSettingsEntry> probe;
        for (const auto& row : first.form->Settings().Rows())
            probe.push_back({row.Key, row.Probe()});
        for (std::size_t i = 0; i < probe.size(); ++i)
            EXPECT_NE(probe[i].Value, defaults[i].second) << probe[i].Key << " has no other value";
        WriteSettingsFile(folder / "probe.ini", probe);
        first.form->ReadSettings(QString::fromStdString(folder / "probe.ini"));
        first.form->ReadPrivateSettings(QString::fromStdString(folder / "probe.ini"));
        const auto loaded = first.form->Settings().Entries();
        for (std::size_t i = 0; i < probe.size(); ++i)
            EXPECT_EQ(loaded[i].second, probe[i].Value) << probe[i].Key << " was not applied";

        atClose = loaded;
        stateAtClose = PersistentState(first.form->State());
        EXPECT_TRUE(first.Close());
    }
    EXPECT_TRUE(fs::exists(folder / "Phonoscale.ini"));
    EXPECT_TRUE(fs::exists(folder / "PhonoscalePrivate.ini"));

    Window second(kBothWays, folder.path);
    // Start-up always selects the first sound engine again, whatever the file says.
    ExpectSameEntries(second.form->Settings().Entries(), atClose, {"SoundEngine="});
    EXPECT_EQ(Value(*second.form, "SoundEngine="), "0");
    EXPECT_EQ(PersistentState(second.form->State()), stateAtClose);
}

TEST(SettingsFileBytes, KeyOrderRealFormAndCrLf) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    const std::string path = folder / "written.ini";
    w.form->WriteSettings(QString::fromStdString(path));
    const std::string text = ReadAll(path);

    auto keys = DocumentedKeys();
    ASSERT_EQ(keys.size(), 147u);
    // The instrument tabs' keys follow, in the order of the instrument list.
    for (const auto& tab : w.form->Instruments())
        for (const TSettingsRow& row : tab->SettingsRows())
            keys.push_back(row.Key);
    std::size_t at = 0;
    std::vector<std::string> lines;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "a line without CR LF at " << at;
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::ssize(keys));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), std::ssize(keys));
    ASSERT_EQ(lines.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(lines[i].substr(0, keys[i].size()), keys[i]) << "line " << i + 1;

    // Values of the start-up state, in the forms the file fixes.
    EXPECT_EQ(lines[7], "FrameRate= 4.80000000000000E+0004");
    EXPECT_EQ(lines[9], "SampleLength=4");
    EXPECT_EQ(lines[10], "Averaging=0.5");
    EXPECT_EQ(lines[14], "RefLevel= 0.00000000000000E+0000");
    EXPECT_EQ(lines[15], "RefV= 1.00000000000000E+0000");
    EXPECT_EQ(lines[17], "CutOn=0");
    EXPECT_EQ(lines[18], "CutOff=24000");
    EXPECT_EQ(lines[35], "WinType=2");
    EXPECT_EQ(lines[41], "CustTrace=1/f");
    EXPECT_EQ(lines[50], "Averaging=1000");
    EXPECT_EQ(lines[54], "TrackT=10");
    EXPECT_EQ(lines[61],
              "ScopeBackColor=" + std::to_string(static_cast<std::int32_t>(0xFF00000Fu)));
    EXPECT_EQ(lines[125], "PkTrigLevel=-3.00000000000000E+0001");
    EXPECT_EQ(lines[139], "SoundDeviceName=01  Default device");
    for (const auto& line : lines)
        if (line.find("E+") != std::string::npos || line.find("E-") != std::string::npos) {
            const std::string value = line.substr(line.find('=') + 1);
            if (value.size() == 23) {
                EXPECT_EQ(value.find(','), std::string::npos) << line;
            }
        }
}

TEST(SettingsEdgeCases, OnlyTopLeavesEverythingElse) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    // A missing "MarCapPos=" puts the marker caption top right (an edge case of its own below):
    // start there, so that the file's one line is all that changes.
    w.Find<QComboBox>("CPos")->setCurrentIndex(1);
    const auto before = w.form->Settings().Entries();
    WriteText(folder / "top.ini", "Top=-20\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "top.ini"));
    EXPECT_EQ(w.form->SpectrumTab().ETop->text(), "-20");
    EXPECT_EQ(Value(*w.form, "Top="), FormatSettingsReal(-20));
    ExpectSameEntries(w.form->Settings().Entries(), before, {"Top="});
    EXPECT_EQ(w.Find<QLabel>("Label20")->text(),
              QString::fromStdString(folder / "top.ini") + " loaded.");
}

TEST(SettingsEdgeCases, FTopIsNotTopAndCommaRealsRead) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    WriteText(folder / "ftop.ini", "FTop=100\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "ftop.ini"));
    EXPECT_EQ(Value(*w.form, "Top="), FormatSettingsReal(0));
    WriteText(folder / "comma.ini", "Top=-2,5\nOffset= 3,25000000000000E+0000\n");
    w.form->ReadSettings(QString::fromStdString(folder / "comma.ini"));
    EXPECT_EQ(w.form->SpectrumTab().ETop->text(), "-2.5");
    EXPECT_DOUBLE_EQ(w.form->State().YOffset, 3.25);
}

// The CD rate and its multiples are kept as numbers and select their own items.
TEST(SettingsEdgeCases, CdRatesSelectTheirItemsAndAreStoredAsNumbers) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    for (const double rate : {44100.0, 88200.0, 176400.0}) {
        WriteText(folder / "rate.ini", "FrameRate=" + FormatSettingsReal(rate) + "\r\n");
        w.form->ReadSettings(QString::fromStdString(folder / "rate.ini"));
        EXPECT_EQ(w.Find<QComboBox>("CFrame")->currentText().toStdString(),
                  SampleRateCaption(rate));
        EXPECT_EQ(w.form->State().SampleRate, rate);
        EXPECT_EQ(Value(*w.form, "FrameRate="), FormatSettingsReal(rate));
    }
}

TEST(SettingsEdgeCases, TheTwoAveragingLines) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    auto* eTime = w.Find<QLineEdit>("ETime");
    auto* eAv = w.Find<QLineEdit>("EAv");
    WriteText(folder / "two.ini", "Averaging=0.25\r\nChannels=1\r\nAveraging=300\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "two.ini"));
    EXPECT_EQ(eTime->text(), "0.25");
    EXPECT_EQ(eAv->text(), "300");
    EXPECT_EQ(w.form->State().ReducePoints, 300);

    WriteText(folder / "one.ini", "Averaging=1000\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "one.ini"));
    EXPECT_EQ(eTime->text(), "1000");
    EXPECT_EQ(eAv->text(), "1000");
    EXPECT_EQ(w.form->State().ReducePoints, 1000);

    WriteText(folder / "half.ini", "Averaging=0.5\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "half.ini"));
    EXPECT_EQ(eTime->text(), "0.5");
    EXPECT_EQ(eAv->text(), "1000");             // keeps its text
    EXPECT_EQ(w.form->State().ReducePoints, 0); // the partial conversion result
}

TEST(SettingsEdgeCases, MissingWindowTypeAndCaptionPositionTakeTheirDefaults) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    w.form->WT0Click(4);
    auto* cPos = w.Find<QComboBox>("CPos");
    cPos->setCurrentIndex(3);
    WriteText(folder / "bare.ini", "Top=1\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "bare.ini"));
    EXPECT_EQ(w.form->State().WindowKind, 2);
    EXPECT_EQ(cPos->currentIndex(), 1);
}

TEST(SettingsEdgeCases, MissingFileSetsTheTimeBaseOnly) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    auto* trackT = w.Find<QSlider>("TrackT");
    trackT->setValue(4);
    w.form->WT0Click(3);
    const auto before = w.form->Settings().Entries();
    w.form->ReadSettings(QString::fromStdString(folder / "none.ini"));
    EXPECT_EQ(trackT->value(), 10);
    EXPECT_DOUBLE_EQ(w.form->State().Scope.TimeBase, 0.1);
    EXPECT_EQ(w.form->State().WindowKind, 3);
    EXPECT_EQ(w.form->State().WindowTableKind, 3);
    EXPECT_EQ(w.Find<QLabel>("Label20")->text(), "");
    ExpectSameEntries(w.form->Settings().Entries(), before, {"TrackT="});
}

TEST(SettingsDevices, AStillListedNameWinsOverTheIndex) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    auto* in = w.Find<QComboBox>("ComboAudioDevice");
    WriteText(folder / "name.ini", "SoundDevice=0\r\nSoundDeviceName=02  USB codec\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "name.ini"));
    EXPECT_EQ(in->currentIndex(), 1);
    EXPECT_EQ(w.form->State().SelectedDeviceName, "02  USB codec");
    // A name no longer listed: the index stands.
    WriteText(folder / "gone.ini", "SoundDevice=0\r\nSoundDeviceName=03  Unplugged\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "gone.ini"));
    EXPECT_EQ(in->currentIndex(), 0);
    // Without the name key the index is read as before.
    WriteText(folder / "old.ini", "SoundDevice=1\r\nOutDevice=1\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "old.ini"));
    EXPECT_EQ(in->currentIndex(), 1);
    EXPECT_EQ(w.form->State().OutDeviceIndex, 1);
}

TEST(SettingsTriggers, LoadKeepsDevicesAndWindowBoundsSaveWritesTheFile) {
    TempFolder folder;
    QString chosen;
    Window w(kBothWays, folder.path, [&chosen](TFormEnvironment& env) {
        env.ChooseSettingsFile = [&chosen](bool) { return chosen; };
    });
    w.form->setGeometry(50, 60, 900, 700);
    const QRect bounds = w.form->geometry();
    const std::string setUp = folder / "other-machine.ini";
    WriteText(setUp, "SoundDevice=1\r\nOutDevice=1\r\nTop=-30\r\nFWidth=400\r\nFHeight=300\r\n"
                     "FLeft=5\r\nFTop=6\r\nSoundDeviceName=02  USB codec\r\n");
    chosen = QString::fromStdString(setUp);
    w.form->BLoadClick();
    EXPECT_EQ(w.form->State().InDeviceIndex, 0);
    EXPECT_EQ(w.form->State().OutDeviceIndex, 0);
    EXPECT_EQ(w.form->geometry(), bounds);
    EXPECT_EQ(w.form->SpectrumTab().ETop->text(), "-30");
    EXPECT_EQ(w.Find<QLabel>("Label20")->text(), chosen + " loaded.");

    chosen = QString::fromStdString(folder / "saved.ini");
    w.form->BSaveClick();
    TSettingsReader saved(ReadAll(folder / "saved.ini"));
    double top = 0;
    EXPECT_EQ(saved.FindReal("Top=", top), TLookup::Found);
    EXPECT_EQ(top, -30);
    chosen.clear(); // cancelled dialogs do nothing
    w.form->BSaveClick();
    w.form->BLoadClick();
    EXPECT_TRUE(w.messages.empty());
}

TEST(SettingsWindowBounds, WasMaximizedMaximisesTheWindowAndFollowsIt) {
    TempFolder folder;
    WriteText(folder / "PhonoscalePrivate.ini", "FWidth=700\r\nFHeight=500\r\nWasMaximized=1\r\n");
    Window w(kBothWays, folder.path);
    EXPECT_TRUE(w.form->isMaximized());
    EXPECT_EQ(Value(*w.form, "WasMaximized="), "1");
    EXPECT_EQ(Value(*w.form, "FWidth="), "700"); // the normal bounds while maximised
    w.form->showNormal();
    EXPECT_EQ(Value(*w.form, "WasMaximized="), "0");
    w.form->showMaximized();
    w.form->WriteSettings(QString::fromStdString(folder / "written.ini"));
    std::int32_t written = 0;
    EXPECT_EQ(TSettingsReader(ReadAll(folder / "written.ini")).FindInt("WasMaximized=", written),
              TLookup::Found);
    EXPECT_EQ(written, 1);
}

TEST(SettingsWindowBounds, SavedBoundsAreFittedIntoTheScreenTheWindowOpensOn) {
    TempFolder folder;
    // Saved at another scale factor or on a larger screen, and off its bottom left corner.
    WriteText(folder / "PhonoscalePrivate.ini",
              "FWidth=2200\r\nFHeight=1500\r\nFLeft=-300\r\nFTop=4000\r\n");
    Window w(kBothWays, folder.path, [](TFormEnvironment& env) {
        env.ScreenAreaAt = {}; // the offscreen platform's own screen
    });
    const QRect area = w.form->screen()->availableGeometry();
    const QRect bounds = w.form->frameGeometry();
    EXPECT_TRUE(area.contains(bounds))
        << bounds.x() << "," << bounds.y() << " " << bounds.width() << "x" << bounds.height()
        << " on " << area.width() << "x" << area.height();
}

TEST(SettingsRobustness, DamagedFilesApplyWhatIsReadable) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    const auto load = [&](const std::string& name, const std::string& text) {
        WriteText(folder / name, text);
        w.form->ReadSettings(QString::fromStdString(folder / name));
        w.form->ReadPrivateSettings(QString::fromStdString(folder / name));
    };
    load("cut.ini", "Top=-11\r\nSampleLength=6\r\nCustLabel=sn/sq");
    EXPECT_EQ(w.form->SpectrumTab().ETop->text(), "-11");
    EXPECT_EQ(w.form->State().BlockLength, 4096);
    EXPECT_EQ(w.Find<QLineEdit>("ECL")->text(), "sn/sq");

    std::mt19937 random(3);
    std::string garbage;
    for (int i = 0; i < 200000; ++i)
        garbage += static_cast<char>(random() & 0xFF);
    load("garbage.ini", garbage + "\r\nTop=-12\r\n" + garbage);
    EXPECT_EQ(w.form->SpectrumTab().ETop->text(), "-12");

    // Values out of every range and of the wrong kind.
    load("wild.ini", "SoundDevice=99\r\nFrameRate=1e300\r\nSampleLength=-5\r\nWinType=77\r\n"
                     "LabelC=9\r\nUDigs=x\r\nNFont=-3\r\nTrackT=100000\r\nFWidth=2147483647\r\n"
                     "TabIndex=40\r\ntrig_mode=12\r\nMarkings=7\r\nboxes=0\r\nCutOn=nan\r\n");
    EXPECT_EQ(w.form->State().InDeviceIndex, 0);
    EXPECT_EQ(w.form->State().BlockLength, 4096);

    load("empty.ini", "");
    std::string huge;
    const std::string filler = "Junk=" + std::string(120, 'z') + "\r\n";
    while (huge.size() < (50u << 20))
        huge += filler;
    load("huge.ini", huge + "Top=-13\r\n");
    EXPECT_EQ(w.form->SpectrumTab().ETop->text(), "-13");
    EXPECT_TRUE(w.messages.empty()) << w.messages.front().toStdString();
}

// A settings file that cannot be read: one message naming it and the reason, its settings at
// their defaults, the other file still read, and closing leaves it as it is.
TEST(SettingsRobustness, AFileThatCannotBeReadIsNamedAndLeftAsItIs) {
    const auto folderOfIt = [](const std::string& path) { fs::create_directory(path); };
    const auto hugeFile = [](const std::string& path) {
        WriteText(path, "Top=-30\r\n");
        fs::resize_file(path, (std::uintmax_t{64} << 20) + 1); // sparse: no disk space taken
    };
    const struct {
        const char* unreadable;
        std::function<void(const std::string&)> make;
        const char* reason;
    } cases[] = {
        {"Phonoscale.ini", folderOfIt, "Is a directory"},
        {"PhonoscalePrivate.ini", folderOfIt, "Is a directory"},
        {"Phonoscale.ini", hugeFile, "larger than 64 MB"},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const std::string unreadable = folder / c.unreadable;
        c.make(unreadable);
        const bool wasFolder = fs::is_directory(unreadable);
        const auto sizeBefore = wasFolder ? 0 : fs::file_size(unreadable);
        // The other file sets the top of the axis (main) or the window's width (private).
        const bool mainUnreadable = std::string(c.unreadable) == "Phonoscale.ini";
        const std::string other =
            folder / (mainUnreadable ? "PhonoscalePrivate.ini" : "Phonoscale.ini");
        WriteText(other, mainUnreadable ? "FWidth=777\r\n" : "Top=-20\r\n");
        {
            Window w(kBothWays, folder.path);
            ASSERT_EQ(w.messages.size(), 1u) << c.unreadable;
            EXPECT_TRUE(w.messages[0].contains(QString::fromStdString(unreadable)))
                << w.messages[0].toStdString();
            EXPECT_TRUE(w.messages[0].contains(c.reason)) << w.messages[0].toStdString();
            if (mainUnreadable) {
                EXPECT_EQ(w.form->width(), 777);
                EXPECT_EQ(w.form->SpectrumTab().ETop->text(), "0"); // the default
            } else {
                EXPECT_EQ(w.form->SpectrumTab().ETop->text(), "-20");
            }
            EXPECT_EQ(w.form->State().Scope.TimeBase, 0.1); // the missing-file rule
            EXPECT_TRUE(w.Close());
            EXPECT_EQ(w.messages.size(), 1u) << w.messages.back().toStdString();
        }
        EXPECT_EQ(fs::is_directory(unreadable), wasFolder) << c.unreadable;
        if (!wasFolder) {
            EXPECT_EQ(fs::file_size(unreadable), sizeBefore);
        }
        EXPECT_GT(ReadAll(other).size(), 1000u) << "the other file is written as always";
    }
}

TEST(SettingsRanges, MeterDigitsOutsideWhatTheComboOffersKeepTheDigitsInForce) {
    TempFolder folder;
    Window w(kBothWays, folder.path);
    auto* digits = w.Find<QComboBox>("CDigits");
    digits->setCurrentIndex(2); // 4 digits
    for (const char* wild : {"2147483647", "-2147483648", "8", "1", "0", "x", ""}) {
        WriteText(folder / "digits.ini", std::string("UDigs=") + wild + "\r\n");
        w.form->ReadSettings(QString::fromStdString(folder / "digits.ini"));
        EXPECT_EQ(w.form->State().MeterDigits, 4) << wild;
        EXPECT_EQ(Value(*w.form, "UDigs="), "4") << wild;
        EXPECT_EQ(digits->currentIndex(), 2) << wild;
    }
    WriteText(folder / "digits.ini", "UDigs=7\r\n");
    w.form->ReadSettings(QString::fromStdString(folder / "digits.ini"));
    EXPECT_EQ(w.form->State().MeterDigits, 7);
    EXPECT_EQ(digits->currentIndex(), 5);
}

// A number field left with text that is no number beeps and keeps the value before; closing
// writes that value, not the text.
TEST(SettingsEdits, AFieldLeftWithANonNumberWritesTheValueInForce) {
    TempFolder folder;
    const struct {
        const char* field;
        const char* key;
        const char* inForce;
    } cases[] = {{"EditLF", "CutOn=", "0"},      {"EditUF", "CutOff=", "24000"},
                 {"ETime", "Averaging=", "0.5"}, {"ECalDB", "RefLeveldB=", "0"},
                 {"MF1", "MarkerF1=", "10"},     {"EAFS", "AnnoFontSize=", "10"}};
    {
        Window w(kBothWays, folder.path);
        for (const auto& c : cases)
            w.Find<QLineEdit>(c.field)->setText("abc");
        EXPECT_TRUE(w.Close());
    }
    for (const char* file : {"Phonoscale.ini", "PhonoscalePrivate.ini"}) {
        const std::string written = ReadAll(folder / file);
        for (const auto& c : cases) // from the top each time: the first "Averaging=" is ETime's
            EXPECT_EQ(TSettingsReader(written).FindText(c.key).value_or("(missing)"), c.inForce)
                << file << " " << c.key;
    }
}

TEST(SettingsTriggers, LoadNamesTheSetUpValuesKeptFromThisMachine) {
    TempFolder folder;
    QString chosen;
    Window w(kBothWays, folder.path, [&chosen](TFormEnvironment& env) {
        env.ChooseSettingsFile = [&chosen](bool) { return chosen; };
    });
    auto* list = w.Find<QListWidget>("ListBox1");
    const std::string setUp = folder / "other-machine.ini";
    WriteText(setUp, "FrameRate= 9.60000000000000E+0004\r\nADCResolution=1\r\nOutEnabled=1\r\n"
                     "Normalized=1\r\nSampleLength=6\r\nTop=-30\r\n");
    chosen = QString::fromStdString(setUp);
    w.form->BLoadClick();
    // The set-up's own values apply; this machine's sample rate and the rest of its part stay.
    EXPECT_EQ(w.form->State().BlockLength, 4096);
    EXPECT_EQ(w.form->SpectrumTab().ETop->text(), "-30");
    EXPECT_EQ(w.form->State().SampleRate, 48000.0);
    EXPECT_EQ(w.form->State().SampleBits, 16);
    EXPECT_FALSE(w.Find<QCheckBox>("CheckOut")->isChecked());
    EXPECT_FALSE(w.form->State().Calibrated);
    ASSERT_GT(list->count(), 0);
    EXPECT_EQ(list->item(list->count() - 1)->text(),
              "Load kept from this machine: sound source Sound, sample rate 48 ksps, "
              "resolution 16 bit, sine output off, calibration off");
}

TEST(SettingsFolderRule, WriteErrorWhileClosingShowsOneMessageAndCloses) {
    TempFolder folder;
    const std::string missing = folder / "no-such-folder";
    Window w(kBothWays, missing);
    EXPECT_TRUE(w.Close());
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.messages[0].contains(QString::fromStdString(missing + "/Phonoscale.ini")))
        << w.messages[0].toStdString();
    EXPECT_TRUE(w.messages[0].contains("No such file or directory")) << w.messages[0].toStdString();
}

TEST(SettingsFolderRule, ReadOnlyProgramFolderUsesANewPerUserFolder) {
    TempFolder home;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home / "config"));
    const auto readOnly = [](TFormEnvironment& env) {
        env.SettingsFolder.clear();
        env.FolderWritable = [](const QString&) { return false; };
    };
    const QString user = QString::fromStdString(home / "config/phonoscale");
    EXPECT_EQ(UserSettingsFolder(), user);
    EXPECT_FALSE(fs::exists(user.toStdString()));
    {
        Window first(kBothWays, home.path, readOnly);
        EXPECT_TRUE(fs::is_directory(user.toStdString())); // made at start-up
        first.form->SpectrumTab().ETop->setText("-42");
        first.form->SpectrumTab().ETopChange();
        EXPECT_TRUE(first.Close());
        EXPECT_TRUE(first.messages.empty());
    }
    EXPECT_TRUE(fs::exists(user.toStdString() + "/Phonoscale.ini"));
    EXPECT_TRUE(fs::exists(user.toStdString() + "/PhonoscalePrivate.ini"));
    {
        Window second(kBothWays, home.path, readOnly);
        EXPECT_EQ(second.form->SpectrumTab().ETop->text(), "-42");
    }
    // The real check: a folder that cannot take files is refused, an ordinary one accepted.
    EXPECT_FALSE(FolderAcceptsFiles(QString::fromStdString(home / "missing")));
    EXPECT_FALSE(FolderAcceptsFiles("/proc/self"));
    EXPECT_TRUE(FolderAcceptsFiles(QString::fromStdString(home.path)));
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

namespace {

// An environment variable set for one test and put back at its end.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name), old_(qgetenv(name)) {
        qputenv(name, QByteArray::fromStdString(value));
    }
    ~ScopedEnv() {
        if (old_.isNull())
            qunsetenv(name_);
        else
            qputenv(name_, old_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    QByteArray old_;
};

} // namespace

TEST(SettingsFolderRule, InstalledProgramUsesThePerUserFolderThoughItsFolderIsWritable) {
    TempFolder root;
    ScopedEnv config("XDG_CONFIG_HOME", root / "config");
    const auto writable = [](const QString&) { return true; };
    fs::create_directories(root / "prefix/bin");
    const QString bin = QString::fromStdString(root / "prefix/bin");
    // A copy in a folder of its own (or its build tree) keeps its files beside it.
    EXPECT_FALSE(ProgramRunsInstalled(bin));
    EXPECT_EQ(ChooseSettingsFolder(bin, writable), bin);
    // Installed: its library folder stands beside bin, and the files go to the user's folder.
    fs::create_directories(fs::path(root / "prefix/bin") / kInstalledLibraryFolder);
    EXPECT_TRUE(ProgramRunsInstalled(bin));
    EXPECT_FALSE(ProgramRunsInstalled(""));
    EXPECT_EQ(ChooseSettingsFolder(bin, writable),
              QString::fromStdString(root / "config/phonoscale"));
    EXPECT_TRUE(fs::is_directory(root / "config/phonoscale"));
}

TEST(SettingsFolderRule, PerUserFolderFollowsXdgConfigHomeElseHome) {
    TempFolder root;
    ScopedEnv home("HOME", root.path);
    {
        ScopedEnv config("XDG_CONFIG_HOME", root / "elsewhere");
        EXPECT_EQ(UserSettingsFolder(), QString::fromStdString(root / "elsewhere/phonoscale"));
    }
    ScopedEnv config("XDG_CONFIG_HOME", "");
    EXPECT_EQ(UserSettingsFolder(), QString::fromStdString(root / ".config/phonoscale"));
}
