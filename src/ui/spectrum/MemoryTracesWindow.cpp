// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's side of the memory traces: their items, dialogs and message boxes.
#include "files/TraceFile.h"
#include "ui/TForm1.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/spectrum/MemoryTraces.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>

void TForm1::BuildMemoryTraces() {
    TMemoryTraceHooks hooks;
    hooks.FormResize = [this] { FormResize(); };
    hooks.Invalidate = [this] { RepaintSpectrum(); };
    hooks.Axis = [this] { return SpectrumTab_->Axis(); };
    hooks.ShowMessage = [this](const QString& caption, const QString& text) {
        ShowMessage(caption, text);
    };
    hooks.Confirm = [this](const QString& caption, const QString& text) {
        if (Env_.Confirm)
            return Env_.Confirm(caption, text);
        return QMessageBox::warning(this, caption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
               QMessageBox::Ok;
    };
    hooks.ChooseFile = [this](bool save) {
        if (Env_.ChooseFile)
            return Env_.ChooseFile(save);
        // The type chosen in the dialog adds its extension; the extension picks the format.
        const QString types =
            "Touchstone files (*.s1p);;CSV files (*.csv);;FRD files (*.frd *.txt)";
        if (save) {
            QString type;
            const QString path = QFileDialog::getSaveFileName(
                this, QString(), QString(), types, &type, QFileDialog::DontConfirmOverwrite);
            if (path.isEmpty())
                return path;
            return QString::fromStdString(
                NameWithTypeExtension(path.toStdString(), type.toStdString(), types.toStdString()));
        }
        return QFileDialog::getOpenFileName(this, QString(), QString(),
                                            "Trace files (*.s1p *.csv *.frd *.txt);;" + types +
                                                ";;All files (*)");
    };
    hooks.ChooseColour = [this](TColour initial) -> std::optional<TColour> {
        if (SpectrumTab_->Hooks().ChooseColour)
            return SpectrumTab_->Hooks().ChooseColour(initial);
        const QColor chosen = QColorDialog::getColor(ToQColor(initial, palette()), this);
        if (!chosen.isValid())
            return std::nullopt;
        return static_cast<TColour>(chosen.red() | (chosen.green() << 8) | (chosen.blue() << 16));
    };
    hooks.Folder = [this] { return ProgramFolder(); };

    auto* spectrumMenu = findChild<QMenu*>("Spectrum1");
    auto* memTraceMenu = findChild<QMenu*>("MemTrace1");
    auto* colours = SpectrumTab_->PopupSpec->findChild<QMenu*>("Colors2");
    MemTraces_ = std::make_unique<TMemoryTraces>(State_, ViewSettings_, spectrumMenu, memTraceMenu,
                                                 DispMem, SpectrumTab_->PopupSpec, colours,
                                                 MemLegends, C, std::move(hooks));

    // The graph draws the memories between the custom trace and the main trace.
    SpectrumTab_->Hooks().DrawMemPoly = [this](QPainter& painter, int k) {
        MemTraces_->DrawMemPoly(painter, SpectrumTab_->Axis(), k);
    };
    SpectrumTab_->Hooks().ApplyTraceColours = [this] { MemTraces_->ApplyTraceColours(this); };
    MemTraces_->ApplyTraceColours(this);
}
