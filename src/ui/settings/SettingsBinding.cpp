// SPDX-License-Identifier: GPL-3.0-or-later
// The window's settings files: writing the table, the two readers, the folder and Load/Save.
#include "ui/settings/SettingsBinding.h"

#include "files/SettingsFile.h"
#include "mixtrel/CodecLibrary.h"
#include "ui/TForm1.h"
#include "ui/scope/ScopeTab.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QSlider>
#include <QStandardPaths>
#include <QUuid>

TSettingsBinding::TSettingsBinding(TForm1& form) : Form_(form) {
    Label20 = new QLabel(form.TabSpecSettings);
    Label20->setObjectName("Label20");
    if (QLayout* layout = form.TabSpecSettings->layout())
        layout->addWidget(Label20);
    BuildRows();
    QObject::connect(form.BSave, &QAction::triggered, &form, [&form] { form.BSaveClick(); });
    QObject::connect(form.BLoad, &QAction::triggered, &form, [&form] { form.BLoadClick(); });
}

std::vector<std::pair<std::string, std::string>> TSettingsBinding::Entries() const {
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(Rows_.size());
    for (const auto& row : Rows_)
        entries.emplace_back(row.Key, row.Get());
    return entries;
}

void TSettingsBinding::WriteSettings(const QString& path, const TBeforeRenameHook& beforeRename) {
    std::vector<TSettingsEntry> entries;
    entries.reserve(Rows_.size());
    for (const auto& row : Rows_)
        entries.push_back({row.Key, row.Get()});
    WriteSettingsFile(path.toStdString(), entries, beforeRename);
}

bool TSettingsBinding::ReadSettings(const QString& path) {
    Label20->setText("");
    if (!Read(path, srMain))
        return false;
    Label20->setText(path + " loaded.");
    return true;
}

void TSettingsBinding::ReadPrivateSettings(const QString& path) {
    Read(path, srPrivate);
}

bool TSettingsBinding::Read(const QString& path, unsigned reader) {
    TSettingsFileRead file = TSettingsReader::Open(path.toStdString());
    if (file.Reader) {
        Apply(*file.Reader, reader);
        return true;
    }
    if (file.Missing) {
        MissingFile();
        return false;
    }
    QString message =
        "Could not read \"" + path + "\": " + QString::fromStdString(file.Reason) + ".";
    if (StartingUp) {
        // Its settings keep their defaults, and closing leaves the file as it is.
        MissingFile();
        if (!LeftAlone_.contains(path))
            LeftAlone_ << path;
        message += "\nIts settings keep their defaults; the file is left as it is and is not "
                   "written when Phonoscale closes.";
    }
    Form_.ShowMessage(message);
    return false;
}

void TSettingsBinding::Apply(TSettingsReader& file, unsigned reader) {
    for (const auto& row : Rows_)
        if (row.Readers & reader)
            Form_.Guarded([&row, &file] { row.Apply(file); });
    Form_.FormResize();
}

bool TSettingsBinding::LoadSetUp(const QString& path) {
    // This machine's values as the private file keeps them, taken before the set-up changes
    // them and put back afterwards, as reading the private file back would.
    std::vector<TSettingsEntry> machine;
    for (const auto& row : Rows_)
        if (row.Readers & srPrivate)
            machine.push_back({row.Key, row.Get()});
    if (!ReadSettings(path))
        return false; // not read: the machine's values are still in force
    TSettingsReader kept(ComposeSettings(machine));
    Apply(kept, srPrivate);
    return true;
}

QString TSettingsBinding::KeptSetUpLine() const {
    const TForm1& f = Form_;
    return "Load kept from this machine: sound source " + f.CN4->currentText() + ", sample rate " +
           f.CFrame->currentText() + ", resolution " + f.ComboRes->currentText() +
           ", sine output " + (f.CheckOut->isChecked() ? "on" : "off") + ", calibration " +
           (f.State_.Calibrated ? "on" : "off");
}

void TSettingsBinding::MissingFile() {
    QSlider* trackT = Form_.ScopeTab_->TrackT;
    if (trackT->value() != 10)
        trackT->setValue(10); // its signal runs TrackTChange
    else
        Form_.ScopeTab_->TrackTChange();
    Form_.Guarded([this] { Form_.WT0Click(Form_.State_.WindowKind); });
}

bool FolderAcceptsFiles(const QString& folder) {
    if (folder.isEmpty() || !QDir(folder).exists())
        return false;
    QFile probe(QDir(folder).filePath(".phonoscale-write-test-" +
                                      QUuid::createUuid().toString(QUuid::WithoutBraces)));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    probe.close();
    probe.remove();
    return true;
}

bool ProgramRunsInstalled(const QString& programFolder) {
    return !programFolder.isEmpty() && QDir(programFolder).exists(kInstalledLibraryFolder);
}

QString UserSettingsFolder() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : config + "/phonoscale";
}

QString ChooseSettingsFolder(const QString& programFolder,
                             const std::function<bool(const QString&)>& writable) {
    const auto accepts = writable ? writable : FolderAcceptsFiles;
    if (!ProgramRunsInstalled(programFolder) && accepts(programFolder))
        return programFolder;
    const QString user = UserSettingsFolder();
    if (user.isEmpty() || !QDir().mkpath(user))
        return {};
    return user;
}
