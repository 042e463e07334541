// tamber.exe under Wine driven by messages from outside, its state read back.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "tests/win32/support/wintest.h"
// windows.h first.
#include <shellapi.h>

#include "app/shell.h"
#include "support/fspath.h"
#include "support/win32/wide.h"
#include "tags/tagdata.h"

namespace {

using namespace wintest;

const int kDropFiles = 400;

// Whether some process holds the run mutex now (taken and given back at once when free).
bool RunMutexHeld() {
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, "TamberRunMutex");
    if (!m) return false;
    const DWORD r = WaitForSingleObject(m, 0);
    if (r != WAIT_TIMEOUT) ReleaseMutex(m);
    CloseHandle(m);
    return r == WAIT_TIMEOUT;
}

// The frames (16-bit stereo) that are not silent: Wine's mixer pads an underrun with silence.
std::vector<uint32_t> Sounding(const void* bytes, size_t size) {
    std::vector<uint32_t> frames(size / 4);
    std::memcpy(frames.data(), bytes, frames.size() * 4);
    std::erase(frames, 0u);
    return frames;
}

void WriteBytes(const std::string& path, size_t n) {
    testutil::WriteFileBytes(path, std::vector<uint8_t>(n, 0x41));
}

class TamberGui : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(MainWindow()) << "an instance is already running";
        testutil::ForgetWavOutputFormat();
    }
    void TearDown() override {
        if (HWND w = MainWindow()) PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
        for (HANDLE p : processes_) Ended(p, 10000);
        WaitFor([] { return MainWindow() == nullptr; }, 5000);
    }
    HWND StartMain() {
        processes_.push_back(Start(Built("tamber.exe"), {}));
        HWND w = nullptr;
        return WaitFor([&] { return (w = MainWindow()) && IsWindowVisible(w); }) ? w : nullptr;
    }
    HANDLE StartWith(const std::vector<std::string>& args) {
        return processes_.emplace_back(Start(Built("tamber.exe"), args));
    }
    // A start handed to the running window; whether it returned (once handled).
    bool Send(const std::vector<std::string>& args) {
        return WaitForSingleObject(StartWith(args), 20000) == WAIT_OBJECT_0;
    }
    std::vector<HANDLE> processes_;
};

