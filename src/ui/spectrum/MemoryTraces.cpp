// SPDX-License-Identifier: GPL-3.0-or-later
// The four memory traces: menu items, the boxes M1..M4, drawing, colours and the trace files.
#include "ui/spectrum/MemoryTraces.h"

#include "core/SpectrumFiles.h"
#include "files/AtomicFile.h"
#include "files/TraceFile.h"
#include "ui/common/ViewMappingQt.h"

#include "core/LevelUnits.h"
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

QAction* Item(QMenu* menu, const QString& name, const QString& caption) {
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

TTrace ToTrace(const std::vector<TSpectrumPoint>& points) {
    TTrace trace(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        trace[i] = {points[i].x, points[i].y};
    return trace;
}

void SetTextColour(QWidget* widget, TColour colour) {
    QPalette palette = widget->palette();
    const QColor qcolour = ToQColor(colour, palette);
    palette.setColor(QPalette::WindowText, qcolour);
    palette.setColor(QPalette::ButtonText, qcolour);
    palette.setColor(QPalette::Text, qcolour);
    widget->setPalette(palette);
}

// A legend box (M1..M4, C) shows its trace's colour as a swatch framed in the box's own text
// colour beside its text, which keeps the window's text colour: a trace colour such as white or
// yellow would not read as text on the button face.
void SetLegendColour(QCheckBox* box, TColour colour) {
    const int side = std::max(8, box->fontMetrics().height() - 4); // pixels
    const qreal ratio = box->devicePixelRatioF();
    QPixmap swatch(QSize(side, side) * ratio);
    swatch.setDevicePixelRatio(ratio);
    swatch.fill(ToQColor(colour, box->palette()));
    QPainter painter(&swatch);
    painter.setPen(QPen(box->palette().color(QPalette::WindowText), 0));
    painter.drawRect(QRectF(0, 0, side - 1, side - 1));
    painter.end();
    box->setIcon(QIcon(swatch));
    box->setIconSize(QSize(side, side));
}

void SetBackColour(QWidget* widget, TColour colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, ToQColor(colour, palette));
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

TMemoryTraces::TMemoryTraces(MeasurementState& state, TViewSettings& settings, QMenu* spectrumMenu,
                             QMenu* memTraceMenu, std::vector<QAction*> display, QMenu* popupSpec,
                             QMenu* colours, std::vector<QCheckBox*> boxes, QCheckBox* c,
                             TMemoryTraceHooks hooks)
    : DispMem(std::move(display)), Boxes(std::move(boxes)), C(c), State_(state),
      Settings_(settings), Hooks_(std::move(hooks)) {
    auto* mem = spectrumMenu->addMenu("Mem");
    mem->setObjectName("Mem1");
    auto* dataToMem = mem->addMenu("Data => Mem");
    dataToMem->setObjectName("DatatoMem1");
    auto* clearMem = mem->addMenu("Clear Mem");
    clearMem->setObjectName("ClearMem1");
    auto* fileToMem = mem->addMenu("File => Mem");
    fileToMem->setObjectName("FiletoMem1");
    auto* memToFile = mem->addMenu("Mem => File");
    memToFile->setObjectName("MemtoFile1");
    auto* d2m = popupSpec->addMenu("Data => Mem");
    d2m->setObjectName("DatatoMem2");
    auto* memColours = colours->addMenu("Mem");
    memColours->setObjectName("Mem2");
    const char* colourNames[] = {"N11", "N21", "N31", "N41"};
    for (int k = 1; k <= 4; ++k) {
        const QString n = QString::number(k);
        toMem.push_back(Item(dataToMem, "toMem" + n, n));
        CM.push_back(Item(clearMem, "CM" + n, n));
        Load.push_back(Item(fileToMem, "Load" + n, n));
        SaveMem.push_back(Item(memToFile, "SaveMem" + n, n));
        D2M.push_back(Item(d2m, "D2M" + n, n));
        NMem.push_back(Item(memColours, colourNames[k - 1], n));
        connect(toMem.back(), &QAction::triggered, this, [this, k] { toMem1Click(k); });
        connect(CM.back(), &QAction::triggered, this, [this, k] { CM1Click(k); });
        connect(Load.back(), &QAction::triggered, this, [this, k] { Load1Click(k); });
        connect(SaveMem.back(), &QAction::triggered, this, [this, k] { SaveMem1Click(k); });
        connect(D2M.back(), &QAction::triggered, this, [this, k] { toMem1Click(k); });
        connect(NMem.back(), &QAction::triggered, this, [this, k] { N11Click(k); });
    }
    all1 = Item(clearMem, "all1", "all");
    connect(all1, &QAction::triggered, this, [this] { all1Click(); });
    Save1 = Item(spectrumMenu, "Save1", "Save Data to File");
    connect(Save1, &QAction::triggered, this, [this] { Save1Click(); });
    Custom1 = Item(colours, "Custom1", "Custom");
    connect(Custom1, &QAction::triggered, this, [this] { Custom1Click(); });

    all2 = Item(memTraceMenu, "all2", "all");
    none1 = Item(memTraceMenu, "none1", "none");
    connect(all2, &QAction::triggered, this, [this] { all2Click(); });
    connect(none1, &QAction::triggered, this, [this] { none1Click(); });
    for (int k = 1; k <= 4; ++k) {
        QAction* item = DispMem[Index(k)];
        // The item has toggled itself already; DispMem1Click sets the mark.
        connect(item, &QAction::triggered, this, [this, item, k](bool checked) {
            item->setChecked(!checked);
            DispMem1Click(k);
        });
        QCheckBox* box = Boxes[Index(k)];
        connect(box, &QCheckBox::clicked, this, [this, k] { M1Click(k); });
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this,
                [this, box, k](const QPoint& at) { PopupMemFor(k, box->mapToGlobal(at)); });
    }

    PopupMem = new QMenu(Boxes.front()->parentWidget());
    PopupMem->setObjectName("PopupMem");
    DataMem3 = Item(PopupMem, "DataMem3", "Data => Mem");
    Clear1 = Item(PopupMem, "Clear1", "Clear");
    connect(DataMem3, &QAction::triggered, this, [this] { DataMem3Click(); });
    connect(Clear1, &QAction::triggered, this, [this] { Clear1Click(); });
    MirrorBoxes();
    Boxes.front()->parentWidget()->installEventFilter(this);
}

bool TMemoryTraces::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched == Boxes.front()->parentWidget())
        PlaceBoxes(Boxes.front()->parentWidget());
    return QObject::eventFilter(watched, event);
}

