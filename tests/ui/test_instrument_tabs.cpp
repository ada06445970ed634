// SPDX-License-Identifier: GPL-3.0-or-later
// Instrument tabs: their page, their analyser in the pipeline, their settings keys and refresh.
#include "WindowRig.h"

#include "files/SettingsFile.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace uitest;

namespace {

struct TProbeConsumer : TBlockConsumer {
    bool active = false;
    int processed = 0;
    bool Active() const override { return active; }
    void ProcessedBlock(const TProcessedBlockView&) override { ++processed; }
};

// An instrument that counts what it is fed and keeps one number under "ProbeValue=".
class TProbeTab final : public TInstrumentTab {
public:
    explicit TProbeTab(TInstrumentHost& host) : TInstrumentTab(host, "Probe", "TabProbe") {}
    TBlockConsumer& Consumer() override { return consumer; }
    std::vector<TSettingsRow> SettingsRows() override {
        return {{"ProbeValue=", srMain, [this] { return std::to_string(value); },
                 [this](TSettingsReader& reader) {
                     std::int32_t v = 0;
                     if (reader.FindInt("ProbeValue=", v) == TLookup::Found)
                         value = v;
                 },
                 [this] { return std::to_string(value + 1); }}};
    }
    TProbeConsumer consumer;
    int value = 7;
    int refreshes = 0;

protected:
    void Refresh() override { ++refreshes; }
    void PageShown() override {
        consumer.active = true;
        TInstrumentTab::PageShown();
    }
    void PageHidden() override {
        consumer.active = false;
        TInstrumentTab::PageHidden();
    }
};

} // namespace

TEST(InstrumentTabs, PageBeforeSettingsFedOnlyWhenShownKeysAfterTheOthers) {
    TProbeTab* probe = nullptr;
    Window w(kBothWays, {}, [&probe](TFormEnvironment& env) {
        env.MakeInstruments = [&probe](TInstrumentHost& host) {
            TInstrumentTabs tabs;
            tabs.push_back(std::make_unique<TProbeTab>(host));
            probe = static_cast<TProbeTab*>(tabs.back().get());
            return tabs;
        };
    });
    ASSERT_NE(probe, nullptr);
    auto* pages = w.Find<QTabWidget>("PageControl1");
    const int at = pages->indexOf(probe->Page);
    EXPECT_EQ(at + 1, pages->indexOf(w.form->TabSettings));
    EXPECT_EQ(pages->tabText(at), "Probe");

    w.Find<QPushButton>("SpeedButton1")->click();
    TDataBufferF in = SineBlock(2048, 1000.0), out(2, TSingleArray(2048));
    w.Deliver(in, out);
    EXPECT_EQ(probe->consumer.processed, 0); // hidden: not fed, not refreshed
    EXPECT_EQ(probe->refreshes, 0);
    pages->setCurrentWidget(probe->Page);
    w.Deliver(in, out);
    EXPECT_EQ(probe->consumer.processed, w.form->State().SubBlocks);
    QTRY_VERIFY_WITH_TIMEOUT(probe->refreshes >= 2, 2000);

    const auto entries = w.form->Settings().Entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().first, "ProbeValue=");
    EXPECT_EQ(entries.back().second, "7");
}