// The ways into the list (arguments without duplicates, empty or missing files, sorted by their
// characters in any script; 40 forwarded paths of 259 characters, a longer one refused, a
// relative one; a dropped tree, duplicates told once a drop), tags, a missing folder, the
// settings.
TEST_F(TamberGui, OneWindowListTagsFolderSettingsAndDrops) {
    for (const char* v : {"ContextMenu", "UseCDDB"}) SetSetting("Settings", v, "0");
    const std::string dir = testutil::ScratchDir();
    for (auto [name, n] : {std::pair{"\\b.wav", 1023},
                           {"\\a.mp3", 5000},
                           {"\\empty.wav", 0},
                           {"\\é.wav", 10},
                           {"\\f.wav", 10}})
        WriteBytes(dir + name, n);
    HANDLE first = StartWith({dir + "\\f.wav", dir + "\\b.wav", dir + "\\A.MP3", dir + "\\a.mp3",
                              dir + "\\empty.wav", dir + "\\missing.wav", dir + "\\é.wav"});
    ASSERT_EQ(WaitForSingleObject(first, 30000), WAIT_OBJECT_0);
    HWND w = MainWindow();
    ASSERT_TRUE(w);
    HWND list = GetDlgItem(w, 102);
    ASSERT_EQ(ListView_GetItemCount(list), 4);
    Remote remote(w);
    // é sorts as an e would, not by the bytes of its UTF-8.
    const char* sorted[] = {"\\A.MP3", "\\b.wav", "\\é.wav", "\\f.wav"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(remote.ListText(list, i, 0), dir + sorted[i]);
    EXPECT_EQ(remote.ListText(list, 1, 1), "0kB");
    EXPECT_FALSE(WaitDialog("Tamber", 0));

    std::vector<std::string> args{"-clear"};
    std::set<std::string> expected, got;
    for (int i = 0; i < 40; ++i) {
        std::string name = dir + "\\" + char('A' + i % 26) + std::to_string(i) + "_";
        name.resize(259 - 4, 'x');
        name += ".wav";
        WriteBytes(name, 2048 + i);
        expected.insert(name);
        args.push_back(name);
    }
    ASSERT_TRUE(Send(args));
    ASSERT_EQ(ListView_GetItemCount(list), 40);
    for (int i = 0; i < 40; ++i) got.insert(remote.ListText(list, i, 0));
    EXPECT_EQ(got, expected);
    const std::string longer = *expected.begin() + "x";  // no slot holds it: refused, not cut
    HANDLE refused = StartWith({"-clear", longer});
    ASSERT_TRUE(Answer("Tamber", IDOK, "The path \"" + longer + "\" is too long"));
    ASSERT_EQ(WaitForSingleObject(refused, 20000), WAIT_OBJECT_0);
    EXPECT_EQ(ListView_GetItemCount(list), 40);
    char here[MAX_PATH];  // a start made in dir, after start-up has moved to the program folder
    GetCurrentDirectoryA(MAX_PATH, here);
    SetCurrentDirectoryA(dir.c_str());
    const bool sent = Send({"-clear", "b.wav"});
    SetCurrentDirectoryA(here);
    ASSERT_TRUE(sent);
    ASSERT_EQ(ListView_GetItemCount(list), 1);
    EXPECT_EQ(remote.ListText(list, 0, 0), dir + "\\b.wav");
    EXPECT_TRUE(SendMessageA(GetDlgItem(w, 89), TB_ISBUTTONENABLED, 1005, 0));

    const std::string wav = dir + "\\song.WAV";
    ASSERT_TRUE(testutil::WriteWav16(wav, 8000, 1, std::vector<int16_t>(4000, 100)));
    WriteBytes(dir + "\\clip.txt", 4000);
    ASSERT_TRUE(Send({"-clear", wav, dir + "\\clip.txt"}));
    ASSERT_EQ(ListView_GetItemCount(list), 2);

    Command(w, 1008);  // select all: Edit Tag takes the first, clip.txt, and refuses it
    ASSERT_TRUE(WaitFor([&] { return ListView_GetSelectedCount(list) == 2; }, 3000));
    Command(w, 1009);
    ASSERT_TRUE(Answer("Error", IDOK, "Only wav and mp3 files can have tags edited."));

    ASSERT_TRUE(Send({"-clear", wav}));
    Command(w, 1008);
    Command(w, 1009);
    HWND editor = WaitDialog("Edit Audio Tags"), genre = GetDlgItem(editor, 104);
    // The window exists a moment before its boxes are filled.
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(genre, CB_GETCOUNT, 0, 0) == 148; }, 5000));
    SetDlgItemTextA(editor, 101, "A Title");
    SetDlgItemTextA(editor, 102, "Someone");
    SendMessageA(genre, CB_SETCURSEL, 17, 0);
    ASSERT_TRUE(Answer("Edit Audio Tags", IDOK));
    LAudioTagData tags;
    ASSERT_TRUE(tags.ReadTags(wav.c_str()));
    EXPECT_EQ(std::string(tags.Get("TITLE")) + "|" + tags.Get("ARTIST") + "|" + tags.Get("GENRE"),
              "A Title|Someone|Rock");

    const std::string deep = dir + "\\missing\\deeper";
    ASSERT_TRUE(Send({"-clear", "-format", ".au", "-outfolder", deep, wav}));
    Command(w, 1008);
    Command(w, 1005);
    ASSERT_TRUE(
        Answer("Tamber", IDNO,
               "The folder \"" + deep + "\" does not exist. Do you want to create it now?"));
    ASSERT_TRUE(Answer("Error", IDOK,
                       "Unable to convert files. Please specify an existing output folder."));

    // The .WAV verb, registered on the tick (on a fresh system the type is named only then).
    auto verb = [] {
        return RegRead(HKEY_CLASSES_ROOT, ".WAV", nullptr) + "\\Shell\\Convert with Tamber";
    };
    RegDeleteTreeA(HKEY_CLASSES_ROOT, verb().c_str());
    Command(w, 1004);
    HWND sheet = WaitDialog("Settings");
    Click(SheetPage(sheet), 102);  // General: the context menu entry
    SendMessageA(sheet, PSM_SETCURSEL, 1, 0);
    Click(SheetPage(sheet), 203);  // Overwrite: never
    // Formats: CDDB on, custom pattern without "{" is refused.
    SendMessageA(sheet, PSM_SETCURSEL, 2, 0);
    HWND page = SheetPage(sheet), custom = GetDlgItem(page, 306);
    EXPECT_FALSE(IsWindowEnabled(custom));
    Click(page, 301);
    EXPECT_TRUE(IsWindowEnabled(custom));
    Click(page, 305);
    // Reading: a read offset that is no number is refused too.
    SetWindowTextA(GetDlgItem(page, 312), "six");
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    ASSERT_TRUE(Answer("Error", IDOK, "The read offset must be a whole number of samples."));
    SetWindowTextA(GetDlgItem(page, 312), "-6");
    Click(page, 309);  // secure reading off
    SetWindowTextA(custom, "%t");
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    ASSERT_TRUE(Answer("Error", IDOK, "The string you entered is invalid."));
    EXPECT_EQ(SheetPage(sheet), page);
    SetWindowTextA(custom, "{%n %t}");
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
    ASSERT_TRUE(WaitFor([] { return !WaitDialog("Settings", 0); }));
    std::string stored;
    for (const char* name :
         {"ContextMenu", "NeverOverwrite", "AlwaysPrompt", "AlwaysOverwrite", "CancelAll",
          "UseCDDB", "FormatChoiceC", "CustomString", "SoundOutDevice"})
        stored += std::string(name) + "=" + Setting("Settings", name) + " ";
    EXPECT_EQ(stored,
              "ContextMenu=1 NeverOverwrite=1 AlwaysPrompt=0 AlwaysOverwrite=0 CancelAll=0 "
              "UseCDDB=1 FormatChoiceC=1 CustomString={%n %t} SoundOutDevice=0 ");
    EXPECT_EQ(Setting("AccurateRip", "ReadOffset") + " " + Setting("AccurateRip", "Secure"),
              "-6 0");
    SetSetting("AccurateRip", "ReadOffset", "0");  // later rips in this prefix read as usual
    SetSetting("AccurateRip", "Secure", "1");
    EXPECT_NE(RegRead(HKEY_CLASSES_ROOT, verb() + "\\command", nullptr).find("tamber.exe"),
              std::string::npos);

    const std::string drop = dir + "\\drop";
    CreateDirectoryA(drop.c_str(), nullptr);
    CreateDirectoryA((drop + "\\sub").c_str(), nullptr);
    for (int i = 0; i < kDropFiles; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "%s\\take%04d.%s", i % 2 ? "sub" : ".", i,
                      i % 10 == 0 ? "txt" : "wav");
        WriteBytes(drop + "\\" + name, 1 + i % 3);
    }
    WriteBytes(drop + "\\empty.wav", 0);
    ASSERT_TRUE(Send({"-clear"}));
    remote.Drop(w, {drop});
    ASSERT_TRUE(WaitFor([&] { return ListView_GetItemCount(list) == kDropFiles; }, 60000));
    EXPECT_FALSE(WaitDialog("Tamber", 0));
    remote.Drop(w, {drop + "\\take0000.txt", drop});
    for (int n = 0; n < 2; ++n)  // once per dropped item: the file, then the folder
        ASSERT_TRUE(Answer("Tamber", IDOK,
                           "One or more files were not added because those files already exist "
                           "in the list.",
                           60000))
            << n;
    EXPECT_EQ(ListView_GetItemCount(list), kDropFiles);
    Command(w, 1017);
    ASSERT_TRUE(Answer("Confirm Remove", IDYES));
    EXPECT_TRUE(WaitFor([&] { return ListView_GetItemCount(list) == kDropFiles * 9 / 10; }));
}

