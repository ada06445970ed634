// SPDX-License-Identifier: GPL-3.0-or-later
// The settings table: every key of the settings files in file order, bound to its control.
#include "core/SpectrumSmoothing.h"
#include "files/SettingsFile.h"
#include "files/TextNumbers.h"
#include "ui/TForm1.h"
#include "ui/peak/PeakTab.h"
#include "ui/scope/ScopeTab.h"
#include "ui/screenshot/ScreenshotTool.h"
#include "ui/settings/SettingsBinding.h"
#include "ui/spectrum/MemoryTraces.h"
#include "ui/spectrum/SpectrumOverlays.h"
#include "ui/spectrum/SpectrumTab.h"
#include "ui/units/UnitsPanel.h"
#include "ui/voltmeter/VoltmeterTab.h"

#include "core/NumberText.h"
#include "core/SampleRates.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

using THandler = std::function<void()>;

std::string IntText(long long v) {
    return std::to_string(v);
}
std::string Utf8(const QString& text) {
    return text.toStdString();
}
QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

// Runs `handler` unless it is empty.
void Run(const THandler& handler) {
    if (handler)
        handler();
}

// "set; runs X": item index := v when v names an item. The control's signal runs the handler
// when the index changes; an unchanged index runs it directly, so it runs exactly once.
TSettingsRow ComboRow(const char* key, unsigned readers, QComboBox* combo, THandler handler = {}) {
    return {key, readers, [combo] { return IntText(combo->currentIndex()); },
            [key, combo, handler](TSettingsReader& reader) {
                std::int32_t v = 0;
                if (reader.FindInt(key, v) != TLookup::Found || v < 0 || v >= combo->count())
                    return;
                if (combo->currentIndex() != v)
                    combo->setCurrentIndex(v);
                else
                    Run(handler);
            },
            [combo] { return IntText((combo->currentIndex() + 1) % std::max(1, combo->count())); }};
}

// A slider position, limited to its range; runs the handler as ComboRow does.
TSettingsRow SliderRow(const char* key, unsigned readers, QSlider* slider, THandler handler = {},
                       bool alsoWhenMissing = false) {
    return {key, readers, [slider] { return IntText(slider->value()); },
            [key, slider, handler, alsoWhenMissing](TSettingsReader& reader) {
                std::int32_t v = 0;
                if (reader.FindInt(key, v) == TLookup::Found) {
                    const int limited = std::clamp(v, slider->minimum(), slider->maximum());
                    if (slider->value() != limited) {
                        slider->setValue(limited);
                        return;
                    }
                } else if (!alsoWhenMissing) {
                    return;
                }
                Run(handler);
            },
            [slider] {
                return IntText(slider->value() != slider->minimum() ? slider->minimum()
                                                                    : slider->minimum() + 1);
            }};
}

// "as check": checked := (v = 1). A check box's toggled signal runs its handler.
template <typename Checkable>
TSettingsRow CheckRow(const char* key, unsigned readers, Checkable* check, THandler after = {}) {
    return {key, readers, [check] { return IntText(check->isChecked() ? 1 : 0); },
            [key, check, after](TSettingsReader& reader) {
                std::int32_t v = 0;
                if (reader.FindInt(key, v) == TLookup::Found)
                    check->setChecked(v == 1);
                Run(after);
            },
            [check] { return IntText(check->isChecked() ? 0 : 1); }};
}

// "check := (v = 0), then runs X" where X toggles the mark itself.
TSettingsRow ToggleRow(const char* key, QAction* action, THandler toggle) {
    return {key, srMain, [action] { return IntText(action->isChecked() ? 1 : 0); },
            [key, action, toggle](TSettingsReader& reader) {
                std::int32_t v = 0;
                if (reader.FindInt(key, v) != TLookup::Found)
                    return;
                action->setChecked(v == 0);
                toggle();
            },
            [action] { return IntText(action->isChecked() ? 0 : 1); }};
}

// The text of an edit as it stands (or, with `get`, the value in force that the edit shows);
// the handler runs after the text is set.
TSettingsRow TextRow(const char* key, unsigned readers, QLineEdit* edit, THandler handler = {},
                     std::function<std::string()> get = {}) {
    if (!get)
        get = [edit] { return Utf8(edit->text()); };
    return {key, readers, get,
            [key, edit, handler](TSettingsReader& reader) {
                if (const auto text = reader.FindText(key)) {
                    edit->setText(FromUtf8(*text));
                    Run(handler);
                }
            },
            [edit] { return Utf8(edit->text()) + "1"; }};
}

