// When the settings files are read and written: closing, "Settings" > "Save" and "Load".
#include "files/SettingsFile.h"
#include "ui/TForm1.h"
#include "ui/settings/SettingsBinding.h"

#include <QDir>
#include <QFileDialog>

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
        try {
            WriteSettings(SettingsPath(name));
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
    // The machine's own part (devices, window bounds, annotations, peak recorder) is saved first
    // and read back last, so a set-up from another machine changes only the measurement.
    const QString privatePath = SettingsPath(TSettingsBinding::PrivateFileName);
    try {
        WriteSettings(privatePath);
    } catch (const EFileWriteError& error) {
        ShowMessage(QString::fromStdString(error.what()));
        return; // reading it back would undo nothing and lose the machine's state
    }
    ReadSettings(path);
    ReadPrivateSettings(privatePath);
}
