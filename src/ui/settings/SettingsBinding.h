// SPDX-License-Identifier: GPL-3.0-or-later
// The window's settings: the one table of keys, both readers, the writer and the Load/Save items.
#pragma once

#include "files/AtomicFile.h"
#include "ui/settings/HeldSettings.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class TForm1;
class TSettingsReader;

// Which reader applies a row: the set-up reader ReadSettings, the machine reader
// ReadPrivateSettings, or both.
enum TSettingsReaders : unsigned { srMain = 1u, srPrivate = 2u, srBoth = 3u };

// One key of the settings files. Get gives the value text as written; Apply looks the key up in
// the reader and applies what it finds through the control's normal change handler (a missing or
// malformed value is handled by the row itself, never by throwing); Probe gives a valid value
// text that differs from the current one (the round-trip test uses it for every row).
struct TSettingsRow {
    std::string Key;
    unsigned Readers = srMain;
    std::function<std::string()> Get;
    std::function<void(TSettingsReader&)> Apply;
    std::function<std::string()> Probe;
};

// Owns the settings table of one window and the values of controls that do not exist yet.
// Created by the window after its controls; main thread only. Every later part that brings a
// control adds or rebinds its row in SettingsTable.cpp.
class TSettingsBinding {
public:
    explicit TSettingsBinding(TForm1& form);
    TSettingsBinding(const TSettingsBinding&) = delete;
    TSettingsBinding& operator=(const TSettingsBinding&) = delete;

    // The file names in the settings folder.
    static constexpr const char* MainFileName = "Phonoscale.ini";
    static constexpr const char* PrivateFileName = "PhonoscalePrivate.ini";

    const std::vector<TSettingsRow>& Rows() const { return Rows_; }
    THeldSettings Held;

    // All keys in table order to `path`; EFileWriteError on failure (the old file is kept).
    void WriteSettings(const QString& path, const TBeforeRenameHook& beforeRename = {});
    // Applies the rows read by ReadSettings (srMain) in table order, re-lays out the window and
    // captions Label20 "<path> loaded.". A missing file applies only the missing-file rule. A
    // file that is there but cannot be read (a folder, a read error, over MaxSettingsFileBytes)
    // gives one message naming it and the system's reason and applies nothing; while StartingUp
    // its settings keep their defaults (the missing-file rule) and the file is left alone.
    // True when the file was read.
    bool ReadSettings(const QString& path);
    // Applies the rows read by ReadPrivateSettings (srPrivate) in table order and re-lays out;
    // a file that cannot be read as ReadSettings.
    void ReadPrivateSettings(const QString& path);
    // "Settings" > "Load" of `path` after the machine's own file was saved: applies the set-up
    // rows (ReadSettings), then puts back this machine's values of every row ReadPrivateSettings
    // reads, as they were before (devices, sample rate and resolution, sine output, calibration,
    // window bounds, annotations, peak recorder, data collection). True when the file was read.
    bool LoadSetUp(const QString& path);
    // The line ListBox1 shows after a Load: the set-up values that were kept from this machine.
    QString KeptSetUpLine() const;

    // True while the window's start-up reads the files (the window clears it afterwards).
    bool StartingUp = true;
    // True for a file that could not be read at start-up: closing does not write it, so that
    // what it holds is not replaced by defaults.
    bool LeftAlone(const QString& path) const { return LeftAlone_.contains(path); }
    void ForgetLeftAlone(const QString& path) { LeftAlone_.removeAll(path); }

    // The entries that WriteSettings writes, in order.
    std::vector<std::pair<std::string, std::string>> Entries() const;

    QLabel* Label20 = nullptr; // "<file> loaded." on the "Spectrum / Screenshots" page

private:
    // False when the file is there but could not be read (after the message).
    bool Read(const QString& path, unsigned reader);
    void Apply(TSettingsReader& file, unsigned reader);
    void MissingFile();
    void BuildRows();

    TForm1& Form_;
    std::vector<TSettingsRow> Rows_;
    QStringList LeftAlone_;
};

// The folder of the settings and memory-trace files: `programFolder` when `writable` says so and
// the program does not run installed (a copy that runs from its build or a folder of its own),
// else the per-user configuration folder (created when missing). Empty when neither can be used.
QString ChooseSettingsFolder(const QString& programFolder,
                             const std::function<bool(const QString&)>& writable);
// The per-user configuration folder: $XDG_CONFIG_HOME/phonoscale, by default
// ~/.config/phonoscale. Empty when the platform names no configuration folder.
QString UserSettingsFolder();
// True when the program in `programFolder` runs installed: its library folder
// (kInstalledLibraryFolder) stands beside that folder.
bool ProgramRunsInstalled(const QString& programFolder);
// True when a file can be created in `folder` (tries it: permission bits say little to root).
bool FolderAcceptsFiles(const QString& folder);
