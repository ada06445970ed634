// SPDX-License-Identifier: GPL-3.0-or-later
// The four memory traces: capture, clearing, display switches, colours, drawing and their files.
#pragma once

#include "core/MeasurementState.h"
#include "ui/common/ViewMapping.h"
#include "ui/common/ViewSettings.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QMenu;
class QPainter;
class QWidget;

// What the memory traces ask of the window. Every hook may stay empty (then nothing happens,
// or, for the dialogs, nothing is chosen).
struct TMemoryTraceHooks {
    std::function<void()> FormResize;            // the window's re-layout
    std::function<void()> Invalidate;            // repaint the graph and its caption strip
    std::function<void()> RebuildMarkerReadouts; // the marker read-outs follow the memories
    std::function<void()> ReapplyAnnotations;    // annotation visibility and transparency
    std::function<TSpectrumAxis()> Axis;         // the graph's current mappings
    // A message box with a caption and an OK button.
    std::function<void(const QString& caption, const QString& text)> ShowMessage;
    // A question with OK and Cancel; true for OK.
    std::function<bool(const QString& caption, const QString& text)> Confirm;
    // A trace file picked in a save (save = true) or open dialog; empty when cancelled. A saved
    // file's format follows its extension (TraceFormatOfName; none or another: Touchstone).
    std::function<QString(bool save)> ChooseFile;
    // The colour dialog: the chosen colour, or nothing when cancelled.
    std::function<std::optional<TColour>(TColour initial)> ChooseColour;
    // Folder of the memory files (beside the settings files).
    std::function<QString()> Folder;
};

// Owns the memory menu items, the pop-up PopupMem of the check boxes M1..M4 and their handlers.
// The traces themselves live in MeasurementState::MemTrace (magnitudes calibrated at capture),
// display flags and colours in TViewSettings; both belong to the window and outlive this
// object. Menu items and the pop-up are owned by their Qt parents; the object itself has no Qt
// parent (the window holds it). Main thread only. Memories are numbered k = 1..4.
class TMemoryTraces final : public QObject {
public:
    // `spectrumMenu`: the main "Spectrum" menu; `display`: the DispMem1..4 items of its
    // "Display" menu; `memTraceMenu`: the menu holding them; `popupSpec`, `colours`: the graph's
    // pop-up and its "Colors" submenu; `boxes`: M1..M4; `c`: the custom trace box C.
    TMemoryTraces(MeasurementState& state, TViewSettings& settings, QMenu* spectrumMenu,
                  QMenu* memTraceMenu, std::vector<QAction*> display, QMenu* popupSpec,
                  QMenu* colours, std::vector<QCheckBox*> boxes, QCheckBox* c,
                  TMemoryTraceHooks hooks);
    TMemoryTraceHooks& Hooks() { return Hooks_; }

    // Display flag k (DispMemk, mirrored by Mk); the setter sets item and box and repaints.
    bool Displayed(int k) const { return Settings_.DispMem[Index(k)]; }
    void SetDisplayed(int k, bool on);
    // Trace colours; the setters re-apply the colours and repaint.
    TColour MemColour(int k) const { return Settings_.SpecMemColor[Index(k)]; }
    void SetMemColour(int k, TColour colour);
    TColour CustomColour() const { return Settings_.CusTraceColor; }
    void SetCustomColour(TColour colour);
    const std::vector<TSpectrumPoint>& Memory(int k) const { return State_.MemTrace[Index(k)]; }

    // Handlers.
    void toMem1Click(int k);   // memory k := current spectrum, calibrated ("Data => Mem")
    void CM1Click(int k);      // "Clear Mem" k
    void all1Click();          // "Clear Mem", "all"
    void Load1Click(int k);    // "File => Mem" k
    void DispMem1Click(int k); // toggles display item k, mirrored by the boxes
    void all2Click();          // all four displayed
    void none1Click();         // none displayed
    void M1Click(int k);       // a click on box Mk
    void N11Click(int k);      // colour of memory k
    void Custom1Click();       // colour of the custom trace
    void DataMem3Click();      // "Data => Mem" of PopupMem for the box that opened it
    void Clear1Click();        // "Clear" of PopupMem for the box that opened it
    void Save1Click();         // "Save Data to File"
    void SaveMem1Click(int k); // "Mem => File" k: memory k to a file
    // Opens PopupMem for box k at the given global position (the boxes' context menu).
    void PopupMemFor(int k, const QPoint& globalPosition);

