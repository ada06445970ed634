// SPDX-License-Identifier: GPL-3.0-or-later
// When the settings files are read and written: closing, "Settings" > "Save" and "Load".
#include "files/SettingsFile.h"
#include "ui/TForm1.h"
#include "ui/settings/SettingsBinding.h"

#include <QDir>
#include <QFileDialog>
#include <QListWidget>

QString TForm1::SettingsPath(const QString& fileName) const {
    return QDir(ProgramFolder()).filePath(fileName);
}

void TForm1::WriteSettings(const QString& path) {
    Settings_->WriteSettings(path);
}

void TForm1::ReadSettings(const QString& path) {
    Settings_->ReadSettings(path);
}

void TForm1::ReadPrivateSettings(const QString& path) {
    Settings_->ReadPrivateSettings(path);
}

void TForm1::WriteSettingsOnClose() {
    QStringList failures;
    for (const char* name : {TSettingsBinding::MainFileName, TSettingsBinding::PrivateFileName}) {
        const QString path = SettingsPath(name);
        if (Settings_->LeftAlone(path))
            continue; // it could not be read at start-up: what it holds stays
        try {
            WriteSettings(path);
        } catch (const EFileWriteError& error) {
            failures << QString::fromStdString(error.what());
        }
    }
    if (!failures.isEmpty())
        ShowMessage("The settings could not be saved.\n" + failures.join("\n"));
}

namespace {

QString ChooseIniFile(QWidget* parent, bool save) {
    QFileDialog dialog(parent, save ? "Save" : "Open");
    dialog.setObjectName(save ? "Save" : "Open");
    dialog.setNameFilter("ini file (*.ini)");
    dialog.setDefaultSuffix("ini");
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

} // namespace

void TForm1::BSaveClick() {
    const QString path =
        Env_.ChooseSettingsFile ? Env_.ChooseSettingsFile(true) : ChooseIniFile(this, true);
    if (path.isEmpty())
        return;
    try {
        WriteSettings(path);
    } catch (const EFileWriteError& error) {
        ShowMessage(QString::fromStdString(error.what()));
    }
}

void TForm1::BLoadClick() {
    const QString path =
        Env_.ChooseSettingsFile ? Env_.ChooseSettingsFile(false) : ChooseIniFile(this, false);
    if (path.isEmpty())
        return;
    // The machine's own part (sound source, devices, sample rate and resolution, sine output,
    // calibration, window bounds, annotations, peak recorder, data collection) is saved first and
    // put back last, so a set-up from another machine changes only the rest of the measurement.
    const QString privatePath = SettingsPath(TSettingsBinding::PrivateFileName);
    if (!Settings_->LeftAlone(privatePath)) {
        try {
            WriteSettings(privatePath);
        } catch (const EFileWriteError& error) {
            ShowMessage(QString::fromStdString(error.what()));
            return; // the machine's own file could not be saved: nothing is loaded
        }
    }
    if (!Settings_->LoadSetUp(path))
        return;
    // Which set-up values came from this machine rather than from the file, before the lines
    // that describe stream gaps (they stay at the end).
    ListBox1->insertItem(ListBox1->count() - HealthLines_, Settings_->KeptSetUpLine());
}
