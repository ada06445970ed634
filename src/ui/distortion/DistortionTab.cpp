// SPDX-License-Identifier: GPL-3.0-or-later
// The "Distortion" tab: its controls, their handlers, its settings keys and the read-outs.
#include "ui/distortion/DistortionTab.h"

#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "core/SineOutput.h"
#include "files/SettingsFile.h"
#include "ui/WidgetNaming.h"
#include "ui/common/ViewPaintBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// A number of the edit within lo ... hi, else EConvertError with what is wanted.
double EditNumber(const QLineEdit* edit, double lo, double hi, const char* wanted) {
    const std::string text = edit->text().toStdString();
    const double value = NumberOrThrow(text);
    if (!(value >= lo && value <= hi))
        throw EConvertError("'" + text + "' is not " + wanted);
    return value;
}

// A whole number of the edit within lo ... hi, else EConvertError with what is wanted.
int EditWhole(const QLineEdit* edit, int lo, int hi, const char* wanted) {
    const std::string text = edit->text().toStdString();
    const std::int32_t value = WholeNumberOrThrow(text);
    if (value < lo || value > hi)
        throw EConvertError("'" + text + "' is not " + wanted);
    return value;
}

// "-98.31 dB   0.00122 %": dB with two decimals, % with three significant digits.
QString DbAndPct(double db, double pct) {
    return QString::fromStdString(FormatFixed(db, 2) + " dB   " +
                                  FormatGeneral(TruncSignificant(pct, 3)) + " %");
}

constexpr const char* kNoReading = "---";

} // namespace

TDistortionTab::TDistortionTab(TInstrumentHost& host)
    : TInstrumentTab(host, "Distortion", "TabDistortion") {
    BuildControls();
    for (QLineEdit* edit : {EDistHarm, EDistLow, EDistHigh, EDistAv, EDistF1, EDistF2, EDistRatio})
        ConnectEdit(edit, [this](bool leaving) { EDistChange(leaving); });
    connect(CDistImd, &QComboBox::currentIndexChanged, this, [this] { CDistImdChange(); });
    connect(CDistResidual, &QCheckBox::toggled, this, [this] { CDistResidualClick(); });
    connect(BDistReset, &QPushButton::clicked, this, [this] { BDistResetClick(); });
    AttachPaintBox(
        PaintDistBars, [this](QPainter& painter) { PaintBars(painter); }, nullptr);
    host.AddSpectrumTrace(
        [self = QPointer<TDistortionTab>(this)](QPainter& painter, const TSpectrumAxis& axis) {
            if (self)
                self->DrawResidual(painter, axis);
        });
    EDistChange(false);
}

