// Tessary.exe and Brindel.exe as a GUI robot drives them under Wine, control by control: Tessary
// with "NET" sends its test page, two one-click commands and a settings-dialog row to a printer on
// a loopback address, byte for byte; Brindel lists the virtual printer (pos-printer-sim.exe) its
// discovery finds and downloads an image the printer checks; a second copy of either ends at
// once. The installed programs (after the installer's silent run) start from their Start-menu
// entries' folder and go with the uninstaller.

#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "netcfg/udp_socket.h"
#include "tests/commands/one_click_expected.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/fakes/temp_folder.h"
#include "tests/windows/gui_robot_win32.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using robot::Click;
using robot::Program;

constexpr auto kStart = 30s;  // a program's first window under a cold Wine

// A recording printer on TCP port 9100 of a loopback address of its own (127.a.b.c), as Tessary
// reaches a network printer; another address is tried when one is taken.
struct NetworkPrinter {
    NetworkPrinter() {
        std::mt19937 random(static_cast<unsigned>(GetTickCount()) ^ GetCurrentProcessId());
        for (int attempt = 0; attempt < 50 && !(peer && peer->ok()); ++attempt) {
            address = {127, static_cast<uint8_t>(100 + random() % 100),
                       static_cast<uint8_t>(1 + random() % 250),
                       static_cast<uint8_t>(1 + random() % 250)};
            peer = std::make_unique<fakes::TcpPrinterPeer>(address, 9100);
        }
    }
    // The bytes of command `index` (one connection each), once the sender has closed it; the
    // status questions asked after a test page are no command.
    std::optional<Bytes> Command(std::size_t index) {
        if (!robot::WaitUntil([&] { return fakes::DeliveredCommands(*peer).size() > index; }, 20s))
            return std::nullopt;
        return fakes::DeliveredCommands(*peer)[index];
    }
    printerlink::Ipv4Address address{};
    std::unique_ptr<fakes::TcpPrinterPeer> peer;
};

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A working folder of the test's own, removed after the programs in it have ended (declared
// before them).
struct WorkFolder {
    explicit WorkFolder(const char* prefix) : path(fakes::NewTempFolder(prefix)) {}
    ~WorkFolder() {
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
    const std::filesystem::path path;
};

// A free UDP port on loopback (bound once and let go).
uint16_t FreeUdpPort() {
    return netcfg::UdpSocket::BindAny(0).LocalPort();
}

TEST(TessaryExe, SendsItsCommandsToANetworkPrinterByteExact) {
    NetworkPrinter printer;
    ASSERT_TRUE(printer.peer && printer.peer->ok());
    const WorkFolder folder("tessary-exe-");
    const std::filesystem::path& work = folder.path;
    ASSERT_FALSE(work.empty());
    Program tessary(robot::WindowsPath(TESSARY_EXE), L"--reply-port=0", work);
    ASSERT_TRUE(tessary.ok());
    const HWND main = robot::WaitForDialog(tessary.Id(), L"打印机测试工具V2.1", kStart);
    ASSERT_NE(main, nullptr);

    // "NET" and the printer's address, as a user sets them.
    Click(main, 1002);
    EXPECT_EQ(robot::Send(GetDlgItem(main, 1002), BM_GETCHECK), BST_CHECKED);
    EXPECT_EQ(robot::Send(GetDlgItem(main, 1001), BM_GETCHECK), BST_UNCHECKED);
    const auto& a = printer.address;
    robot::Send(GetDlgItem(main, 1009), IPM_SETADDRESS, 0, MAKEIPADDRESS(a[0], a[1], a[2], a[3]));

    // "print test": the welcome text as it stands in the edit, CR LF line ends, nothing else.
    Click(main, 1003);
    const std::string welcome =
        "Welcome to use the needle printing and thermal series printers produced \r\n"
        "by professional POS invoice printing companies!\r\n";
    EXPECT_EQ(printer.Command(0), Bytes(welcome.begin(), welcome.end()));
    EXPECT_EQ(robot::Text(GetDlgItem(main, 1031)), L"send finish count 1 ");
    // Then the printer is asked its status on a connection of its own: the recorder leaves
    // DLE EOT 1 unanswered, so nothing more is asked and the status line stays.
    ASSERT_TRUE(printer.peer->WaitForClosed(2, 20s));
    EXPECT_EQ(printer.peer->Connections()[1].bytes, (Bytes{0x10, 0x04, 0x01}));
    EXPECT_EQ(robot::Text(GetDlgItem(main, 1031)), L"send finish count 1 ");

    // Two one-click commands: "cut test" and the cash drawer's "open".
    std::size_t next = 1;
    for (const commandstest::ExpectedOneClick& command : commandstest::kExpectedOneClick) {
        if (command.button != 1004 && command.button != 1005) continue;
        Click(main, command.button);
        EXPECT_EQ(printer.Command(next++), command.bytes) << command.button;
    }

    // The settings dialog over the main window: density 3 with its "Confirm".
    robot::ClickAndGoOn(main, 1006);
    const HWND settings = robot::WaitForDialogOver(main, 10s);
    ASSERT_NE(settings, nullptr);
    EXPECT_FALSE(IsWindowEnabled(main));
    robot::Send(GetDlgItem(settings, 1025), CB_SETCURSEL, 3);
    Click(settings, 1005);
    EXPECT_EQ(printer.Command(next++), (Bytes{0x1F, 0x1B, 0x01, 0x00, 0x00, 0x00, 0x03}));
    PostMessageW(settings, WM_CLOSE, 0, 0);
    EXPECT_TRUE(robot::WaitUntil([&] { return IsWindowEnabled(main) != 0; }, 10s));
    EXPECT_EQ(printer.peer->ConnectionCount(), next + 1);  // nothing else was sent

    // The close box ends the program.
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(tessary.WaitForExit(10s), std::optional<DWORD>(0));
    EXPECT_EQ(ReadFile(work / "init_params.txt"), "0\r\n");  // started in its folder
}

TEST(BrindelExe, DownloadsFirmwareToTheVirtualPrinterItLists) {
    const WorkFolder folder("brindel-exe-");
    const std::filesystem::path& work = folder.path;
    ASSERT_FALSE(work.empty());
    {
        // An image of three blocks, the last one short.
        std::ofstream image(work / "FWIMAGE_80.bin", std::ios::binary);
        for (int i = 0; i < 1300; ++i) image.put(static_cast<char>((i * 7 + 3) & 0xFF));
    }
    // The virtual printer on an address of its own with the printers' port 9100, answering
    // discovery on loopback to Brindel's reply port.
    NetworkPrinter free;  // finds an address whose port 9100 is free
    ASSERT_TRUE(free.peer && free.peer->ok());
    const auto a = free.address;
    free.peer.reset();
    const std::wstring address = std::to_wstring(a[0]) + L"." + std::to_wstring(a[1]) + L"." +
                                 std::to_wstring(a[2]) + L"." + std::to_wstring(a[3]);
    const uint16_t discovery = FreeUdpPort(), reply = FreeUdpPort();
    const std::filesystem::path simOutput = work / "sim.txt";
    Program sim(robot::WindowsPath(SIM_EXE),
                L"--address " + address + L" --tcp-port 9100 --udp-port " +
                    std::to_wstring(discovery) + L" --reply-port " + std::to_wstring(reply),
                work, simOutput);
    ASSERT_TRUE(sim.ok());
    ASSERT_TRUE(robot::WaitUntil(
        [&] { return ReadFile(simOutput).find("discovery answered on") != std::string::npos; },
        kStart))
        << ReadFile(simOutput);

    Program brindel(robot::WindowsPath(BRINDEL_EXE),
                    L"--reply-port=" + std::to_wstring(reply) + L" --broadcast=127.0.0.1:" +
                        std::to_wstring(discovery),
                    work);
    ASSERT_TRUE(brindel.ok());
    const HWND main = robot::WaitForDialog(brindel.Id(), L"Ledvane", kStart);
    ASSERT_NE(main, nullptr);
    const HWND list = GetDlgItem(main, 1019);
    ASSERT_TRUE(robot::WaitUntil([&] { return robot::Send(list, LB_GETCOUNT) > 0; }, 20s));
    wchar_t line[64] = {};
    robot::Send(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(line));
    EXPECT_EQ(std::wstring(line), L"(1.0)" + address + L".");

    // Its line selected, "网络升级".
    robot::Send(list, LB_SETCURSEL, 0);
    Click(main, 1012);
    EXPECT_TRUE(robot::WaitUntil(
        [&] { return ReadFile(simOutput).find("checksum ok") != std::string::npos; }, 30s))
        << ReadFile(simOutput);
    EXPECT_NE(ReadFile(simOutput).find("firmware download: 3 blocks"), std::string::npos)
        << ReadFile(simOutput);
    const HWND done = robot::WaitForDialogOver(main, 20s);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(robot::StaticTexts(done), L"网络下载数据完成");
    EXPECT_EQ(robot::Text(done), L"Ledvane");
    PostMessageW(done, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(robot::Send(GetDlgItem(main, 1000), PBM_GETPOS), 100);

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(brindel.WaitForExit(10s), std::optional<DWORD>(0));
}

// A second copy finds the reply port taken and ends with status 0 before its window shows; an
// unknown option ends with status 2. Neither touches its folder.
TEST(BothExes, EndWithoutAWindowOnATakenReplyPortOrAnUnknownOption) {
    const netcfg::UdpSocket held = netcfg::UdpSocket::BindAny(0);
    ASSERT_TRUE(held.IsValid());
    const WorkFolder folder("second-copy-");
    for (const char* exe : {TESSARY_EXE, BRINDEL_EXE}) {
        Program second(robot::WindowsPath(exe),
                       L"--reply-port=" + std::to_wstring(held.LocalPort()), folder.path);
        EXPECT_EQ(second.WaitForExit(kStart), std::optional<DWORD>(0)) << exe;
        Program unknown(robot::WindowsPath(exe), L"--bogus", folder.path);
        EXPECT_EQ(unknown.WaitForExit(kStart), std::optional<DWORD>(2)) << exe;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.path));
}

// The Start-menu folder of the programs, for every user.
std::filesystem::path MenuFolder() {
    wchar_t programs[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs))) return {};
    return std::filesystem::path(programs) / L"Tessary and Brindel";
}

