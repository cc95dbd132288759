#include "app_test_support.h"

#include "paths.h"

#include <unistd.h>
#include <QApplication>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

// Qt is not built with ThreadSanitizer, so the locking inside its thread pool
// is invisible to it and shows up as races within Qt's own code; libpulse's
// threads hand data over in ways it cannot see either, and so does libdbus
// between the bus thread of Qt and the thread that made a connection.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\n"
           "race:libpulsecommon-16.1.so\nrace:libpulse.so\nrace:libdbus-1.so\n";
}

// Fontconfig keeps what it allocates for each font it loads (a bold or a
// smaller face of the window's font) until the process ends; so does libpulse
// for its client (the window on a real sound server).
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libpulse.so\n";
}

namespace quillet::test {

namespace {

// The application object lives from the first test to the last.
class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "app_window_test";
        static char* argv[] = {name, nullptr};
        FApp = std::make_unique<TQuilletApplication>(argc, argv);
    }
    void TearDown() override { FApp.reset(); }

  private:
    std::unique_ptr<TQuilletApplication> FApp;
};

[[maybe_unused]] ::testing::Environment* const gQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

bool WaitFor(const std::function<bool()>& cond, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

std::string SilentWav(uint32_t frames) {
    auto le = [](uint32_t v, int bytes) {
        std::string s;
        for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
        return s;
    };
    const uint32_t data = frames * 4;
    return "RIFF" + le(36 + data, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4) +
           le(44100 * 4, 4) + le(4, 2) + le(16, 2) + "data" + le(data, 4) + std::string(data, '\0');
}

std::string ColourPng(Qt::GlobalColor colour, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

std::string WithId3Picture(const std::string& picture, const std::string& rest) {
    auto be32 = [](size_t n, int bits) {
        std::string out(4, '\0');
        for (int i = 3; i >= 0; --i, n >>= bits) out[i] = static_cast<char>(n & ((1u << bits) - 1));
        return out;
    };
    // Encoding, MIME type, picture type 3 (front cover), empty description.
    const std::string body = std::string("\0image/png\0\3\0", 13) + picture;
    const std::string frame = "APIC" + be32(body.size(), 8) + std::string(2, '\0') + body;
    return std::string("ID3\3\0\0", 6) + be32(frame.size(), 7) + frame + rest;
}

void AppTest::SetUp() {
    namespace fs = std::filesystem;
    const char* tmp = std::getenv("QUILLET_TEST_TMP");  // set by the test main
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::path(tmp ? tmp : fs::temp_directory_path().string()) /
                   (std::string("app-") + info->test_suite_name() + "-" + info->name() + "-" +
                    std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "prog");
    Dir = dir.string() + "/";
    ProgramDir = Dir + "prog/";
    FOldCwd = fs::current_path().string();
    fs::current_path(dir);
    // The window reads and writes its settings here, never the user's.
    setenv("XDG_CONFIG_HOME", (Dir + "config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (Dir + "cache").c_str(), 1);  // measured loudness
    SetMessageBoxHook([this](TMessageKind kind, const QString& caption, const QString& text) {
        Boxes.push_back({kind, caption, text});
    });
}

void AppTest::TearDown() {
    SetMessageBoxHook(nullptr);
    std::filesystem::current_path(FOldCwd);
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
}

void AppTest::WriteFile(const std::string& path, const std::string& content) {
    const std::string full = path.starts_with('/') ? path : Dir + path;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream(full, std::ios::binary) << content;
}

void WindowFixture::SetUp() {
    AppTest::SetUp();
    WriteFile(ProgramDir + "lang.cfg", "en\r\n");
    Sound = std::make_shared<SimulatedSoundSystem>();
    SimulatedSoundSystem* sound = Sound.get();
    Sound->SetOnSleep([sound](uint32_t ms) {
        std::this_thread::sleep_for(std::chrono::microseconds(ms * 50));
        sound->Advance(ms);
    });
    Form = std::make_unique<TFrmQuillet>(ProgramDir, Sound);
    auto dialogs = std::make_unique<ScriptedDialogs>();
    Dialogs = dialogs.get();
    Form->SetDialogs(std::move(dialogs));
    ASSERT_TRUE(Boxes.empty());
}

void WindowFixture::TearDown() {
    Form.reset();
    AppTest::TearDown();
}

void WindowFixture::AddRows(std::initializer_list<const char*> names) {
    for (const char* name : names) Form->AppendEntry(name, Dir + name);
}

QAction* WindowFixture::ContextEntry(const char* name) {
    QWidget* list = Form->lbPlaylist->viewport();
    QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                            list->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(list, &event);
    EXPECT_TRUE(Form->pmPlayModes->isVisible());
    return Form->pmPlayModes->findChild<QAction*>(QLatin1String(name));
}

void WindowFixture::OpenPlaylist() {
    Form->sbPlaylistOpen->click();
    EXPECT_TRUE(WaitFor([&] { return !Form->Opening(); }));
}

void WindowFixture::PlayRow(int row) {
    Form->SetItemIndex(row);
    Form->sbPlay->click();
}

std::string WindowFixture::PlayingFile() const {
    auto* file = dynamic_cast<TAuFileIn*>(Form->audOut->Input());
    return file ? file->FileName() : std::string();
}

bool WindowFixture::RingPlaying() const {
    auto ring = Sound->Ring();
    if (!ring) return false;
    std::lock_guard<std::mutex> g(ring->Lock);
    return ring->Playing && !ring->Released;
}

int32_t WindowFixture::RingVolume() const {
    auto ring = Sound->Ring();
    std::lock_guard<std::mutex> g(ring->Lock);
    return ring->Volume;
}

std::vector<std::string> WindowFixture::Rows() const {
    std::vector<std::string> rows;
    QAbstractItemModel* model = Form->lbPlaylist->model();
    for (int i = 0; i < model->rowCount(); ++i)
        rows.push_back(model->index(i, 0).data().toString().toStdString());
    return rows;
}

void WindowFixture::AddFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const std::string name(FileNamePart(path));
        Form->AppendEntry(name, path, &name);
    }
}

std::vector<std::string> WindowFixture::Titles() const {
    std::vector<std::string> titles;
    for (const TPlaylistEntry& e : Form->PlaylistEntries()) titles.push_back(e.Title);
    return titles;
}

std::vector<std::string> WindowFixture::Paths() const {
    std::vector<std::string> paths;
    for (const TPlaylistEntry& e : Form->PlaylistEntries()) paths.push_back(e.FilePath);
    return paths;
}

}  // namespace quillet::test