// Starts during a job (at a question, while a decoder runs) wait their turn in order, then return.
TEST_F(TamberGui, StartsDuringAJobRunAfterItInTheirOrder) {
    const std::string dir = testutil::ScratchDir(), out = dir + "\\out",
                      gate = dir + "\\oggdec.exe";
    CreateDirectoryA(out.c_str(), nullptr);
    const char* names[] = {"a.wav", "b.wav", "g.ogg", "c.wav", "d.wav"};  // 800, 1600... frames
    for (int i = 0; i < 5; ++i)
        testutil::WriteWav16(dir + "\\" + names[i], 8000, 1,
                             std::vector<int16_t>(800 * (i + 1), 9));
    auto ogg = testutil::ReadFileBytes(dir + "\\g.ogg");  // for the decoder only: "WRAP" first
    ogg.insert(ogg.begin(), {'W', 'R', 'A', 'P'});
    testutil::WriteFileBytes(dir + "\\g.ogg", ogg);
    WriteBytes(out + "\\b.au", 100);
    CopyFileA(Built("tests/standin_codec.exe").c_str(), gate.c_str(), 0);
    SetEnvironmentVariableA("STANDIN_MODE", "gate");  // inherited by the program's decoder
    RegWrite(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Components\\oggdec", "Path", gate.c_str());
    HWND w = StartMain();
    SetEnvironmentVariableA("STANDIN_MODE", nullptr);
    ASSERT_TRUE(w);
    ASSERT_TRUE(Send({"-overwrite", "PROMPT", "-format", ".au", "-outfolder", out, dir + "\\a.wav",
                      dir + "\\b.wav", dir + "\\g.ogg"}));
    Command(w, 1005);
    ASSERT_TRUE(WaitDialog("Tamber"));  // the overwrite question of the user's Convert
    HANDLE second = StartWith({"-clear", dir + "\\c.wav", "-convert"});
    ASSERT_TRUE(WaitFor(RunMutexHeld));
    ASSERT_TRUE(Answer("Tamber", IDYES));
    ASSERT_TRUE(WaitFor([&] { return fs::exists(gate + ".waiting"); }));
    HANDLE third = StartWith({"-clear", dir + "\\d.wav", "-convert"});
    WriteBytes(gate + ".open", 1);
    ASSERT_EQ(WaitForSingleObject(second, 30000), WAIT_OBJECT_0);
    const auto size = [&](std::string name) { return fs::file_size(out + "\\" + name); };
    EXPECT_EQ(size("c.au"), size("a.au") + 4800);  // converted before the start returned
    ASSERT_EQ(WaitForSingleObject(third, 30000), WAIT_OBJECT_0);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 5);  // none doubled
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(size(names[i][0] + std::string(".au")), size("a.au") + 1600 * i) << names[i];
    HWND list = GetDlgItem(w, 102);
    ASSERT_EQ(ListView_GetItemCount(list), 1);  // the third start's -clear came last
    EXPECT_EQ(Remote(w).ListText(list, 0, 0), dir + "\\d.wav");
}