// The text of a number edit that is in force: the field's text while it holds a number (its
// change handler applied it), else `inForce`. A field left with "abc" beeps and keeps the value
// it had, and that value, not "abc", is what the files keep.
std::function<std::string()> NumberInForce(QLineEdit* edit, std::function<std::string()> inForce) {
    return [edit, inForce] {
        const std::string text = Utf8(edit->text());
        return ParseNumber(text) ? text : inForce();
    };
}

// The last text of `edit` that held a number, for an edit whose value in force is kept nowhere
// else (its handler turns it into something else, as the meter time constant into a factor).
std::function<std::string()> LastNumberOf(QLineEdit* edit) {
    auto last = std::make_shared<std::string>(Utf8(edit->text()));
    QObject::connect(edit, &QLineEdit::textChanged, edit, [last](const QString& text) {
        if (ParseNumber(text.toStdString()))
            *last = Utf8(text);
    });
    return [last] { return *last; };
}

// "read as real; text := v": the edit gets the value in shortest decimal form; written is the
// value in force (NumberInForce).
TSettingsRow RealTextRow(const char* key, unsigned readers, QLineEdit* edit, THandler handler,
                         const char* probe, std::function<std::string()> inForce) {
    return {key, readers, NumberInForce(edit, std::move(inForce)),
            [key, edit, handler](TSettingsReader& reader) {
                double v = 0;
                if (reader.FindReal(key, v) != TLookup::Found)
                    return;
                edit->setText(FromUtf8(FormatGeneral(v)));
                Run(handler);
            },
            [probe] { return std::string(probe); }};
}

// "stored": an integer setting; a malformed value stores its partial conversion result but does
// not run `after`, the action that depends on the key being found.
template <typename Int>
TSettingsRow HeldInt(const char* key, unsigned readers, Int& field, THandler after = {}) {
    return {key, readers, [&field] { return IntText(static_cast<std::int32_t>(field)); },
            [key, &field, after](TSettingsReader& reader) {
                std::int32_t v = 0;
                const TLookup result = reader.FindInt(key, v);
                if (result == TLookup::Missing)
                    return;
                field = static_cast<Int>(v);
                if (result == TLookup::Found)
                    Run(after);
            },
            [&field] { return IntText(static_cast<std::int32_t>(field) ^ 0x010203); }};
}

// "flag := (v = 1)".
TSettingsRow HeldBool(const char* key, unsigned readers, bool& field, THandler after = {}) {
    return {key, readers, [&field] { return IntText(field ? 1 : 0); },
            [key, &field, after](TSettingsReader& reader) {
                std::int32_t v = 0;
                if (reader.FindInt(key, v) != TLookup::Found)
                    return;
                field = v == 1;
                Run(after);
            },
            [&field] { return IntText(field ? 0 : 1); }};
}

// A real setting in the 23-character form; a malformed value is ignored.
TSettingsRow HeldReal(const char* key, unsigned readers, double& field, THandler after = {}) {
    return {key, readers, [&field] { return FormatSettingsReal(field); },
            [key, &field, after](TSettingsReader& reader) {
                if (reader.FindReal(key, field) == TLookup::Found)
                    Run(after);
            },
            [&field] { return FormatSettingsReal(field + 1.5); }};
}

// An integer kept by another part of the window: read with `get`, applied with `set`.
TSettingsRow BoundInt(const char* key, unsigned readers, std::function<long long()> get,
                      std::function<void(std::int32_t)> set) {
    // Written as the signed 32-bit value the file keeps (colours above 0x7FFFFFFF read negative).
    return {key, readers, [get] { return IntText(static_cast<std::int32_t>(get())); },
            [key, set](TSettingsReader& reader) {
                std::int32_t v = 0;
                if (reader.FindInt(key, v) == TLookup::Found)
                    set(v);
            },
            [get] { return IntText(static_cast<std::int32_t>(get() ^ 0x010203)); }};
}

// "flag := (v = 1)" for a flag kept by another part of the window.
TSettingsRow BoundBool(const char* key, unsigned readers, std::function<bool()> get,
                       std::function<void(bool)> set) {
    return {key, readers, [get] { return IntText(get() ? 1 : 0); },
            [key, set](TSettingsReader& reader) {
                std::int32_t v = 0;
                if (reader.FindInt(key, v) == TLookup::Found)
                    set(v == 1);
            },
            [get] { return IntText(get() ? 0 : 1); }};
}

// A real kept by another part of the window, in the 23-character form; malformed is ignored.
TSettingsRow BoundReal(const char* key, unsigned readers, std::function<double()> get,
                       std::function<void(double)> set) {
    return {key, readers, [get] { return FormatSettingsReal(get()); },
            [key, set](TSettingsReader& reader) {
                double v = 0.0;
                if (reader.FindReal(key, v) == TLookup::Found)
                    set(v);
            },
            [get] { return FormatSettingsReal(get() + 1.5); }};
}

} // namespace

