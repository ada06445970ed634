// SPDX-License-Identifier: GPL-3.0-or-later
// What floats over the spectrum graph: the cursor read-out, the band-edge drags, the six markers
// with their read-outs, the six annotation labels, and the transparency of the meter labels.
#pragma once

#include "core/MarkerReadout.h"
#include "core/MeasurementState.h"
#include "core/OverlayGeometry.h"
#include "ui/common/ViewSettings.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QEvent;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QPushButton;
class QSlider;
class QWidget;
class TMemoryTraces;
class TSpectrumTab;

// What the overlays ask of the window. Every hook may stay empty.
struct TSpectrumOverlayHooks {
    std::function<void()> FormResize; // the window's re-layout
    std::function<void()> Beep;       // an entry that is not a number
    std::function<int()> ClientWidth; // width of the window's client area, pixels
    // True when a band-edge drag starts: the sliders then move without designing the input
    // filter; false when it ends: the filter is designed for the band reached.
    std::function<void(bool deferred)> DeferFilterDesign;
};

// The controls of the overlays: the labels on the Spectrum tab's page, the band-edge drags on
// the tab's handles and captions, and the marker and annotation settings in a panel for the
// window's settings page. Reads the spectrum and the calibration from MeasurementState, trace
// colours and display flags from TViewSettings, memories through TMemoryTraces; all of them,
// the tab, the sliders and the labels belong to the window and outlive this object, which has
// no Qt parent (the window holds it). Main thread only.
class TSpectrumOverlays final : public QObject {
public:
    // `trackL`/`trackU`: the cut-on and cut-off sliders; `c`: the custom trace's box;
    // `spectrumMeters`/`scopeMeters`: the meter labels on the two views (CMTrans).
    TSpectrumOverlays(TSpectrumTab& tab, MeasurementState& state, TViewSettings& settings,
                      TMemoryTraces& memories, QSlider* trackL, QSlider* trackU, QCheckBox* c,
                      std::vector<QLabel*> spectrumMeters, std::vector<QLabel*> scopeMeters,
                      TSpectrumOverlayHooks hooks);
    ~TSpectrumOverlays() override;
    TSpectrumOverlays(const TSpectrumOverlays&) = delete;
    TSpectrumOverlays& operator=(const TSpectrumOverlays&) = delete;

    // The marker, annotation and display settings, for the window's settings page (the page
    // takes it over).
    QWidget* SettingsPanel() const { return Panel_; }

    // The re-layout's part: marker read-outs, annotation fonts and places, meter backgrounds.
    void PlaceOverlays();
    // After an engine block: the marker read-outs follow the new spectrum.
    void EngineBlockShown();

    // Marker frequency m = 0..5 in force (the last number its field held), Hz, and that text.
    double MarkerFrequency(int m) const { return MarkerHz_[Index6(m)]; }
    const QString& MarkerFrequencyText(int m) const { return MarkerText_[Index6(m)]; }
    // Annotation label positions, i = 0 (main), 1..4 (memories), 5 (custom).
    TLabelFraction AnnoPos(int i) const { return AnnoPos_[Index6(i)]; }
    // Stores a position (a non-finite value counts as 0); the label moves at the next re-layout.
    void SetAnnoPos(int i, TLabelFraction position);
    // The two fields that hold font sizes, applied as their change handlers do. False, the
    // previous size kept and the field's text restored, when the text is no whole number from 1
    // to 500.
    bool ApplyMarkerFontText(const QString& text);
    bool ApplyAnnotationFontText(const QString& text);
    // The text of marker field m applied; false (value and text kept) when it is no number.
    bool ApplyMarkerFrequencyText(int m, const QString& text);
    // Font sizes of the marker read-outs and of the annotations ("Rel. Font Size") in force.
    int MarkerFontSize() const { return MarkerFont_; }
    int AnnotationRelativeFontSize() const { return AnnotationFont_; }
    // The marker read-out texts as last built (lines end in CR LF).
    const TMarkerTexts& MarkerTexts() const { return Texts_; }

    // A screenshot's annotations: one font size and places in page pixels instead of the size
    // the client width gives and the places of the stored fractions (which stay as they are).
    struct TAnnotationPlacing {
        int FontSize = 10;            // points
        std::array<QPoint, 6> Places; // top left of LAM, LA1..LA4, LAC
    };
    // Takes effect at the next re-layout; nothing returns to the normal placing.
    void SetAnnotationPlacing(std::optional<TAnnotationPlacing> placing);
    // Font size of the marker read-outs as shown (a screenshot's size); the size in force
    // (MarkerFontSize) is unchanged and comes back with ShowMarkerFont(MarkerFontSize()).
    void ShowMarkerFont(int size);