// A Start-menu entry's target, its arguments and the folder it starts in.
struct Shortcut {
    std::wstring target, arguments, folder;
};
std::optional<Shortcut> ReadShortcut(const std::wstring& name) {
    const std::wstring file = (MenuFolder() / (name + L".lnk")).wstring();
    CoInitialize(nullptr);
    std::optional<Shortcut> shortcut;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* persist = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
            if (SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
                wchar_t target[MAX_PATH] = {}, arguments[MAX_PATH] = {}, folder[MAX_PATH] = {};
                link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
                link->GetArguments(arguments, MAX_PATH);
                link->GetWorkingDirectory(folder, MAX_PATH);
                shortcut = Shortcut{target, arguments, folder};
            }
            persist->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return shortcut;
}

// The installed programs' user: a profile folder of the tests' own in the prefix's temporary
// folder (Wine links the real user's Documents to the home folder, which a test must not touch).
// Set once for this process and what it starts; the Start-menu entries' %USERPROFILE% is this.
void UseTestProfile() {
    static const bool done = [] {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        const std::filesystem::path profile = std::filesystem::path(temp) / L"pos-installed-user";
        std::filesystem::create_directories(profile / L"Documents");
        return SetEnvironmentVariableW(L"USERPROFILE", profile.c_str()) != 0;
    }();
    EXPECT_TRUE(done);
}