// Stored size and format; playback (ALSA file plugin): F9 plays it all; Stop, Convert, Exit end it.
TEST_F(TamberGui, SizeFormatPlayStopAndConvertWhilePlaying) {
    const std::string dir = testutil::ScratchDir();
    // Named by the suite's ALSA_CONFIG_PATH: the default device writes into the capture file.
    const std::string capture = WinPath(TAMBER_BINARY_DIR "/played.raw");
    const std::string rule = "pcm.!default { type file slave.pcm \"null\" file \"" TAMBER_BINARY_DIR
                             "/played.raw\" format \"raw\" }\n";
    testutil::WriteFileBytes(WinPath(TAMBER_BINARY_DIR "/played.conf"), {rule.begin(), rule.end()});
    RegWrite(HKEY_CURRENT_USER, "Software\\Wine\\Drivers", "Audio", "alsa");
    const auto shortPcm = testutil::Sine(22050, 2, 22050 * 4, 440, 0.5);
    ASSERT_TRUE(testutil::WriteWav16(dir + "\\b_short.wav", 22050, 2, shortPcm));
    const auto longPcm = testutil::Sine(8000, 1, 8000 * 60, 300, 0.5);
    ASSERT_TRUE(testutil::WriteWav16(dir + "\\a_long.wav", 8000, 1, longPcm));
    CreateDirectoryA((dir + "\\out").c_str(), nullptr);
    SetSetting("Settings", "OutputFormat", "2");  // .au
    SetSetting("Settings", "OutputFolder", (dir + "\\out").c_str());
    for (const char* v : {"Width", "Height"}) SetSetting("MainDialog", v, "5000");
    SetSetting("MainDialog", "Maximized", "0");

    HWND w = StartMain();
    ASSERT_TRUE(w);
    RECT desk, r;
    GetWindowRect(GetDesktopWindow(), &desk);
    GetWindowRect(w, &r);
    EXPECT_TRUE(EqualRect(&r, &desk));
    EXPECT_EQ(SendMessageA(GetDlgItem(w, 103), CB_GETCURSEL, 0, 0), 2);
    // Later formats follow the first eleven, whose stored indexes keep their meaning. (Wine
    // carries an item's text to another process in the wide form.)
    HWND formats = GetDlgItem(w, 103);
    EXPECT_EQ(SendMessageA(formats, CB_GETCOUNT, 0, 0), 12);
    std::wstring shown;
    for (int i : {10, 11}) {
        wchar_t text[16] = {};
        SendMessageW(formats, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
        shown += std::wstring(shown.empty() ? L"" : L" ") + text;
    }
    EXPECT_TRUE(shown == L".m4a .opus");
    EXPECT_FALSE(SendMessageA(GetDlgItem(w, 89), TB_ISBUTTONENABLED, 1005, 0));  // empty list
    SetWindowPos(w, nullptr, 10, 10, 200, 100, SWP_NOZORDER);
    RECT client;
    EXPECT_TRUE(WaitFor(
        [&] { return GetClientRect(w, &client) && client.right >= 420 && client.bottom >= 240; },
        3000));
    HWND list = GetDlgItem(w, 102), bar = FindWindowExA(w, nullptr, TOOLBARCLASSNAMEA, nullptr);
    auto stopEnabled = [&] { return SendMessageA(bar, TB_ISBUTTONENABLED, 1007, 0) != 0; };
    ASSERT_TRUE(Send({dir + "\\b_short.wav"}));
    Command(w, 1008);  // select all; the first (by name) plays
    EXPECT_FALSE(stopEnabled());
    SetSetting("Settings", "SoundOutDevice", "9");  // no such device
    Command(w, 1003);
    ASSERT_TRUE(Answer("Tamber", IDOK,
                       "Cannot open the sound device for playback. Check you have selected the "
                       "correct device in the pull downlist in Settings."));
    EXPECT_FALSE(stopEnabled());
    SetSetting("Settings", "SoundOutDevice", "0");
    PostMessageA(list, WM_KEYDOWN, VK_F9, 1);
    ASSERT_TRUE(WaitFor(stopEnabled));
    ASSERT_TRUE(WaitFor([&] { return !stopEnabled(); }, 30000));
    const auto played = testutil::ReadFileBytes(capture);
    EXPECT_EQ(Sounding(played.data(), played.size()),
              Sounding(shortPcm.data(), shortPcm.size() * 2));

    ASSERT_TRUE(Send({dir + "\\a_long.wav"}));
    Command(w, 1008);
    for (int command : {1007, 1005}) {
        Command(w, 1003);
        ASSERT_TRUE(WaitFor(stopEnabled));
        Command(w, command);
        ASSERT_TRUE(WaitFor([&] { return !stopEnabled(); })) << command;
        EXPECT_LT(testutil::ReadFileBytes(capture).size(), longPcm.size() * 2) << command;
    }
    ASSERT_TRUE(WaitFor([&] {
        return testutil::ReadFileBytes(dir + "\\out\\b_short.au").size() > shortPcm.size() * 2;
    }));
    Command(w, 1003);
    ASSERT_TRUE(WaitFor(stopEnabled));
    GetWindowRect(w, &r);
    Command(w, 1006);
    EXPECT_EQ(WaitForSingleObject(processes_[0], 15000), WAIT_OBJECT_0);
    EXPECT_EQ(Setting("MainDialog", "X"), std::to_string(r.left));
    EXPECT_EQ(Setting("MainDialog", "Width"), std::to_string(r.right - r.left));
    EXPECT_EQ(Setting("Settings", "OutputFormat"), "2");
}

// Names in other scripts, with an emoji and an en dash, by every way in: a hidden start that
// converts, a start forwarded to the running window, a drop, the open dialog and the shell
// verb; each converts under its own name, showing it in the list as it is.
TEST_F(TamberGui, FileNamesInAnyScriptByEveryWayIn) {
    const std::string dir = testutil::ScratchDir(), out = dir + "\\出力";
    ASSERT_TRUE(CreateDirectoryW(LWide(out.c_str()).c_str(), nullptr));
    const std::vector<std::string> names = {"日本語の歌", "Ελληνικά", "a – b", "emoji 🎵",
                                            "Ñandú – 歌"};
    auto input = [&](size_t i) { return dir + "\\" + names[i] + ".wav"; };
    auto output = [&](size_t i) { return out + "\\" + names[i] + ".wav"; };
    auto pcm = [](size_t i) { return std::vector<int16_t>(800 * (i + 1), int16_t(100 + i)); };
    for (size_t i = 0; i < names.size(); ++i)
        ASSERT_TRUE(testutil::WriteWav16(input(i), 8000, 1, pcm(i)));
    auto converted = [&](size_t i) {
        return WaitFor([&] { return testutil::ReadWav16(output(i)).samples == pcm(i); }, 20000);
    };
    SetSetting("Settings", "OutputFormat", "0");
    SetSetting("Settings", "OutputFolder", out.c_str());

    // A hidden start converts and ends.
    HANDLE hidden = StartWith({"-hide", input(0), "-convert", "-exit"});
    ASSERT_EQ(WaitForSingleObject(hidden, 30000), WAIT_OBJECT_0);
    EXPECT_TRUE(converted(0));

    HWND w = StartMain();
    ASSERT_TRUE(w);
    HWND list = GetDlgItem(w, 102);
    Remote remote(w);
    auto listed = [&](size_t i) {
        return WaitFor([&] {
            return ListView_GetItemCount(list) == 1 && remote.ListText(list, 0) == input(i);
        });
    };
    // Forwarded to the running window.
    ASSERT_TRUE(Send({"-clear", input(1)}));
    EXPECT_TRUE(listed(1));
    Command(w, 1005);
    EXPECT_TRUE(converted(1));
    // Dropped.
    ASSERT_TRUE(Send({"-clear"}));
    remote.Drop(w, {input(2)});
    EXPECT_TRUE(listed(2));
    Command(w, 1005);
    EXPECT_TRUE(converted(2));
    // Chosen in the open dialog, the name typed into its file name box.
    ASSERT_TRUE(Send({"-clear"}));
    Command(w, 1001);
    HWND open = WaitDialog("Locate Audio File(s)");
    ASSERT_TRUE(open);
    for (int box : {0x47c, 0x480}) SetDlgItemTextW(open, box, LWide(input(3).c_str()).c_str());
    PostMessageW(open, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(listed(3));
    Command(w, 1005);
    EXPECT_TRUE(converted(3));
    // The shell's verb on the file, as Explorer runs it.
    const std::string exe = Built("tamber.exe");
    ASSERT_TRUE(ShellAddVerb(".wav", LSHELL_VERB, exe.c_str()));
    ASSERT_TRUE(Send({"-clear"}));
    const std::wstring verb = LWide(LSHELL_VERB), file = LWide(input(4).c_str());
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_NOCLOSEPROCESS;
    run.lpVerb = verb.c_str();
    run.lpFile = file.c_str();
    run.nShow = SW_SHOWNORMAL;
    const bool ran = ShellExecuteExW(&run);
    ShellRemoveVerb(".wav", LSHELL_VERB);
    ASSERT_TRUE(ran);
    if (run.hProcess) processes_.push_back(run.hProcess);
    EXPECT_TRUE(listed(4));
    Command(w, 1005);
    EXPECT_TRUE(converted(4));
    EXPECT_FALSE(WaitDialog("Tamber", 0));  // no message on the way
    // Only the outputs: no passing file left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(LFsPath(out)), {}), long(names.size()));
}

// Two entries at once in the window: a row for each in the progress dialog and one Cancel that
// stops both, leaving no partial file; in a hidden run a failing entry's message comes from its
// worker and no entry starts after it.
TEST_F(TamberGui, ParallelBatchRowsCancelAndFailure) {
    const std::string dir = testutil::ScratchDir(), out = dir + "\\out";
    ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
    RegWrite(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Components\\mp3el", "Path",
             Built("lame.exe").c_str());
    SetSetting("Settings", "Jobs", "2");
    SetSetting("Settings", "AlwaysPrompt", "0");
    SetSetting("Settings", "AlwaysOverwrite", "1");
    auto input = [&](int i) { return dir + "\\in" + std::to_string(i) + ".wav"; };
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(testutil::WriteWav16(input(i), 44100, 2,
                                         testutil::ToneMix(44100, 2, 44100 * (i == 1 ? 1 : 40))));
    auto outputs = [&] {
        std::set<std::string> names;
        for (const auto& f : fs::directory_iterator(LFsPath(out)))
            names.insert(f.path().filename().string());
        return names;
    };
    HWND w = StartMain();
    ASSERT_TRUE(w);
    ASSERT_TRUE(Send({"-format", ".mp3", "-outfolder", out, input(0), input(2), input(3)}));
    Command(w, 1005);
    HWND progress = WaitDialog("Saving Audio File");
    ASSERT_TRUE(progress);
    EXPECT_TRUE(WaitFor([&] { return Text(GetDlgItem(progress, 201)) == "in2.wav"; }) ||
                Text(GetDlgItem(progress, 200)) == "in2.wav");
    PostMessageW(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(progress); }));
    EXPECT_TRUE(WaitFor([&] { return outputs().empty(); }, 5000));  // no passing file stays
    PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitFor([] { return MainWindow() == nullptr; }));

    // Hidden: the unreadable second entry ends the batch; the first is complete.
    testutil::WriteFileBytes(input(2), {'R', 'I', 'F', 'F', 1, 0, 0, 0, 'W', 'A', 'V', 'E'});
    HANDLE hidden = StartWith({"-hide", "-format", ".mp3", "-outfolder", out, input(1), input(2),
                               input(3), input(0), "-convert", "-exit"});
    EXPECT_TRUE(Answer("Error", IDOK));
    EXPECT_EQ(WaitForSingleObject(hidden, 30000), WAIT_OBJECT_0);
    SetSetting("Settings", "Jobs", nullptr);
    const std::set<std::string> written = outputs();
    EXPECT_TRUE(written.count("in1.mp3"));
    for (const std::string& name : written) EXPECT_NE(name[0], '~') << name;
}