    // Reads a trace file (Touchstone, CSV or FRD, told apart by content) into memory k; messages
    // as the reader says, with the file's path on a line of its own below the text when
    // `namePath` and the text does not name it. `note`, when given, is added as a line to the
    // last message of a read that took only part of the file. False when the memory was left
    // unchanged (missing file included).
    bool ReadTouchstone(const QString& path, int k, bool namePath = false,
                        const QString& note = {});
    // Writes memory k to its file in the folder; a failure shows one message.
    void WriteMemoryFile(int k);
    // Start-up: reads the file of every displayed memory that has one. A file read only in part
    // (an error, a record it could not take, more records than a memory holds) is kept as it
    // is until the memory changes: its message says so.
    void LoadMemoryFiles();
    // Exit: writes the file of every memory that is displayed and not empty, except a file read
    // only in part at start-up whose memory has not changed since (it would be cut short).
    void WriteMemoryFiles();
    // True while memory k holds what start-up read from part of its file.
    bool KeepsItsFile(int k) const { return KeepFile_[Index(k)]; }
    QString MemoryFilePath(int k) const;

    // Draws memory k when displayed and not empty: one polyline, x = FrequencyToX(f),
    // y = round(DbToY(20 log10(max(1e-100, a)))), pen SpecMemColor k, width TraceWidth.
    void DrawMemPoly(QPainter& painter, const TSpectrumAxis& axis, int k);
    // Font colours of M1..M4, C and the legend, marker and annotation labels; background of the
    // annotation labels; then the annotations' visibility. `root` is searched for the labels.
    void ApplyTraceColours(QWidget* root);
    // C flush with the right edge of `client`, M4 left of it, M3..M1 one M4 width further each
    // (also on every resize of `client`, the boxes' parent).
    void PlaceBoxes(QWidget* client);
    int BoxTop = 4; // y of the boxes in the client area

    // Items, named as their objectName().
    std::vector<QAction*> toMem; // toMem1..toMem4
    std::vector<QAction*> CM;    // CM1..CM4
    QAction* all1 = nullptr;
    std::vector<QAction*> Load;    // Load1..Load4
    std::vector<QAction*> SaveMem; // SaveMem1..SaveMem4
    QAction* Save1 = nullptr;
    QAction* all2 = nullptr;
    QAction* none1 = nullptr;
    std::vector<QAction*> D2M;  // D2M1..D2M4
    std::vector<QAction*> NMem; // N11, N21, N31, N41
    QAction* Custom1 = nullptr;
    QMenu* PopupMem = nullptr;
    QAction* DataMem3 = nullptr;
    QAction* Clear1 = nullptr;
    std::vector<QAction*> DispMem;
    std::vector<QCheckBox*> Boxes; // M1..M4
    QCheckBox* C = nullptr;
    int PopupMemOwner = 1; // the box whose pop-up is open

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static std::size_t Index(int k);
    void Changed();
    void MirrorBoxes();
    void Run(const std::function<void()>& hook) const;
    // A file name from the save dialog, ".s1p" added when it has no extension, and the user's
    // consent when it exists; empty when cancelled.
    QString ChooseSaveFile();

    MeasurementState& State_;
    TViewSettings& Settings_;
    TMemoryTraceHooks Hooks_;
    bool BoxGuard_ = false;          // the boxes are being set to mirror the items
    std::array<bool, 4> KeepFile_{}; // see KeepsItsFile; cleared by every change of the memory
    bool LastReadPartial_ = false;   // the last ReadTouchstone took part of its file
};