// The user's Documents folder, as the Start-menu entries name it.
std::filesystem::path Documents() {
    UseTestProfile();
    wchar_t documents[MAX_PATH] = {};
    ExpandEnvironmentStringsW(L"%USERPROFILE%\\Documents", documents, MAX_PATH);
    return documents;
}

// Run by the installer's test after a silent install into POS_INSTALLED (a Windows path): the
// "Virtual printer" entry starts the simulator in the user's Documents folder, printing into
// Documents\Receipts, where the installed tessary-cli.exe's test page becomes a picture, with its
// console on a free loopback port named in its first lines. (A free TCP port is added to the
// entry's arguments: 9100 may be taken on the test machine.)
TEST(InstalledPrograms, TheVirtualPrinterPrintsIntoDocumentsReceipts) {
    const char* installed = std::getenv("POS_INSTALLED");
    if (installed == nullptr) GTEST_SKIP() << "no installed copy (POS_INSTALLED)";
    const std::filesystem::path bin = std::filesystem::path(robot::WindowsPath(installed)) / L"bin";
    const std::optional<Shortcut> shortcut = ReadShortcut(L"Virtual printer");
    ASSERT_TRUE(shortcut.has_value());
    EXPECT_EQ(_wcsicmp(shortcut->target.c_str(), (bin / L"pos-printer-sim.exe").c_str()), 0)
        << shortcut->target;
    EXPECT_EQ(shortcut->arguments, L"--receipts Receipts --http 127.0.0.1:0");
    EXPECT_EQ(shortcut->folder, L"%USERPROFILE%\\Documents");
    UseTestProfile();
    wchar_t expanded[MAX_PATH] = {};
    ExpandEnvironmentStringsW(shortcut->folder.c_str(), expanded, MAX_PATH);
    const std::filesystem::path documents = expanded;
    const std::filesystem::path receipts = documents / L"Receipts";
    std::error_code ignored;
    std::filesystem::remove_all(receipts, ignored);  // an earlier run's

    const WorkFolder work("virtual-printer-");
    const std::filesystem::path output = work.path / "sim.txt";
    Program sim(shortcut->target, shortcut->arguments + L" --tcp-port 0 --udp-port 0", documents,
                output);
    ASSERT_TRUE(sim.ok());
    ASSERT_TRUE(robot::WaitUntil(
        [&] { return ReadFile(output).find("(this computer only)") != std::string::npos; }, kStart))
        << ReadFile(output);
    const std::string lines = ReadFile(output);
    EXPECT_NE(lines.find("receipts go to " + (receipts / "index.html").string()), std::string::npos)
        << lines;
    EXPECT_NE(lines.find("sim console at http://127.0.0.1:"), std::string::npos) << lines;
    const std::size_t at = lines.find("listening on TCP port ");
    ASSERT_NE(at, std::string::npos) << lines;
    const std::wstring port = std::to_wstring(std::atoi(lines.c_str() + at + 22));

    Program cli((bin / L"tessary-cli.exe").wstring(), L"print --to net:127.0.0.1:" + port,
                work.path);
    EXPECT_EQ(cli.WaitForExit(30s), std::optional<DWORD>(0));
    EXPECT_TRUE(robot::WaitUntil(
        [&] { return ReadFile(output).find("paper: receipt-0001.png, 576 ") != std::string::npos; },
        20s))
        << ReadFile(output);
    const std::string picture = ReadFile(receipts / "receipt-0001.png");
    ASSERT_GE(picture.size(), 24u);
    EXPECT_EQ(picture.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8));
    EXPECT_EQ(picture.substr(16, 4), std::string("\0\0\x02\x40", 4)) << "576 dots wide";
    EXPECT_TRUE(
        robot::WaitUntil([&] { return std::filesystem::exists(receipts / "index.html"); }, 10s));
}