// One control as the program reported it (support/win32/layoutreport.h).
struct Placed {
    std::string window, kind;
    int id = 0;
    unsigned long style = 0;
    RECT r{};
    long width = 0, height = 0, wrapped = 0;
};

// The last report of each window's controls.
std::map<std::string, std::map<int, Placed>> ReadLayout(const std::string& path) {
    std::map<std::string, std::map<int, Placed>> windows;
    const auto bytes = testutil::ReadFileBytes(path);
    std::string all(bytes.begin(), bytes.end()), line;
    for (size_t at = 0, end; at < all.size(); at = end + 1) {
        end = all.find('\n', at);
        if (end == std::string::npos) end = all.size();
        line = all.substr(at, end - at);
        std::vector<std::string> f;
        for (size_t a = 0, b; a <= line.size(); a = b + 1) {
            b = line.find('|', a);
            if (b == std::string::npos) b = line.size();
            f.push_back(line.substr(a, b - a));
        }
        if (f.size() != 7) continue;
        Placed p{f[0], f[1], std::atoi(f[2].c_str()), std::stoul(f[3])};
        std::sscanf(f[4].c_str(), "%ld %ld %ld %ld", &p.r.left, &p.r.top, &p.r.right, &p.r.bottom);
        std::sscanf(f[5].c_str(), "%ld %ld", &p.width, &p.height);
        p.wrapped = std::atol(f[6].c_str());
        windows[p.window][p.id] = p;
    }
    return windows;
}