void TDistortionTab::BuildControls() {
    auto* layout = new QVBoxLayout(Page);
    auto* top = new QHBoxLayout;
    layout->addLayout(top, 1);

    auto* readings = Named<QGroupBox>(Page, "GroupDistReadings", "Readings");
    auto* grid = new QGridLayout(readings);
    QFont large = readings->font();
    large.setPointSizeF(large.pointSizeF() * 1.8);
    large.setBold(true);
    int row = 0;
    const auto reading = [&](const char* name, const char* caption) {
        grid->addWidget(new QLabel(caption, readings), row, 0);
        auto* label = Named<QLabel>(readings, name, kNoReading);
        label->setFont(large);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(label, row++, 1);
        return label;
    };
    LDistThdn = reading("LDistThdn", "THD+N");
    LDistThd = reading("LDistThd", "THD");
    LDistSinad = reading("LDistSinad", "SINAD");
    LDistSnr = reading("LDistSnr", "SNR");
    LDistEnob = reading("LDistEnob", "ENOB");
    LDistSfdr = reading("LDistSfdr", "SFDR");
    LDistFund = reading("LDistFund", "Fundamental");
    LDistImd = reading("LDistImd", "IMD");
    LDistInfo = Named<QLabel>(readings, "LDistInfo", "");
    LDistInfo->setWordWrap(true);
    grid->addWidget(LDistInfo, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
    top->addWidget(readings, 0);

    auto* bars = Named<QGroupBox>(Page, "GroupDistBars", "Harmonics (dBc)");
    auto* barsLayout = new QVBoxLayout(bars);
    PaintDistBars = new TViewPaintBox(bars, "PaintDistBars");
    PaintDistBars->setMinimumSize(240, 160);
    barsLayout->addWidget(PaintDistBars);
    top->addWidget(bars, 1);

    auto* settings = Named<QGroupBox>(Page, "GroupDistSettings", "Distortion Analyser");
    auto* form = new QGridLayout(settings);
    EDistHarm = Named<QLineEdit>(settings, "EDistHarm", "10");
    EDistLow = Named<QLineEdit>(settings, "EDistLow", "20");
    EDistHigh = Named<QLineEdit>(settings, "EDistHigh", "20000");
    EDistAv = Named<QLineEdit>(settings, "EDistAv", "1");
    CDistImd = Named<QComboBox>(settings, "CDistImd");
    CDistImd->addItems({"Off", "SMPTE/DIN", "Twin-tone"});
    const TTwoTones smpte = DefaultTwoTones(TImdKind::Smpte);
    EDistF1 =
        Named<QLineEdit>(settings, "EDistF1", QString::fromStdString(FormatGeneral(smpte.F1Hz)));
    EDistF2 =
        Named<QLineEdit>(settings, "EDistF2", QString::fromStdString(FormatGeneral(smpte.F2Hz)));
    EDistRatio = Named<QLineEdit>(settings, "EDistRatio",
                                  QString::fromStdString(FormatGeneral(smpte.Ratio)));
    CDistResidual = Named<QCheckBox>(settings, "CDistResidual", "Residual on the spectrum graph");
    BDistReset = Named<QPushButton>(settings, "BDistReset", "Restart Averaging");
    const auto place = [&](int r, int c, const char* caption, QWidget* widget) {
        form->addWidget(new QLabel(caption, settings), r, 2 * c);
        form->addWidget(widget, r, 2 * c + 1);
    };
    place(0, 0, "Harmonics up to", EDistHarm);
    place(1, 0, "Band from (Hz)", EDistLow);
    place(2, 0, "to (Hz)", EDistHigh);
    place(3, 0, "Averaged blocks", EDistAv);
    place(0, 1, "Intermodulation", CDistImd);
    place(1, 1, "Tone 1 (Hz)", EDistF1);
    place(2, 1, "Tone 2 (Hz)", EDistF2);
    place(3, 1, "Amplitude 1 : 2", EDistRatio);
    form->addWidget(CDistResidual, 0, 4);
    form->addWidget(BDistReset, 1, 4);
    form->setColumnStretch(5, 1);
    layout->addWidget(settings, 0);
}

TDistortionSettings TDistortionTab::SettingsFromControls() const {
    TDistortionSettings s;
    s.Harmonics = EditWhole(EDistHarm, 2, 20, "a number of harmonics from 2 to 20");
    s.BandLowHz = EditNumber(EDistLow, 0.0, 1e7, "a frequency of 0 Hz or more");
    s.BandHighHz = EditNumber(EDistHigh, 0.0, 1e7, "a frequency of 0 Hz or more");
    if (s.BandHighHz <= s.BandLowHz)
        throw EConvertError("The band's top must lie above its bottom");
    s.Averages = EditWhole(EDistAv, 1, 1000, "a number of blocks from 1 to 1000");
    s.Imd = static_cast<TImdKind>(std::clamp(CDistImd->currentIndex(), 0, 2));
    s.Tones.F1Hz = EditNumber(EDistF1, 1e-3, 1e7, "a tone frequency above 0 Hz");
    s.Tones.F2Hz = EditNumber(EDistF2, 1e-3, 1e7, "a tone frequency above 0 Hz");
    s.Tones.Ratio = EditNumber(EDistRatio, 1e-6, 1e6, "an amplitude ratio above 0");
    if (s.Tones.F1Hz == s.Tones.F2Hz)
        throw EConvertError("The two tones must differ");
    return s;
}

void TDistortionTab::EDistChange(bool leaving) {
    EditChanged(
        [this] {
            const TDistortionSettings s = SettingsFromControls();
            Consumer_.Analyser().SetSettings(s);
            Host.SetGeneratorTones(s.Imd == TImdKind::None ? TTwoTones{} : s.Tones);
        },
        leaving);
    Refresh();
}

void TDistortionTab::CDistImdChange() {
    const auto kind = static_cast<TImdKind>(std::clamp(CDistImd->currentIndex(), 0, 2));
    if (kind != TImdKind::None) {
        const TTwoTones tones = DefaultTwoTones(kind);
        EDistF1->setText(QString::fromStdString(FormatGeneral(tones.F1Hz)));
        EDistF2->setText(QString::fromStdString(FormatGeneral(tones.F2Hz)));
        EDistRatio->setText(QString::fromStdString(FormatGeneral(tones.Ratio)));
    }
    EDistChange(true);
}

void TDistortionTab::CDistResidualClick() {
    UpdateActive();
}

void TDistortionTab::BDistResetClick() {
    Consumer_.Analyser().Restart();
    Refresh();
}

void TDistortionTab::PageShown() {
    TInstrumentTab::PageShown();
    UpdateActive();
}

void TDistortionTab::PageHidden() {
    TInstrumentTab::PageHidden();
    UpdateActive();
}

void TDistortionTab::UpdateActive() {
    const bool active = Shown() || CDistResidual->isChecked();
    if (active && !Consumer_.Active())
        Consumer_.Analyser().Restart(); // what it averaged before it paused is stale
    Consumer_.SetActive(active);
}

void TDistortionTab::Refresh() {
    const TDistortionReadings& r = Consumer_.Analyser().Readings();
    const bool v = r.Valid;
    const auto show = [v](QLabel* label, const QString& text) {
        label->setText(v ? text : QString(kNoReading));
    };
    show(LDistThdn, DbAndPct(r.ThdnDb, r.ThdnPct));
    show(LDistThd, DbAndPct(r.ThdDb, r.ThdPct));
    show(LDistSinad, QString::fromStdString(FormatFixed(r.SinadDb, 2) + " dB"));
    show(LDistSnr, QString::fromStdString(FormatFixed(r.SnrDb, 2) + " dB"));
    show(LDistEnob, QString::fromStdString(FormatFixed(r.EnobBits, 2) + " bits"));
    show(LDistSfdr, std::isfinite(r.SfdrDb)
                        ? QString::fromStdString(FormatFixed(r.SfdrDb, 2) + " dB at " +
                                                 FormatFixed(r.SfdrHz, 1) + " Hz")
                        : QString(kNoReading));
    show(LDistFund, QString::fromStdString(FormatFixed(r.FundamentalHz, 2) + " Hz   " +
                                           FormatFixed(r.FundamentalDb, 2) + " dB"));
    const bool imd = Consumer_.Analyser().Settings().Imd != TImdKind::None;
    LDistImd->setText(v && imd && std::isfinite(r.ImdDb) ? DbAndPct(r.ImdDb, r.ImdPct)
                                                         : QString(kNoReading));

    std::string info = v ? std::string(r.Coherent ? "Coherent" : "Free") + ", " +
                               std::to_string(r.Averaged) + " of " +
                               std::to_string(Consumer_.Analyser().Settings().Averages) +
                               " blocks averaged"
                         : r.Problem;
    const std::string tones = TwoToneCaption(Host.State().Generator, Host.State().SampleRate);
    if (imd && Host.State().Generator.CheckOut && !tones.empty())
        info += "\nGenerator: " + tones;
    LDistInfo->setText(QString::fromStdString(info));
    PaintDistBars->update();
}

std::vector<TSettingsRow> TDistortionTab::SettingsRows() {
    // An edit's text as it stands; the handler runs after the text is set. Probe: one of two
    // valid texts that differs from the current one.
    const auto editRow = [this](const char* key, QLineEdit* edit, std::string a, std::string b) {
        return TSettingsRow{key, srMain, [edit] { return edit->text().toStdString(); },
                            [this, key, edit](TSettingsReader& reader) {
                                if (const auto text = reader.FindText(key)) {
                                    edit->setText(QString::fromStdString(*text));
                                    EDistChange(false);
                                }
                            },
                            [edit, a, b] { return edit->text().toStdString() == a ? b : a; }};
    };
    std::vector<TSettingsRow> rows;
    rows.push_back(editRow("DistHarmonics=", EDistHarm, "5", "12"));
    rows.push_back(editRow("DistBandLow=", EDistLow, "10", "22.5"));
    rows.push_back(editRow("DistBandHigh=", EDistHigh, "15000", "19000"));
    rows.push_back(editRow("DistAverages=", EDistAv, "8", "100"));
    // The kind before its tones: choosing a kind puts its default tones into the edits.
    rows.push_back(TSettingsRow{
        "DistImd=", srMain, [this] { return std::to_string(CDistImd->currentIndex()); },
        [this](TSettingsReader& reader) {
            std::int32_t v = 0;
            if (reader.FindInt("DistImd=", v) != TLookup::Found || v < 0 || v >= CDistImd->count())
                return;
            if (CDistImd->currentIndex() != v)
                CDistImd->setCurrentIndex(v); // runs CDistImdChange
            else
                CDistImdChange();
        },
        [this] { return std::to_string((CDistImd->currentIndex() + 1) % CDistImd->count()); }});
    rows.push_back(editRow("DistImdF1=", EDistF1, "250", "19000"));
    rows.push_back(editRow("DistImdF2=", EDistF2, "8000", "20000"));
    rows.push_back(editRow("DistImdRatio=", EDistRatio, "1", "4"));
    rows.push_back(TSettingsRow{"DistResidual=", srMain,
                                [this] { return CDistResidual->isChecked() ? "1" : "0"; },
                                [this](TSettingsReader& reader) {
                                    std::int32_t v = 0;
                                    if (reader.FindInt("DistResidual=", v) == TLookup::Found)
                                        CDistResidual->setChecked(v == 1);
                                },
                                [this] { return CDistResidual->isChecked() ? "0" : "1"; }});
    return rows;
}