// Run by the installer's test after a silent install into POS_INSTALLED (a Windows path): the
// programs start in the user's Documents folder from their Start-menu entries, and the silent
// uninstaller takes them and their entries away, leaving the receipts.
TEST(InstalledPrograms, StartFromTheirEntriesAndGoWithTheUninstaller) {
    const char* installed = std::getenv("POS_INSTALLED");
    if (installed == nullptr) GTEST_SKIP() << "no installed copy (POS_INSTALLED)";
    const std::filesystem::path root = robot::WindowsPath(installed);
    const std::wstring bin = (root / L"bin").wstring() + L"\\";
    struct Case {
        const wchar_t* entry;
        const wchar_t* exe;
        const wchar_t* title;
    };
    for (const Case& c : {Case{L"Tessary", L"Tessary.exe", L"打印机测试工具V2.1"},
                          Case{L"Brindel", L"Brindel.exe", L"Ledvane"}}) {
        const std::optional<Shortcut> shortcut = ReadShortcut(c.entry);
        ASSERT_TRUE(shortcut.has_value()) << c.entry;
        EXPECT_EQ(_wcsicmp(shortcut->target.c_str(), (bin + c.exe).c_str()), 0) << shortcut->target;
        EXPECT_EQ(shortcut->folder, L"%USERPROFILE%\\Documents");
        // Started as the shell starts the entry: in the folder it names, for this user.
        UseTestProfile();
        wchar_t folder[MAX_PATH] = {};
        ExpandEnvironmentStringsW(shortcut->folder.c_str(), folder, MAX_PATH);
        std::filesystem::create_directories(folder);
        Program program(shortcut->target, L"--reply-port=0", folder);
        ASSERT_TRUE(program.ok()) << c.entry;
        const HWND main = robot::WaitForDialog(program.Id(), c.title, kStart);
        ASSERT_NE(main, nullptr) << c.entry;
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(program.WaitForExit(10s), std::optional<DWORD>(0)) << c.entry;
    }
    // Tessary keeps its language file in that folder.
    EXPECT_TRUE(std::filesystem::exists(Documents() / "init_params.txt"));

    // In place (_?=, unquoted and last): the uninstaller otherwise copies itself away and
    // returns before it has done its work.
    Program uninstaller((root / L"Uninstall.exe").wstring(), L"/S _?=" + root.wstring(),
                        root.parent_path());
    ASSERT_TRUE(uninstaller.ok());
    EXPECT_EQ(uninstaller.WaitForExit(60s), std::optional<DWORD>(0));
    for (const wchar_t* file :
         {L"bin\\Tessary.exe", L"bin\\Brindel.exe", L"bin\\tessary-cli.exe",
          L"bin\\pos-printer-sim.exe", L"bin\\fonts", L"licenses", L"README.txt"})
        EXPECT_FALSE(std::filesystem::exists(root / file)) << "left: " << root.string() << file;
    EXPECT_FALSE(std::filesystem::exists(MenuFolder()));
    // The receipts are the user's: they stay.
    EXPECT_TRUE(std::filesystem::exists(Documents() / "Receipts" / "receipt-0001.png"));
    std::error_code ignored;
    std::filesystem::remove_all(Documents().parent_path(), ignored);
}

}  // namespace