// What is wrong with a window's layout: texts that do not fit their controls, controls that
// overlap (group boxes and frames hold others and are left out of that).
std::vector<std::string> LayoutFaults(const std::map<int, Placed>& controls, int dpi) {
    std::vector<std::string> faults;
    const auto say = [&](const Placed& c, const std::string& what) {
        faults.push_back(c.window + " #" + std::to_string(c.id) + " (" + c.kind + "): " + what);
    };
    const auto container = [](const Placed& c) {
        return (c.kind == "Button" && (c.style & 0xF) == BS_GROUPBOX) ||
               (c.kind == "Static" && (c.style & SS_TYPEMASK) >= SS_BLACKRECT &&
                (c.style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP);
    };
    for (const auto& [id, c] : controls) {
        const long w = c.r.right - c.r.left, h = c.r.bottom - c.r.top;
        const unsigned long type = c.style & 0xF;
        if (c.kind == "Static" && (c.style & SS_TYPEMASK) <= SS_RIGHT && c.wrapped > h)
            say(c, "text needs " + std::to_string(c.wrapped) + " of " + std::to_string(h));
        if (c.kind == "Static" && (c.style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP && c.width > w)
            say(c, "text cut");
        if (c.kind == "Button" && type <= BS_DEFPUSHBUTTON && (c.width + 4 > w || c.height > h))
            say(c, "caption cut");
        const bool check = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX ||
                           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON ||
                           type == BS_3STATE || type == BS_AUTO3STATE;
        if (c.kind == "Button" && check && !(c.style & BS_MULTILINE) &&
            c.width + MulDiv(16, dpi, 96) > w)
            say(c, "caption cut");
        for (const auto& [otherId, o] : controls) {
            if (otherId <= id || container(c) || container(o)) continue;
            RECT both;
            if (IntersectRect(&both, &c.r, &o.r)) say(c, "overlaps #" + std::to_string(otherId));
        }
    }
    return faults;
}

void SetDpi(DWORD dpi) {
    for (auto [root, key] : {std::pair{HKEY_CURRENT_USER, L"Control Panel\\Desktop"},
                             {HKEY_LOCAL_MACHINE,
                              L"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software"
                              L"\\Fonts"}})
        RegSetKeyValueW(root, key, L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
}

// How long a dialog may take to come up on a machine loaded by the suites running side by side.
constexpr int kFirstAtScaleMs = 60000;

// At 100, 150 and 200 %: the main window, the settings sheet's pages, the encoder dialogs, the
// tag editor and the progress dialog, each control's text fitting it and none overlapping.
TEST_F(TamberGui, EveryWindowFitsItsTextsAtAnyScale) {
    const std::string dir = testutil::ScratchDir(), report = dir + "\\layout.txt";
    const std::string wav = dir + "\\song.wav";
    ASSERT_TRUE(testutil::WriteWav16(wav, 8000, 1, std::vector<int16_t>(8000, 100)));
    SetSetting("Settings", "OutputFolder", dir.c_str());
    SetSetting("Settings", "AlwaysPrompt", "0");
    SetSetting("Settings", "AlwaysOverwrite", "1");
    SetEnvironmentVariableA("TAMBER_LAYOUT_REPORT", report.c_str());
    long lastBar = 0;
    for (int dpi : {96, 144, 192}) {
        SCOPED_TRACE(dpi);
        DeleteFileA(report.c_str());
        SetDpi(DWORD(dpi));
        HWND w = StartMain();
        ASSERT_TRUE(w);
        HANDLE mainProcess = processes_.back();
        SetWindowPos(w, nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER);  // its smallest
        ASSERT_TRUE(Send({wav}));
        Command(w, 1004);
        HWND sheet = WaitDialog("Settings", kFirstAtScaleMs);
        ASSERT_TRUE(sheet);
        for (int page = 2; page >= 0; --page) SendMessageA(sheet, PSM_SETCURSEL, page, 0);
        PostMessageA(sheet, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(WaitFor([&] { return !IsWindow(sheet); }));
        for (auto [format, caption] : {std::pair{".mp3", "MP3 Encoder Settings"},
                                       {".ogg", "Ogg Encoder Settings"},
                                       {".m4a", "AAC / M4A Encoder Settings"},
                                       {".flac", "Flac Encoder Settings"}}) {
            ASSERT_TRUE(Send({"-format", format}));
            Command(w, 108);
            ASSERT_TRUE(Answer(caption, IDCANCEL, "", kFirstAtScaleMs)) << caption;
        }
        ASSERT_TRUE(Send({"-format", ".au"}));
        Command(w, 1008);
        Command(w, 1009);
        ASSERT_TRUE(Answer("Edit Audio Tags", IDCANCEL, "", kFirstAtScaleMs));
        Command(w, 1005);
        ASSERT_TRUE(WaitFor([&] { return fs::exists(dir + "\\song.au"); }));
        // The window is gone before the next scale's starts, which it would take otherwise.
        Command(w, 1006);
        ASSERT_EQ(WaitForSingleObject(mainProcess, 30000), WAIT_OBJECT_0);
        ASSERT_TRUE(WaitFor([] { return MainWindow() == nullptr; }));
        auto windows = ReadLayout(report);
        for (const char* name :
             {"Tamber Plus", "General", "Overwrite", "Formats", "MP3 Encoder Settings",
              "Ogg Encoder Settings", "AAC / M4A Encoder Settings", "Flac Encoder Settings",
              "Edit Audio Tags", "Saving Audio File"})
            EXPECT_TRUE(windows.count(name)) << name;
        for (const auto& [name, controls] : windows)
            for (const std::string& fault : LayoutFaults(controls, dpi)) ADD_FAILURE() << fault;
        fs::remove(dir + "\\song.au");
        // The scale took: the toolbar (images and labels) grows with it.
        const auto& main = windows["Tamber Plus"];
        const long bar = main.count(89) ? main.at(89).r.bottom : 0;
        EXPECT_GT(bar, lastBar) << dpi;
        lastBar = bar;
    }
    SetEnvironmentVariableA("TAMBER_LAYOUT_REPORT", nullptr);
    SetDpi(96);
}

}  // namespace