std::size_t TMemoryTraces::Index(int k) {
    return static_cast<std::size_t>(std::clamp(k, 1, 4) - 1);
}

void TMemoryTraces::Run(const std::function<void()>& hook) const {
    if (hook)
        hook();
}

void TMemoryTraces::Changed() {
    Run(Hooks_.Invalidate);
    Run(Hooks_.RebuildMarkerReadouts);
    Run(Hooks_.FormResize);
}

void TMemoryTraces::MirrorBoxes() {
    BoxGuard_ = true;
    for (int k = 1; k <= 4; ++k) {
        DispMem[Index(k)]->setChecked(Displayed(k));
        Boxes[Index(k)]->setChecked(Displayed(k));
    }
    BoxGuard_ = false;
}

void TMemoryTraces::SetDisplayed(int k, bool on) {
    Settings_.DispMem[Index(k)] = on;
    MirrorBoxes();
    Run(Hooks_.Invalidate);
    Run(Hooks_.RebuildMarkerReadouts);
}

void TMemoryTraces::SetMemColour(int k, TColour colour) {
    Settings_.SpecMemColor[Index(k)] = colour;
    if (C)
        ApplyTraceColours(C->window());
    Run(Hooks_.Invalidate);
}

void TMemoryTraces::SetCustomColour(TColour colour) {
    Settings_.CusTraceColor = colour;
    if (C)
        ApplyTraceColours(C->window());
    Run(Hooks_.Invalidate);
}

void TMemoryTraces::toMem1Click(int k) {
    // Stored as shown: the calibration in force now is folded into the magnitudes.
    const double factor = std::pow(10.0, (State_.YOffset - DisplayRefLevel(State_)) / 20.0);
    std::vector<TSpectrumPoint>& memory = State_.MemTrace[Index(k)];
    memory = State_.DisplayPoints;
    KeepFile_[Index(k)] = false;
    for (TSpectrumPoint& point : memory)
        point.y *= factor;
    Changed();
}

void TMemoryTraces::CM1Click(int k) {
    State_.MemTrace[Index(k)].clear();
    KeepFile_[Index(k)] = false;
    Changed();
}

void TMemoryTraces::all1Click() {
    for (auto& memory : State_.MemTrace)
        memory.clear();
    KeepFile_.fill(false);
    Changed();
}

