// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the Scope and Spectrum tabs at a chosen size for the clipboard (and a PNG file),
// the F9 normal/screenshot size toggle, the transparent mode and "Exit".
#pragma once

#include "core/ScreenshotLayout.h"
#include "ui/common/ViewSettings.h"
#include "ui/common/ViewTab.h"

#include <QImage>
#include <QString>

#include <functional>

class QAction;
class QCheckBox;
class QDateTime;
class QGroupBox;
class QLineEdit;
class QMenu;
class QMenuBar;
class TForm1;
class TSeeThroughHoles;

// What the tool asks of the window. Every hook may stay empty.
struct TScreenshotHooks : TViewTabHooks {
    // Takes the picture of the client area. Empty: QWidget::grab. A null image counts as a
    // failure (a message; the window is restored all the same).
    std::function<QImage(QWidget* client)> Grab;
    // With "Also save screenshots as PNG": the PNG file to save the picture to besides the
    // clipboard, chosen in a dialog that proposes `proposed` (a folder and a file name); an empty
    // text saves none. Empty: a file dialog.
    std::function<QString(const QString& proposed)> ChoosePictureFile;
    // Shows a failure to the user. Empty: a message box.
    std::function<void(const QString& text)> ShowMessage;
    // The largest screenshot the screen and the free memory allow. Empty: from the window's
    // screen and the system's free memory.
    std::function<TScreenshotLimits()> Limits;
    // Whether the window system composes translucent windows (asked once, while the tool is
    // built). Empty: WindowSystemComposes.
    std::function<bool()> WindowComposes;
};

// Owns (through Qt parenthood) the "Screenshot" group of the "Spectrum / Screenshots" page, the
// "Clipboard" menu and the "Transparent" and "Exit" items of the "Settings" menu. Works on the
// window it is given, which outlives it; the group is the tab base's page (nothing is laid out
// on it). Main thread only.
class TScreenshotTool final : public TViewTab {
public:
    TScreenshotTool(TForm1& form, QMenu* settingsMenu, QMenuBar* menuBar, TScreenshotHooks hooks);
    ~TScreenshotTool() override;

    TViewTabHooks& CommonHooks() override { return Hooks_; }
    TScreenshotHooks& Hooks() { return Hooks_; }
    void Relayout() override {}

    // The group for the settings page (the page's layout takes it over).
    QGroupBox* Group() const { return GroupShot; }

    // Settings in force.
    int ScreenShotX() const { return Size_.Width; }  // pixels
    int ScreenShotY() const { return Size_.Height; } // pixels
    int SFont() const { return SFont_; }             // points
    int NFont() const { return NFont_; }             // points
    TScreenshotLimits Limits() const;

    // The client area, "ClientArea", and setting its size (the window's frame and menu bar keep
    // theirs).
    QWidget* ClientArea() const;
    TPixelSize ClientSize() const;
    void SetClientSize(TPixelSize size);

    // The last picture taken (null before the first); what the clipboard received.
    const QImage& LastPicture() const { return Picture_; }
    // The folder the PNG dialog proposes: where the last PNG file went (this session), at first
    // the pictures folder (~/Pictures, created when missing), else the home folder.
    QString PictureFolder() const;
    // The file name the PNG dialog proposes for a picture of the Spectrum (spectrum = true) or
    // the Scope tab taken at `at`: "phonoscale-spectrum-20261209-143000.png".
    static QString PictureFileName(bool spectrum, const QDateTime& at);

    // Handlers. The edit handlers raise EConvertError for a text they refuse; the `leaving`
    // forms report it (a beep) and put the value in force back into the field.
    void ESXChange();
    void ESYChange();
    void ESFSChange();
    void ENFSChange();
    bool ApplyEdit(QLineEdit* edit, bool leaving);
    void SaveSpecClick();
    void SaveScopeClick();
    // An item of the "Clipboard" menu for another tab's page (PagePictures.cpp): its picture is
    // taken by the same procedure, the page in place of the Scope tab.
    QAction* AddPictureItem(const QString& caption, const QString& objectName, QWidget* page);
    void SavePageClick(QWidget* page);
    void TransClick();
    void Exit1Click();
    // F9: toggles normal and screenshot size.
    void ToggleScreenshotSize();
    // Before the settings are written at closing: the normal size when F9 made it small.
    void LeaveScreenshotSize();
    bool ScreenshotSizeOn() const { return SizeMode_.On(); }
    // The transparent mode makes the three background shapes see-through only where the window
    // system composes; elsewhere they merely take the key colour.
    bool SeeThroughAvailable() const { return Holes_ != nullptr; }
    bool SeeThrough() const;

    // Controls, named as their objectName().
    QGroupBox* GroupShot = nullptr;
    QLineEdit* ESX = nullptr;
    QLineEdit* ESY = nullptr;
    QLineEdit* ESFS = nullptr;
    QLineEdit* ENFS = nullptr;
    QCheckBox* CWhite = nullptr;
    QCheckBox* CPNG = nullptr; // "Also save screenshots as PNG"
    QMenu* Clipboard1 = nullptr;
    QAction* SaveSpec = nullptr;
    QAction* SaveScope = nullptr;
    QAction* Trans = nullptr;
    QAction* Exit1 = nullptr;

private:
    void BuildGroup();
    void BuildMenus(QMenu* settingsMenu, QMenuBar* menuBar);
    // The screenshot procedure for the Spectrum (spectrum = true) or the Scope tab.
    void TakeScreenshot(bool spectrum);
    void TakeGuarded(bool spectrum); // a failure becomes a message
    void OfferPictureFile(bool spectrum);
    void AllowSmallWindow(bool allow);
    void ShowMessage(const QString& text);
    void PrepareSeeThrough();

    TForm1& Form_;
    TScreenshotHooks Hooks_;
    TPixelSize Size_{300, 200};
    int SFont_ = 10;
    int NFont_ = DefaultMeterFontSize;
    TScreenshotSizeMode SizeMode_;
    QImage Picture_;
    QString PictureFolder_;             // where the last PNG file went; empty before the first
    bool Taking_ = false;               // a screenshot is being taken (a second request is ignored)
    QWidget* PicturePage_ = nullptr;    // the page of SavePageClick while its picture is taken
    TSeeThroughHoles* Holes_ = nullptr; // child of the window; null where nothing composes
};