void TSettingsBinding::BuildRows() {
    TForm1& f = Form_;
    TSpectrumTab& spectrum = *f.SpectrumTab_;
    TScopeTab& scope = *f.ScopeTab_;
    MeasurementState& s = f.State_;
    TViewSettings& view = f.ViewSettings_;
    const auto guarded = [&f](THandler handler) { return [&f, handler] { f.Guarded(handler); }; };
    auto& rows = Rows_;
    const auto add = [&rows](TSettingsRow row) { rows.push_back(std::move(row)); };

    // Sampling, devices and the sine output.
    add(ComboRow("SoundPlatform=", srBoth, f.CN4, guarded([&f] { f.CN4Change(); })));
    add(ComboRow("SoundEngine=", srBoth, f.CEngine));
    add(ComboRow("SoundDevice=", srBoth, f.ComboAudioDevice, [&f] { f.ComboAudioDeviceChange(); }));
    add(ComboRow("OutDevice=", srBoth, f.ComboOutDevice, [&f] { f.ComboOutDeviceChange(); }));
    add(CheckRow("OutEnabled=", srBoth, f.CheckOut));
    add(ComboRow("OutMode=", srBoth, f.COutChan, [&f] { f.COutChanChange(); }));
    add(SliderRow("OutF=", srBoth, f.TrackF, [&f] { f.TrackFChange(); }));
    add({"FrameRate=", srBoth, [&s] { return FormatSettingsReal(s.SampleRate); },
         [&f, &s, guarded](TSettingsReader& reader) {
             double v = 0;
             if (reader.FindReal("FrameRate=", v) != TLookup::Found || !(v > 0) || v > 1e9)
                 return;
             s.SampleRate = v;
             const int item = SampleRateItem(std::llround(v));
             if (item < 0)
                 return;
             if (f.CFrame->currentIndex() != item)
                 f.CFrame->setCurrentIndex(item);
             else
                 guarded([&f] { f.CFrameChange(); })();
         },
         [&f] {
             const QString text =
                 f.CFrame->itemText((f.CFrame->currentIndex() + 1) % f.CFrame->count());
             return FormatSettingsReal(SampleRateOfCaption(text.toStdString()));
         }});
    add(ComboRow("ADCResolution=", srBoth, f.ComboRes, [&f] { f.ComboResChange(); }));
    add(ComboRow("SampleLength=", srMain, f.ComboSamples,
                 guarded([&f] { f.ComboSamplesChange(); })));
    add(RealTextRow(
        "Averaging=", srMain, f.ETime, [&f] { f.ETimeChange(); }, "0.25", LastNumberOf(f.ETime)));
    add(ComboRow("Channels=", srMain, f.ComboChannel, [&f] { f.ComboChannelChange(); }));
    add(ComboRow("Display=", srMain, f.CUnits, [&f] { f.CUnitsChange(); }));

    // Calibration.
    add(RealTextRow(
        "RefLeveldB=", srBoth, f.ECalDB, [&f] { f.ECalDBChange(); }, "-7.5",
        [&s] { return FormatGeneral(s.CalLevel); }));
    add(HeldReal("RefLevel=", srBoth, s.RefLevel));
    add(HeldReal("RefV=", srBoth, s.CalVpp));
    add({"Normalized=", srBoth, [&f] { return IntText(f.BReset->isEnabled() ? 1 : 0); },
         [&f, &s](TSettingsReader& reader) {
             std::int32_t v = 0;
             if (reader.FindInt("Normalized=", v) != TLookup::Found)
                 return;
             s.Calibrated = v == 1;
             f.BReset->setEnabled(s.Calibrated);
             s.PreviousCal.reset(); // a loaded calibration is not undone by the button
             f.BUndoCal->setEnabled(false);
         },
         [&f] { return IntText(f.BReset->isEnabled() ? 0 : 1); }});

    // Input band: the cut-off slider goes to its top first so that any cut-on fits.
    // Written: the field's whole number (closing applies it), else the slider's position.
    const auto bandEdge = [](QLineEdit* edit, QSlider* track) {
        return [edit, track] {
            bool whole = false;
            edit->text().trimmed().toInt(&whole);
            return whole ? Utf8(edit->text()) : IntText(track->value());
        };
    };
    add({"CutOn=", srMain, bandEdge(f.EditLF, f.TrackL),
         [&f](TSettingsReader& reader) {
             double v = 0;
             if (reader.FindReal("CutOn=", v) != TLookup::Found || !std::isfinite(v))
                 return;
             f.TrackU->setValue(std::min(1000000, f.TrackU->maximum()));
             f.TrackL->setValue(static_cast<int>(std::clamp<double>(std::nearbyint(v), -1e9, 1e9)));
         },
         [] { return std::string("300"); }});
    add({"CutOff=", srMain, bandEdge(f.EditUF, f.TrackU),
         [&f](TSettingsReader& reader) {
             double v = 0;
             if (reader.FindReal("CutOff=", v) != TLookup::Found || !std::isfinite(v))
                 return;
             f.TrackU->setValue(static_cast<int>(std::clamp<double>(std::nearbyint(v), -1e9, 1e9)));
         },
         [] { return std::string("15000"); }});

    // Screenshots and meter fonts: the field's text := v, then its change handler (which beeps
    // and keeps the value in force when it refuses v).
    TScreenshotTool& shots = f.Screenshots();
    const auto shotRow = [&shots](const char* key, QLineEdit* edit,
                                  int (TScreenshotTool::*get)() const) {
        return TSettingsRow{key, srMain, [&shots, get] { return IntText((shots.*get)()); },
                            [&shots, key, edit](TSettingsReader& reader) {
                                std::int32_t v = 0;
                                if (reader.FindInt(key, v) == TLookup::Missing)
                                    return; // a malformed value gives its partial result
                                edit->setText(QString::number(v));
                                shots.ApplyEdit(edit, true);
                            },
                            [&shots, get] { return IntText((shots.*get)() + 1); }};
    };
    add(shotRow("ScreenShotX=", shots.ESX, &TScreenshotTool::ScreenShotX));
    add(shotRow("ScreenShotY=", shots.ESY, &TScreenshotTool::ScreenShotY));
    add(shotRow("NFont=", shots.ENFS, &TScreenshotTool::NFont));
    add(CheckRow("TransMeters=", srMain, f.Overlays().CMTrans));
    add(shotRow("SFont=", shots.ESFS, &TScreenshotTool::SFont));
    add(CheckRow("WhiteBack=", srMain, shots.CWhite));

    // Spectrum axis, grids and meters.
    add(HeldInt("boxes=", srMain, view.Boxes,
                [&spectrum, &view] { spectrum.EBoxes->setText(QString::number(view.Boxes)); }));
    add(HeldInt("Markings=", srMain, view.Markings, [&spectrum, &view] {
        spectrum.CGCi->setChecked(view.Markings == 1);
        spectrum.CGCo->setChecked(view.Markings == 2);
    }));
    add(HeldBool("FMarkings=", srMain, view.FMarkings,
                 [&spectrum, &view] { spectrum.CFC->setChecked(view.FMarkings); }));
    add(ToggleRow("LogF=", spectrum.LogF, [&spectrum] { spectrum.LogFClick(); }));
    add(ToggleRow("LabelSN=", f.SNL, [&f] { f.SNLClick(); }));
    add(ToggleRow("LabelS=", f.SL, [&f] { f.SLClick(); }));
    add({"LabelC=", srMain, [&s] { return IntText(s.SpecialMeter); },
         [&f, &s](TSettingsReader& reader) {
             std::int32_t v = 0;
             if (reader.FindInt("LabelC=", v) == TLookup::Missing || v < 0 || v > 3)
                 return;
             s.SpecialMeter = -1; // the menu handlers toggle the meter that is already shown
             f.SpecialMeterSelect(v);
         },
         [&s] { return IntText(s.SpecialMeter == 1 ? 2 : 1); }});
    add(CheckRow("LabelCS=", srMain, f.CCS, [&f, &scope] {
        scope.LCS->setVisible(f.CCS->isChecked());
        f.FormResize();
    }));
    add(HeldBool("LogGrid=", srMain, view.LogGrid,
                 [&spectrum, &view] { spectrum.LogXG->setChecked(view.LogGrid); }));
    add(HeldBool("LogSubGrid=", srMain, view.LogSubGrid,
                 [&spectrum, &view] { spectrum.LogXS->setChecked(view.LogSubGrid); }));
    add({"WinType=", srMain, [&s] { return IntText(s.WindowKind); },
         [&f, &s, guarded](TSettingsReader& reader) {
             std::int32_t v = 2; // the default when the key is missing
             reader.FindInt("WinType=", v);
             if (v < 0 || v >= static_cast<int>(f.WT.size()))
                 v = s.WindowKind; // an unknown window keeps the current one
             guarded([&f, v] { f.WT0Click(v); })();
         },
         [&s] { return IntText((s.WindowKind + 1) % 6); }});
    for (int k = 1; k <= 4; ++k) {
        static const char* keys[] = {"DispMem1=", "DispMem2=", "DispMem3=", "DispMem4="};
        add(BoundBool(
            keys[k - 1], srMain, [&f, k] { return f.MemTraces().Displayed(k); },
            [&f, k](bool on) { f.MemTraces().SetDisplayed(k, on); }));
    }

    // Custom label and trace.
    add(TextRow("CustLabel=", srMain, f.ECL));
    add(TextRow("CustTrace=", srMain, f.ECT));
    add(CheckRow("DrawCust=", srMain, f.CCus, [&f] {
        f.CustomSwitchGuard_ = true;
        f.C->setChecked(f.CCus->isChecked());
        f.CustomSwitchGuard_ = false;
        f.RepaintSpectrum();
    }));
    add(TextRow("CustID=", srMain, f.EID));
    add(ComboRow("CustDigs=", srMain, f.CDigs));
    add(TextRow("CustUnit=", srMain, f.EUnit));

    // Band lines, axis top and offset, smoothing.
    add(ToggleRow("BW_Lines=", spectrum.BW, [&spectrum] { spectrum.BWClick(); }));
    add(HeldReal("Top=", srMain, view.YTop, [&spectrum, &view] {
        spectrum.ETop->setText(FromUtf8(FormatGeneral(view.YTop)));
    }));
    add(HeldReal("Offset=", srMain, s.YOffset, [&spectrum, &s] {
        spectrum.EOffset->setText(FromUtf8(FormatGeneral(s.YOffset)));
    }));
    add(ComboRow("Reduction=", srMain, f.CRed));
    add(HeldInt("Averaging=", srMain, s.ReducePoints,
                [&f, &s] { f.EAv->setText(QString::number(s.ReducePoints)); }));
    // Meter digits: only what CDigits offers (2 .. 7); anything else keeps the digits in force.
    add({"UDigs=", srMain, [&s] { return IntText(s.MeterDigits); },
         [&f, &s](TSettingsReader& reader) {
             std::int32_t v = 0;
             // A malformed value gives its partial result, stored when it is a digit count.
             if (reader.FindInt("UDigs=", v) == TLookup::Missing || v < 2 ||
                 v - 2 >= f.CDigits->count())
                 return;
             s.MeterDigits = v;
             f.CDigits->setCurrentIndex(v - 2);
         },
         [&s] { return IntText(s.MeterDigits == 5 ? 4 : 5); }});

    // Scope.
    add(CheckRow("scym=", srMain, scope.scym, [&scope] { scope.Invalidate(); }));
    add(CheckRow("sctm=", srMain, scope.sctm, [&scope] { scope.Invalidate(); }));
    add(SliderRow(
        "TrackT=", srMain, scope.TrackT, [&scope] { scope.TrackTChange(); }, true));
    add(SliderRow(
        "TrackAmp=", srMain, scope.TrackAmp, [&scope] { scope.TrackAmpChange(); }, true));
    add(HeldReal("trig_level=", srMain, s.Scope.TriggerLevel));
    add({"trig_pol=", srMain, [&s] { return IntText(s.Scope.TriggerRising ? 1 : 0); },
         [&s, &scope](TSettingsReader& reader) {
             std::int32_t v = 0;
             if (reader.FindInt("trig_pol=", v) == TLookup::Found)
                 s.Scope.TriggerRising = v == 1;
             if (s.Scope.TriggerRising)
                 scope.TRiseClick();
             else
                 scope.TFallClick();
         },
         [&s] { return IntText(s.Scope.TriggerRising ? 0 : 1); }});
    add(HeldInt("trig_mode=", srMain, s.Scope.TriggerMode, [&s, &scope] {
        switch (s.Scope.TriggerMode) {
        case 0:
            scope.TOffClick();
            break;
        case 1:
            scope.TNormClick();
            break;
        case 2:
            scope.TAutoClick();
            break;
        case 3:
            scope.TSingleClick();
            break;
        default:
            break;
        }
    }));

    // Colours.
    const auto repaint = [&f] { f.FormResize(); };
    add(HeldInt("ScopeColor=", srMain, view.ScopeColor, repaint));
    add(HeldInt("ScopeGridColor=", srMain, view.ScopeGridColor, repaint));
    add(HeldInt("ScopeBackColor=", srMain, view.ScopeBackColor, repaint));
    add(HeldInt("SpecGridColor=", srMain, view.SpecGridColor, repaint));
    add(HeldInt("SpecBackColor=", srMain, view.SpecBackColor, repaint));
    add(HeldInt("SpecTraceColor=", srMain, view.SpecTraceColor, repaint));
    add(BoundInt(
        "CusTraceColor=", srMain, [&f] { return f.MemTraces().CustomColour(); },
        [&f](std::int32_t c) { f.MemTraces().SetCustomColour(static_cast<std::uint32_t>(c)); }));
    for (int k = 1; k <= 4; ++k) {
        static const char* keys[] = {
            "SpecMemColor1=", "SpecMemColor2=", "SpecMemColor3=", "SpecMemColor4="};
        add(BoundInt(
            keys[k - 1], srMain, [&f, k] { return f.MemTraces().MemColour(k); },
            [&f, k](std::int32_t c) {
                f.MemTraces().SetMemColour(k, static_cast<std::uint32_t>(c));
            }));
    }

    // Markers (their fields' handlers keep the previous value of a text that is no number).
    TSpectrumOverlays& overlays = f.Overlays();
    for (int m = 0; m < 6; ++m) {
        static const char* keys[] = {
            "Marker1=", "Marker2=", "Marker3=", "Marker4=", "Marker5=", "Marker6="};
        add(CheckRow(keys[m], srMain, overlays.MC[static_cast<std::size_t>(m)]));
    }
    for (int m = 0; m < 6; ++m) {
        static const char* keys[] = {
            "MarkerF1=", "MarkerF2=", "MarkerF3=", "MarkerF4=", "MarkerF5=", "MarkerF6="};
        QLineEdit* field = overlays.MF[static_cast<std::size_t>(m)];
        add(TextRow(
            keys[m], srMain, field,
            [&overlays, field, m] { overlays.ApplyMarkerFrequencyText(m, field->text()); },
            [&overlays, m] { return Utf8(overlays.MarkerFrequencyText(m)); }));
    }
    add({"MarCapPos=", srMain, [&overlays] { return IntText(overlays.CPos->currentIndex()); },
         [&overlays](TSettingsReader& reader) {
             std::int32_t v = 1;              // "top right" when the key is missing
             reader.FindInt("MarCapPos=", v); // a malformed value gives its partial result
             if (v >= 0 && v < overlays.CPos->count())
                 overlays.CPos->setCurrentIndex(v);
         },
         [&overlays] { return IntText(overlays.CPos->currentIndex() == 1 ? 2 : 1); }});
    add({"MarFontSize=", srMain, [&overlays] { return IntText(overlays.MarkerFontSize()); },
         [&overlays](TSettingsReader& reader) {
             std::int32_t v = 0;
             if (reader.FindInt("MarFontSize=", v) == TLookup::Missing)
                 return; // the current size stays
             overlays.ApplyMarkerFontText(QString::number(v));
         },
         [&overlays] { return IntText(overlays.MarkerFontSize() + 1); }});

    // Pages, automatic level, spectrum time constants, zoom, weighting.
    const auto pageRow = [](const char* key, QTabWidget* pages) {
        return TSettingsRow{key, srMain, [pages] { return IntText(pages->currentIndex()); },
                            [key, pages](TSettingsReader& reader) {
                                std::int32_t v = 0;
                                if (reader.FindInt(key, v) == TLookup::Found && v >= 0 &&
                                    v < pages->count() && pages->isTabVisible(v))
                                    pages->setCurrentIndex(v);
                            },
                            [pages] {
                                for (int k = 1; k <= pages->count(); ++k) {
                                    const int page = (pages->currentIndex() + k) % pages->count();
                                    if (pages->isTabVisible(page))
                                        return IntText(page);
                                }
                                return IntText(pages->currentIndex());
                            }};
    };
    add(pageRow("TabIndex=", f.PageControl1));
    add(CheckRow("AutoLevel=", srMain, f.CLevel, [&f] { f.CLevelClick(); }));
    add(pageRow("STabIndex=", f.PageControl2));
    add(ComboRow("SpecTMode=", srMain, f.CTC));
    for (int k = 0; k < 6; ++k) {
        static const char* keys[] = {"T1=", "T2=", "T3=", "T4=", "T5=", "T6="};
        add(TextRow(keys[k], srMain, f.ETs[static_cast<std::size_t>(k)]));
    }
    add(HeldBool("Zoom=", srMain, view.Zoom, [&f, &spectrum, &view] {
        spectrum.CheckZoom->setChecked(view.Zoom);
        spectrum.Zoom1->setChecked(view.Zoom);
        spectrum.ApplyBandMarkVisibility();
        f.FormResize();
    }));
    add(ComboRow("CurAlign=", srMain, overlays.CCur));
    add(HeldInt("FWeight=", srMain, s.Weighting, [&f, &s] {
        f.flat->setChecked(s.Weighting == 0);
        f.pso->setChecked(s.Weighting == 1);
        f.Cmes->setChecked(s.Weighting == 2);
        f.Units().ShowWeighting();
    }));

    // Window geometry: the normal bounds, also while maximised.
    // Width and height of the client area, left and top of the frame (what resize and move set).
    const auto bounds = [&f] {
        if (!f.isMaximized())
            return QRect(f.pos(), f.size());
        // The normal geometry is the client's: its left and top less the frame's margins.
        const QPoint frame = f.geometry().topLeft() - f.frameGeometry().topLeft();
        return QRect(f.normalGeometry().topLeft() - frame, f.normalGeometry().size());
    };
    const auto geometryRow = [&f, bounds](const char* key, int which) {
        return TSettingsRow{
            key, srPrivate,
            [bounds, which] {
                const QRect r = bounds();
                const int v[] = {r.width(), r.height(), r.x(), r.y()};
                return IntText(v[which]);
            },
            [&f, key, which](TSettingsReader& reader) {
                std::int32_t v = 0;
                if (reader.FindInt(key, v) != TLookup::Found || v < -100000 || v > 100000)
                    return;
                switch (which) {
                case 0:
                    f.resize(std::max(1, v), f.height());
                    break;
                case 1:
                    f.resize(f.width(), std::max(1, v));
                    break;
                case 2:
                    f.move(v, f.y());
                    break;
                default:
                    f.move(f.x(), v);
                    f.FitWindowIntoScreen(); // the bounds are complete: onto this screen
                    break;
                }
            },
            [bounds, which] {
                const QRect r = bounds();
                const int v[] = {r.width() + 37, r.height() + 23, r.x() + 11, r.y() + 7};
                return IntText(v[which]);
            }};
    };
    add(geometryRow("FWidth=", 0));
    add(geometryRow("FHeight=", 1));
    add(geometryRow("FLeft=", 2));
    add(geometryRow("FTop=", 3));
    // A malformed value applies its partial conversion result, as the other stored integers.
    add({"WasMaximized=", srPrivate, [&f] { return IntText(f.WasMaximized() ? 1 : 0); },
         [&f](TSettingsReader& reader) {
             std::int32_t v = 0;
             if (reader.FindInt("WasMaximized=", v) != TLookup::Missing)
                 f.ApplyWasMaximized(v == 1);
         },
         [&f] { return IntText(f.WasMaximized() ? 0 : 1); }});

    // Annotations.
    add(CheckRow("MemMarkers=", srPrivate, overlays.CMD));
    add(CheckRow("Annotation=", srPrivate, overlays.CA));
    add(CheckRow("AnnoTransp=", srPrivate, overlays.CAT));
    add(TextRow(
        "AnnoFontSize=", srPrivate, overlays.EAFS,
        [&overlays] { overlays.ApplyAnnotationFontText(overlays.EAFS->text()); },
        [&overlays] { return IntText(overlays.AnnotationRelativeFontSize()); }));
    {
        static const char* keys[] = {
            "AnnoMainL=", "AnnoMainT=", "AnnoM1L=", "AnnoM1T=", "AnnoM2L=",  "AnnoM2T=",
            "AnnoM3L=",   "AnnoM3T=",   "AnnoM4L=", "AnnoM4T=", "AnnoCusL=", "AnnoCusT="};
        for (int k = 0; k < 12; ++k) {
            const int label = k / 2;
            const bool top = k % 2 == 1;
            add(BoundReal(
                keys[k], srPrivate,
                [&overlays, label, top] {
                    const TLabelFraction at = overlays.AnnoPos(label);
                    return top ? at.T : at.L;
                },
                [&overlays, label, top](double v) {
                    TLabelFraction at = overlays.AnnoPos(label);
                    (top ? at.T : at.L) = v;
                    overlays.SetAnnoPos(label, at);
                }));
        }
        static const char* texts[] = {
            "AnnoME=", "AnnoM1E=", "AnnoM2E=", "AnnoM3E=", "AnnoM4E=", "AnnoMCE="};
        for (std::size_t k = 0; k < 6; ++k)
            add(TextRow(texts[k], srPrivate, overlays.EA[k]));
    }

    // Peak recorder.
    // The peak recorder (its tab applies each value as its controls would).
    const auto peak = [&f]() -> TPeakTab& { return f.PeakTab(); };
    add(BoundInt(
        "PkBufSz=", srPrivate, [peak] { return peak().BufferSize(); },
        [peak](std::int32_t v) { peak().ApplyBufferSize(v); }));
    const auto realRow = [&](const char* key, double TPeakRecorderSettings::*field,
                             void (TPeakTab::*apply)(double)) {
        add(BoundReal(
            key, srPrivate, [peak, field] { return peak().Settings().*field; },
            [peak, apply](double v) { (peak().*apply)(v); }));
    };
    realRow("PkTrigLevel=", &TPeakRecorderSettings::TriggerLevel, &TPeakTab::ApplyTriggerLevel);
    realRow("PkMinf=", &TPeakRecorderSettings::FrequencyLower, &TPeakTab::ApplyFrequencyLower);
    realRow("PkMaxf=", &TPeakRecorderSettings::FrequencyUpper, &TPeakTab::ApplyFrequencyUpper);
    realRow("PkMinL=", &TPeakRecorderSettings::LevelLower, &TPeakTab::ApplyLevelLower);
    realRow("PkMaxL=", &TPeakRecorderSettings::LevelUpper, &TPeakTab::ApplyLevelUpper);
    add(BoundBool(
        "PkDrawf=", srPrivate, [peak] { return peak().Settings().DrawFrequency; },
        [peak](bool on) { peak().ApplyDrawFrequency(on); }));
    add(BoundBool(
        "PkDrawL=", srPrivate, [peak] { return peak().Settings().DrawLevel; },
        [peak](bool on) { peak().ApplyDrawLevel(on); }));
    const auto colourRow = [&](const char* key, std::uint32_t TPeakRecorderSettings::*field,
                               void (TPeakTab::*apply)(TColour)) {
        add(BoundInt(
            key, srPrivate, [peak, field] { return peak().Settings().*field; },
            [peak, apply](std::int32_t c) { (peak().*apply)(static_cast<TColour>(c)); }));
    };
    colourRow("PeakColor=", &TPeakRecorderSettings::TraceColour, &TPeakTab::ApplyTraceColour);
    colourRow("PeakGridColor=", &TPeakRecorderSettings::GridColour, &TPeakTab::ApplyGridColour);
    colourRow("PeakBackColor=", &TPeakRecorderSettings::BackColour, &TPeakTab::ApplyBackColour);
    colourRow("PeakLColor=", &TPeakRecorderSettings::LevelColour, &TPeakTab::ApplyLevelColour);
    colourRow("PeakGridLColor=", &TPeakRecorderSettings::LevelGridColour,
              &TPeakTab::ApplyLevelGridColour);

    // External four-ADC data collection.
    add(TextRow("N4File=", srPrivate, f.VoltmeterTab().EN4File));
    add(TextRow("N4Time=", srPrivate, f.VoltmeterTab().EN4Time));

    // The devices by name: a name that is still listed wins over the index read above.
    const auto deviceNameRow = [](const char* key, QComboBox* combo) {
        return TSettingsRow{key, srBoth, [combo] { return Utf8(combo->currentText()); },
                            [key, combo](TSettingsReader& reader) {
                                const auto name = reader.FindText(key);
                                if (!name)
                                    return;
                                const int index = combo->findText(FromUtf8(*name));
                                if (index >= 0 && index != combo->currentIndex())
                                    combo->setCurrentIndex(index);
                            },
                            [combo] {
                                return Utf8(combo->itemText((combo->currentIndex() + 1) %
                                                            std::max(1, combo->count())));
                            }};
    };
    add(deviceNameRow("SoundDeviceName=", f.ComboAudioDevice));
    add(deviceNameRow("OutDeviceName=", f.ComboOutDevice));

    // Keys added later, after all the others, so that files of every age read alike.
    add(CheckRow("ScreenShotPNG=", srMain, f.Screenshots().CPNG));
    // SPL calibration and correction curves (ui/units).
    for (TSettingsRow& row : f.Units().SettingsRows())
        add(std::move(row));

    // The instrument tabs' keys, after every key above, in the order of the instrument list.
    for (const auto& instrument : f.Instruments())
        for (TSettingsRow& row : instrument->SettingsRows())
            add(std::move(row));

    // Test values inside the ranges that the handlers accept (the others derive their own).
    const std::pair<const char*, const char*> probes[] = {
        {"NFont=", "20"},       {"boxes=", "9"},         {"Markings=", "2"},
        {"trig_mode=", "1"},    {"FWeight=", "1"},       {"Averaging=", "500"},
        {"WasMaximized=", "1"}, {"ScreenShotX=", "640"}, {"ScreenShotY=", "480"},
        {"SFont=", "12"},       {"MarFontSize=", "14"},  {"CurAlign=", "1"},
        {"PkBufSz=", "5000"}};
    for (const auto& [key, value] : probes)
        for (auto& row : Rows_)
            if (row.Key == key)
                row.Probe = [text = std::string(value)] { return text; };
}
