// The window's settings files: writing the table, the two readers, the folder and Load/Save.
#include "ui/settings/SettingsBinding.h"

#include "files/SettingsFile.h"
#include "mixtrel/CodecLibrary.h"
#include "ui/TForm1.h"
#include "ui/scope/ScopeTab.h"

#include <QAction>
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

void TSettingsBinding::ReadSettings(const QString& path) {
    Label20->setText("");
    if (!QFile::exists(path)) {
        MissingFile();
        return;
    }
    Read(path, srMain);
    Label20->setText(path + " loaded.");
}

void TSettingsBinding::ReadPrivateSettings(const QString& path) {
    if (!QFile::exists(path)) {
        MissingFile();
        return;
    }
    Read(path, srPrivate);
}

void TSettingsBinding::Read(const QString& path, unsigned reader) {
    auto file = TSettingsReader::Open(path.toStdString());
    if (!file) {
        MissingFile();
        return;
    }
    for (const auto& row : Rows_)
        if (row.Readers & reader)
            Form_.Guarded([&row, &file] { row.Apply(*file); });
    Form_.FormResize();
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
