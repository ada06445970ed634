// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a desktop program: every control explains itself, shortcuts, help, status bar.
#include "WindowRig.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSet>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace uitest;

namespace {

// A control a user can operate: buttons, check boxes, combo boxes, edits, sliders (not the
// scroll bars of scroll areas, nor a combo box's own edit).
bool Operable(QWidget* w) {
    if (qobject_cast<QScrollBar*>(w) || qobject_cast<QComboBox*>(w->parentWidget()))
        return false;
    if (w->parentWidget() && w->parentWidget()->inherits("QTabBar"))
        return false; // the tab bar's scroll buttons
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSlider*>(w);
}

} // namespace

// Every visible control on every tab and settings page has a tooltip; every menu entry has a
// status tip.
TEST(DesktopParts, EveryVisibleControlAndMenuEntryExplainsItself) {
    Window w;
    w.form->findChild<QAction*>("ShowDetector")->trigger(); // the tab start-up hides
    QStringList missing;
    QSet<QWidget*> seen;
    const auto walk = [&] {
        for (QWidget* control : w.form->findChildren<QWidget*>())
            if (control->isVisible() && Operable(control) && !seen.contains(control)) {
                seen.insert(control);
                if (control->toolTip().isEmpty())
                    missing << control->objectName() + " (" + control->metaObject()->className() +
                                   ")";
            }
    };
    auto* pages = w.Find<QTabWidget>("PageControl1");
    auto* settings = w.Find<QTabWidget>("PageControl2");
    for (int tab = 0; tab < pages->count(); ++tab) {
        pages->setCurrentIndex(tab);
        if (pages->currentWidget() == w.form->TabSettings)
            for (int page = 0; page < settings->count(); ++page) {
                settings->setCurrentIndex(page);
                walk();
            }
        walk();
    }
    int entries = 0;
    for (QMenu* menu : w.form->findChildren<QMenu*>())
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && !action->menu() && ++entries &&
                action->statusTip().isEmpty())
                missing << "menu entry " + action->objectName() + " \"" + action->text() + "\"";
    EXPECT_GT(seen.size(), 100); // every tab and page was walked
    EXPECT_GT(entries, 90);
    EXPECT_TRUE(missing.isEmpty()) << missing.join("\n").toStdString();
}

TEST(DesktopParts, IconShortcutsAndHelp) {
    QString opened;
    Window w(kBothWays, {}, [&](TFormEnvironment& env) {
        env.OpenGuide = [&](const QString& file) {
            opened = file;
            return true;
        };
    });
    EXPECT_TRUE(w.form->windowIcon().availableSizes().contains(QSize(48, 48)));
    const std::pair<const char*, QKeySequence> keys[] = {
        {"HelpGuide", QKeySequence(Qt::Key_F1)},
        {"BLoad", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {"BSave", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {"Exit1", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"Run", QKeySequence(Qt::Key_F5)}};
    for (const auto& [name, key] : keys)
        EXPECT_EQ(w.Find<QAction>(name)->shortcut(), key) << name;
    EXPECT_EQ(w.form->findChild<QMenu*>("Settings1")->title(), "&Settings");

    w.Find<QAction>("HelpAbout")->trigger();
    EXPECT_EQ(w.form->PageControl1->currentWidget(), w.form->TabAbout);
    EXPECT_TRUE(w.Find<QLabel>("Label29")->text().contains("GPL-3.0-or-later"));
    w.Find<QAction>("HelpGuide")->trigger();
    if (TForm1::UserGuideFile().isEmpty()) {
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0], "The user guide is not installed.");
    } else {
        EXPECT_EQ(opened, TForm1::UserGuideFile());
    }
}

// The status bar follows the rate, N and the window.
TEST(DesktopParts, StatusBarFollowsRateAndLength) {
    Window w;
    w.Find<QComboBox>("CFrame")->setCurrentText("88.2 ksps");
    w.Find<QComboBox>("ComboSamples")->setCurrentText("8192");
    w.form->findChild<QAction*>("WT0")->trigger(); // rectangular: 1 bin, 10.8 Hz
    w.form->UpdateStatusBar();
    EXPECT_EQ(w.Find<QLabel>("StatusInfo")->text(),
              "ALSA: 01  Default device | 88.2 ksps, 16 bit | N = 8192, RBW 10.8 Hz | gaps: 0");
}

// Tab moves through the sampling page in reading order: the left column top to bottom, then the
// right one.
TEST(DesktopParts, TabFollowsTheSamplingPageInReadingOrder) {
    Window w;
    w.form->PageControl1->setCurrentWidget(w.form->TabSettings);
    w.form->findChild<QTabWidget*>("PageControl2")->setCurrentWidget(w.form->TabSampling);
    QStringList order;
    QWidget* start = w.Find<QComboBox>("CFrame");
    for (QWidget* next = start; order.size() < 40;) {
        if (next->isVisible() && next->isEnabled() && (next->focusPolicy() & Qt::TabFocus) &&
            w.form->TabSampling->isAncestorOf(next) && !next->objectName().isEmpty())
            order << next->objectName();
        next = next->nextInFocusChain();
        if (next == start)
            break;
    }
    EXPECT_EQ(order.join(" ").toStdString(),
              "CFrame ComboRes ComboSamples ComboChannel TrackL EditLF TrackU EditUF CN4 "
              "ComboAudioDevice ComboOutDevice CheckOut COutChan TrackF ListBox1");
}
