// What an instrument tab may ask of the window: a narrow view of it, not the window itself.
#pragma once

#include "analysis/TwoTone.h"
#include "ui/common/ViewTab.h"

#include <QString>

#include <functional>

struct MeasurementState;
class QPainter;
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
    // Draws `draw` into the spectrum graph on each of its repaints (after every engine block),
    // after the custom and memory traces and before the live spectrum, in the graph's pixels
    // with the mappings of `axis`. The window's does; `draw` must stay callable while the
    // window lives.
    virtual void AddSpectrumTrace(std::function<void(QPainter&, const TSpectrumAxis&)> /*draw*/) {}
};
