// SPDX-License-Identifier: GPL-3.0-or-later
// What an instrument tab may ask of the window: a narrow view of it, not the window itself.
#pragma once

#include "analysis/TwoTone.h"
#include "core/PeriodicNoise.h"
#include "ui/common/ViewTab.h"

#include <QString>

#include <functional>

struct MeasurementState;
class QPainter;
struct TViewSettings;
class QWidget;

// Implemented by the window for the instrument tabs (ui/InstrumentTabs.cpp). Main thread only.
class TInstrumentHost {
public:
    virtual ~TInstrumentHost() = default;

    // The measurement's shared record, to read settings and results from (never to write).
    virtual const MeasurementState& State() const = 0;
    // True while sampling runs.
    virtual bool Sampling() const = 0;
    // A new page of the main tab set with this caption and object name, placed before the
    // "Settings" tab; it belongs to the window.
    virtual QWidget* AddPage(const QString& caption, const QString& objectName) = 0;
    // The hooks every view tab takes (the window's re-layout, colour dialog, error report).
    virtual TViewTabHooks ViewHooks() = 0;
    // A message to the user (a message box in the window).
    virtual void ShowMessage(const QString& text) = 0;
    // The beep of a refused entry.
    virtual void Beep() = 0;
    // The generator's two-tone output: while the coherent sine output is on, it plays these
    // tones in place of its sine (zero frequencies: the sine again). The window's does.
    virtual void SetGeneratorTones(const TTwoTones& /*tones*/) {}
    // The generator's stimulus: its sine (or tones), or periodic noise of 2^power samples, which
    // plays while the coherent sine output is on. The window's does.
    virtual void SetGeneratorStimulus(TStimulusKind /*kind*/, int /*power*/) {}
    // Draws `draw` into the spectrum graph on each of its repaints (after every engine block),
    // after the custom and memory traces and before the live spectrum, in the graph's pixels
    // with the mappings of `axis`. The window's does; `draw` must stay callable while the
    // window lives.
    virtual void AddSpectrumTrace(std::function<void(QPainter&, const TSpectrumAxis&)> /*draw*/) {}
    // The display settings of the spectrum view (its zoom, colours, ...), to read from.
    virtual const TViewSettings& ViewSettings() const = 0;
    // Adds an item with this caption and object name to the "Clipboard" menu that copies a
    // picture of `page` (a page the host gave) at the screenshot size, as "Spectrum to ..." does.
    virtual void AddPictureItem(const QString& caption, const QString& objectName,
                                QWidget* page) = 0;
};