void TMemoryTraces::Load1Click(int k) {
    const QString path = Hooks_.ChooseFile ? Hooks_.ChooseFile(false) : QString();
    if (path.isEmpty())
        return;
    ReadTouchstone(path, k);
    Run(Hooks_.Invalidate);
}

void TMemoryTraces::DispMem1Click(int k) {
    Settings_.DispMem[Index(k)] = !Settings_.DispMem[Index(k)];
    MirrorBoxes();
    Run(Hooks_.Invalidate);
    Run(Hooks_.RebuildMarkerReadouts);
}

void TMemoryTraces::all2Click() {
    for (bool& shown : Settings_.DispMem)
        shown = true;
    MirrorBoxes();
    Run(Hooks_.Invalidate);
    Run(Hooks_.RebuildMarkerReadouts);
}

void TMemoryTraces::none1Click() {
    for (bool& shown : Settings_.DispMem)
        shown = false;
    MirrorBoxes();
    Run(Hooks_.Invalidate);
    Run(Hooks_.RebuildMarkerReadouts);
}

void TMemoryTraces::M1Click(int k) {
    if (BoxGuard_)
        return;
    BoxGuard_ = true;
    DispMem1Click(k);
    BoxGuard_ = false;
    Run(Hooks_.RebuildMarkerReadouts);
    Run(Hooks_.FormResize);
}

void TMemoryTraces::N11Click(int k) {
    if (!Hooks_.ChooseColour)
        return;
    if (const auto colour = Hooks_.ChooseColour(MemColour(k)))
        SetMemColour(k, *colour);
}

void TMemoryTraces::Custom1Click() {
    if (!Hooks_.ChooseColour)
        return;
    if (const auto colour = Hooks_.ChooseColour(CustomColour()))
        SetCustomColour(*colour);
}

void TMemoryTraces::DataMem3Click() {
    toMem1Click(PopupMemOwner);
}

void TMemoryTraces::Clear1Click() {
    CM1Click(PopupMemOwner);
}

void TMemoryTraces::PopupMemFor(int k, const QPoint& globalPosition) {
    PopupMemOwner = std::clamp(k, 1, 4);
    PopupMem->popup(globalPosition);
}

QString TMemoryTraces::ChooseSaveFile() {
    QString path = Hooks_.ChooseFile ? Hooks_.ChooseFile(true) : QString();
    if (path.isEmpty())
        return {};
    if (QFileInfo(path).suffix().isEmpty())
        path += ".s1p";
    if (QFileInfo::exists(path)) {
        const QString question = "File " + path + " exists.\n\rOk to overwrite?";
        if (!Hooks_.Confirm || !Hooks_.Confirm("Warning", question))
            return {};
    }
    return path;
}

void TMemoryTraces::Save1Click() {
    const QString path = ChooseSaveFile();
    if (path.isEmpty())
        return;
    const std::string name = path.toStdString();
    try {
        WriteSpectrumAs(name, TraceFormatOfName(name).value_or(TTraceFileFormat::tfTouchstone),
                        State_);
    } catch (const EFileWriteError& e) {
        if (Hooks_.ShowMessage)
            Hooks_.ShowMessage(ErrorCaption, QString::fromStdString(e.what()));
    }
}

void TMemoryTraces::SaveMem1Click(int k) {
    if (Memory(k).empty()) {
        if (Hooks_.ShowMessage)
            Hooks_.ShowMessage(ErrorCaption, "Mem " + QString::number(k) + " is empty.");
        return;
    }
    const QString path = ChooseSaveFile();
    if (path.isEmpty())
        return;
    const std::string name = path.toStdString();
    try {
        WriteMemoryAs(name, TraceFormatOfName(name).value_or(TTraceFileFormat::tfTouchstone),
                      Memory(k), State_);
    } catch (const EFileWriteError& e) {
        if (Hooks_.ShowMessage)
            Hooks_.ShowMessage(ErrorCaption, QString::fromStdString(e.what()));
    }
}

QString TMemoryTraces::MemoryFilePath(int k) const {
    const QString folder = Hooks_.Folder ? Hooks_.Folder() : QString();
    return QDir(folder).filePath(QString::fromStdString(MemoryFileName(k)));
}