    // Handlers.
    void PaintBox2MouseDown(QMouseEvent* event);
    void PaintBox2MouseMove(QMouseEvent* event);
    void PaintBox2MouseUp(QMouseEvent* event);
    void Shape1MouseDown(QWidget* source, QMouseEvent* event);
    void Shape1MouseMove(QMouseEvent* event);
    void L_LMouseMove(QMouseEvent* event);
    void Shape2MouseMove(QMouseEvent* event);
    void L_UMouseMove(QMouseEvent* event);
    void Shape1MouseUp();
    void UpdateMarkerText();
    void CPosChange();
    void EMFSChange(bool leaving);
    void CMDClick();
    void MC1Click();
    void MF1Change(int m, bool leaving);
    void EAMChange();
    void CAClick();
    void CATClick();
    void EAFSChange();
    void EAFSEdited(bool leaving);
    void LAMMouseDown(QLabel* label, QMouseEvent* event);
    void LAMMouseMove(QLabel* label, QMouseEvent* event);
    void LAMMouseUp(QLabel* label);
    void BDefaultClick();
    void CMTransClick();

    // Controls, named as their objectName().
    QLabel* LCursor = nullptr;
    QComboBox* CCur = nullptr;
    std::array<QCheckBox*, 6> MC = {}; // MC1..MC6
    std::array<QLineEdit*, 6> MF = {}; // MF1..MF6
    QComboBox* CPos = nullptr;
    QLineEdit* EMFS = nullptr;
    QCheckBox* CMD = nullptr;
    QLabel* LMar = nullptr;
    std::array<QLabel*, 4> LM = {};    // LM1..LM4
    std::array<QLineEdit*, 6> EA = {}; // EAM, EA1..EA4, EAC
    std::array<QLabel*, 6> LA = {};    // LAM, LA1..LA4, LAC
    QCheckBox* CA = nullptr;
    QCheckBox* CAT = nullptr;
    QLineEdit* EAFS = nullptr;
    QPushButton* BDefault = nullptr;
    QCheckBox* CMTrans = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What a drag remembers from its mouse down (one drag at a time).
    struct TDrag {
        bool Active = false;
        QWidget* Source = nullptr;
        QPoint StartCursor;        // page pixels
        int StartShape1Left = 0;   // page pixels
        int StartShape2Left = 0;   // page pixels
        int StartCursorGraphX = 0; // graph pixels
        int StartBandwidth = 0;    // Hz
        int StartTop = 0;          // dragged label, page pixels
        int StartLeft = 0;
    };

    static std::size_t Index6(int i);
    void BuildLabels();
    void BuildPanel();
    void Connect();
    TPixelRect Graph() const;
    QPoint PageCursor(const QMouseEvent* event) const;
    TBandDragContext BandContext() const;
    void ApplyBandDrag(const TBandDragResult& result, bool cutOnHandle);
    void ShowCursor(const QMouseEvent* event);
    void PlaceAnnotations();
    void ApplyMeterBackgrounds();
    void RunFormResize();
    void Beep();

    TSpectrumTab& Tab_;
    MeasurementState& State_;
    TViewSettings& Settings_;
    TMemoryTraces& Memories_;
    QSlider* TrackL_;
    QSlider* TrackU_;
    QCheckBox* C_;
    std::vector<QLabel*> SpectrumMeters_;
    std::vector<QLabel*> ScopeMeters_;
    TSpectrumOverlayHooks Hooks_;
    QWidget* Panel_ = nullptr;

    TDrag Drag_;
    bool CursorWithLevel_ = true;
    std::array<double, 6> MarkerHz_ = {10, 100, 1000, 10000, 0, 0};
    std::array<QString, 6> MarkerText_; // the texts MarkerHz_ came from
    int MarkerFont_ = 10;
    int AnnotationFont_ = 10; // "Rel. Font Size"
    std::array<TLabelFraction, 6> AnnoPos_ = {};
    std::optional<TAnnotationPlacing> Placing_; // while a screenshot is taken
    TMarkerTexts Texts_;
};
