// Shared set-up of the window tests: one application object for the whole
// run, a fresh folder per test (the program folder and the working
// directory), message boxes recorded instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "UMain.h"
#include "app_errors.h"
#include "simulated_device.h"
#include "synthetic.h"

namespace quillet::test {

// Lengths of the generated test tracks, in frames at 44.1 kHz.
inline constexpr int64_t kShortFrames = 4410;
inline constexpr int64_t kLongFrames = 44100 * 60;  // plays for about 3 s here

struct RecordedBox {
    TMessageKind Kind;
    QString Caption;
    QString Text;
};

// A one-colour PNG of w x h pixels, and a file's bytes that open with an
// ID3v2.3 tag holding `picture` as its front cover (APIC) followed by `rest`.
std::string ColourPng(Qt::GlobalColor colour, int w = 16, int h = 16);
// A playable 16-bit stereo 44.1 kHz WAV of `frames` frames of silence.
std::string SilentWav(uint32_t frames);
std::string WithId3Picture(const std::string& picture, const std::string& rest);

// Serves Qt's event loop (and so the main-thread call queue) until `cond`
// holds or `timeoutMs` passes; returns whether it held.
bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 10000);

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file (path relative to Dir, or absolute).
    void WriteFile(const std::string& path, const std::string& content);

    std::string Dir;         // this test's folder (also the working directory), with "/"
    std::string ProgramDir;  // Dir + "prog/": holds lang/ and the installed lang.cfg
    std::vector<RecordedBox> Boxes;

  private:
    std::string FOldCwd;
};

// Answers each dialog with the next scripted answer and records what it was
// shown. A dialog nobody scripted fails the test and is cancelled.
class ScriptedDialogs : public TDialogProvider {
  public:
    struct Shown {
        std::string Kind;     // "sound", "playlist", "save", "input"
        QString Title;        // or the input box's caption
        QString Filter;       // or the input box's prompt
        std::string Initial;  // or the folder a file dialog opens in
    };
    std::deque<std::string> SoundFiles, Playlists;
    // Answers of the several-files dialog; when none is left it takes one of
    // SoundFiles. Folders answer the folder dialog ("folder").
    std::deque<std::vector<std::string>> SoundFileLists;
    std::deque<std::string> Folders;
    std::deque<TSaveDialogResult> Saves;
    std::deque<std::optional<std::string>> Inputs;
    std::vector<Shown> Log;

    std::string OpenSoundFile(QWidget*, const TFileDialogSetup& setup) override {
        Log.push_back({"sound", setup.Title, setup.Filter, {}});
        return Next(SoundFiles, std::string());
    }
    std::vector<std::string> OpenSoundFiles(QWidget*, const TFileDialogSetup& setup) override {
        Log.push_back({"sound", setup.Title, setup.Filter, setup.Folder.toStdString()});
        if (!SoundFileLists.empty()) return Next(SoundFileLists, {});
        std::string file = Next(SoundFiles, std::string());
        if (file.empty()) return {};
        return {file};
    }
    std::string ChooseFolder(QWidget*, const TFileDialogSetup& setup) override {
        Log.push_back({"folder", setup.Title, {}, setup.Folder.toStdString()});
        return Next(Folders, std::string());
    }
    std::string OpenPlaylist(QWidget*, const TFileDialogSetup& setup) override {
        Log.push_back({"playlist", setup.Title, setup.Filter, {}});
        return Next(Playlists, std::string());
    }
    TSaveDialogResult SavePlaylist(QWidget*, const TFileDialogSetup& setup) override {
        Log.push_back({"save", setup.Title, setup.Filter, {}});
        return Next(Saves, TSaveDialogResult{});
    }
    std::optional<std::string> InputQuery(QWidget*, const std::string& caption,
                                          const std::string& prompt,
                                          const std::string& initial) override {
        Log.push_back(
            {"input", QString::fromStdString(caption), QString::fromStdString(prompt), initial});
        return Next(Inputs, std::optional<std::string>());
    }

  private:
    template <class T>
    T Next(std::deque<T>& answers, T cancelled) {
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected dialog " << Log.back().Kind;
            return cancelled;
        }
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
};

// A source that records the file name of each run it opens, or tries to
// (worker thread).
class OpenRecorder : public SyntheticSource {
  public:
    using SyntheticSource::SyntheticSource;
    std::vector<std::string> Files() {
        std::lock_guard<std::mutex> g(FFilesLock);
        return FFiles;
    }

  protected:
    void OpenSource() override {
        if (FOpenCount == 0) {
            std::lock_guard<std::mutex> g(FFilesLock);
            FFiles.push_back(FFileName);
        }
        SyntheticSource::OpenSource();
    }

  private:
    std::mutex FFilesLock;
    std::vector<std::string> FFiles;
};

// The window with English texts on the simulated sound system, whose clock
// runs about 20 times faster than real time; dialogs are scripted.
class WindowFixture : public AppTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Puts a synthetic source of `frames` frames in an input slot (the
    // kind's first input in the player's pool).
    template <class Source = SyntheticSource>
    Source* Install(TInputKind kind, int64_t frames, SyntheticFormat f = {}) {
        f.frames = frames;
        f.blockBytes = 16384;
        auto* source = new Source(f);
        Form->Player().Inputs().Install(kind, source);
        // The output forgets an input that goes; give it the new one.
        if (Form->audOut->Input() == nullptr) Form->audOut->SetInput(source);
        return source;
    }
    // The kind's first input in the player's pool.
    TAuFileIn* InputOf(TInputKind kind) const { return Form->Player().Inputs().First(kind); }
    // Appends rows for files as a drop does (each row showing its file name),
    // whose titles come from the files' tags as they are read.
    void AddFiles(const std::vector<std::string>& paths);
    // Rows titled by name for files of that name in Dir.
    void AddRows(std::initializer_list<const char*> names);
    // Selects the row in code and clicks Play.
    void PlayRow(int row);
    // Opens the list's context menu as the menu key does and gives its entry
    // (any depth) of that object name; nullptr when there is none.
    QAction* ContextEntry(const char* name);
    // Clicks Open playlist and waits until what the dialog gave is in.
    void OpenPlaylist();
    // The file given to the output by the last Play (its run starts on the
    // worker, a moment later).
    std::string PlayingFile() const;
    bool RingPlaying() const;
    int32_t RingVolume() const;
    std::vector<std::string> Rows() const;
    std::vector<std::string> Titles() const;
    std::vector<std::string> Paths() const;

    std::shared_ptr<SimulatedSoundSystem> Sound;
    std::unique_ptr<TFrmQuillet> Form;
    ScriptedDialogs* Dialogs = nullptr;
};

}  // namespace quillet::test