bool TMemoryTraces::ReadTouchstone(const QString& path, int k, bool namePath, const QString& note) {
    TTouchstoneRead read = ::ReadTraceFile(path.toStdString());
    if (read.Apply) {
        std::vector<TSpectrumPoint>& memory = State_.MemTrace[Index(k)];
        memory.resize(read.Records.size());
        for (std::size_t i = 0; i < read.Records.size(); ++i)
            memory[i] = {read.Records[i].Frequency, read.Records[i].Magnitude};
        KeepFile_[Index(k)] = false;
    }
    for (std::size_t i = 0; i < read.Messages.size(); ++i) {
        const TTouchstoneMessage& message = read.Messages[i];
        QString text = QString::fromStdString(message.Text);
        if (namePath && !text.contains(path))
            text = text.trimmed() + "\n" + path;
        if (read.Apply && read.Partial && !note.isEmpty() && i + 1 == read.Messages.size())
            text += "\n" + note;
        if (Hooks_.ShowMessage)
            Hooks_.ShowMessage(QString::fromStdString(message.Caption), text);
    }
    if (read.Apply) {
        Run(Hooks_.RebuildMarkerReadouts);
        Run(Hooks_.FormResize);
    }
    LastReadPartial_ = read.Apply && read.Partial;
    return read.Apply;
}

void TMemoryTraces::WriteMemoryFile(int k) {
    try {
        ::WriteMemoryFile(MemoryFilePath(k).toStdString(), ToTrace(State_.MemTrace[Index(k)]));
    } catch (const EFileWriteError& e) {
        if (Hooks_.ShowMessage)
            Hooks_.ShowMessage(ErrorCaption, QString::fromStdString(e.what()));
    }
}

void TMemoryTraces::LoadMemoryFiles() {
    for (int k = 1; k <= 4; ++k) {
        if (!Displayed(k))
            continue;
        const QString path = MemoryFilePath(k);
        const QString note = QFileInfo(path).fileName() +
                             " is kept as it is: Phonoscale writes it again only when memory " +
                             QString::number(k) + " changes.";
        ReadTouchstone(path, k, true, note); // the message says which file
        KeepFile_[Index(k)] = LastReadPartial_;
    }
}

void TMemoryTraces::WriteMemoryFiles() {
    for (int k = 1; k <= 4; ++k)
        if (Displayed(k) && !Memory(k).empty() && !KeepsItsFile(k))
            WriteMemoryFile(k);
}

void TMemoryTraces::DrawMemPoly(QPainter& painter, const TSpectrumAxis& axis, int k) {
    const std::vector<TSpectrumPoint>& memory = Memory(k);
    if (!Displayed(k) || memory.empty())
        return;
    std::vector<QPoint> points(memory.size());
    for (std::size_t i = 0; i < memory.size(); ++i) {
        const int x = FrequencyToX(axis, memory[i].x);
        const int y = RoundToPixel(DbToY(axis, AmplitudeToDb(axis, memory[i].y, false)));
        points[i] = QPoint(Limited(x), Limited(y));
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(PenOf(MemColour(k), Settings_.TraceWidth, C ? C->palette() : QPalette()));
    if (points.size() == 1)
        painter.drawPoint(points.front());
    else
        painter.drawPolyline(points.data(), static_cast<int>(points.size()));
}

void TMemoryTraces::ApplyTraceColours(QWidget* root) {
    const auto colourOf = [root](const QString& name, TColour colour) {
        if (auto* widget = root->findChild<QWidget*>(name))
            SetTextColour(widget, colour);
    };
    for (int k = 1; k <= 4; ++k) {
        const QString n = QString::number(k);
        SetLegendColour(Boxes[Index(k)], MemColour(k));
        for (const char* prefix : {"LM", "LMM", "LA"})
            colourOf(prefix + n, MemColour(k));
    }
    if (C)
        SetLegendColour(C, CustomColour());
    for (const char* name : {"LMCS", "LAC"})
        colourOf(name, CustomColour());
    for (const char* name : {"LMain", "LAM", "LMar"})
        colourOf(name, Settings_.SpecTraceColor);
    for (const char* name : {"LA1", "LA2", "LA3", "LA4", "LAC", "LAM"})
        if (auto* label = root->findChild<QLabel*>(name))
            SetBackColour(label, Settings_.SpecBackColor);
    Run(Hooks_.ReapplyAnnotations);
}

void TMemoryTraces::PlaceBoxes(QWidget* client) {
    if (!C || Boxes.size() != 4)
        return;
    for (QCheckBox* box : Boxes)
        box->adjustSize();
    C->adjustSize();
    const int y = BoxTop;
    C->raise();
    C->move(client->width() - C->width(), y);
    const int step = Boxes[3]->width();
    int x = C->x() - step;
    for (int k = 4; k >= 1; --k, x -= step) {
        Boxes[Index(k)]->move(x, y);
        Boxes[Index(k)]->raise();
    }
}
