#pragma once
// What every window backend does with the same control table through DialogHost alone: texts,
// radio groups, sorted and placed list items, selections, IPv4 fields, the bar, enabling and
// unknown ids. Each backend's test runs it on its real window and shows what the window holds
// through a view of its own.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialog_host.h"

namespace hosttest {

using K = platform::ControlKind;

// 1 the default button, 3 a button, 10/11 radios, 12 a check box, 20 a label named by 21's
// buddy, 22 a sorted editable combo box, 23 a sorted list box, 24 an IPv4 control, 25 a bar,
// 26 a multi-line edit, 27 a live label, 28 a hidden button, and a frame without an id.
inline constexpr std::array<platform::ControlDef, 15> kTable{{
    {1, K::DefaultButton, "OK", 5, 5, 40, 12},
    {3, K::Button, "Quit", 50, 5, 40, 12},
    {10, K::RadioButton, "A", 5, 20, 30, 10},
    {11, K::RadioButton, "B", 40, 20, 30, 10},
    {12, K::CheckBox, "Auto", 80, 20, 40, 10},
    {20, K::Label, "Name", 5, 35, 30, 9},
    {21, K::Edit, nullptr, 40, 35, 60, 12, 0, 20},
    {22, K::DropDownCombo, nullptr, 5, 50, 60, 60, platform::kSorted, 0, "Lines"},
    {23, K::ListBox, nullptr, 70, 50, 60, 40, platform::kSorted, 0, "Devices"},
    {24, K::Ipv4Edit, nullptr, 5, 95, 100, 13, 0, 0, "Address"},
    {25, K::ProgressBar, nullptr, 5, 110, 100, 10, 0, 0, "Progress"},
    {26, K::MultiLineEdit, nullptr, 5, 125, 120, 30, 0, 0, "Text"},
    {27, K::Label, nullptr, 5, 160, 120, 9, platform::kLiveText, 0, "Status"},
    {28, K::Button, "Hidden", 100, 5, 30, 12, platform::kHidden},
    {platform::kNoId, K::GroupBox, "Frame", 2, 2, 136, 30},
}};

// A window of kTable: 140 x 175 dialog units, `enterLine` its Enter rule's edit (0: none).
platform::DialogSpec Layout(const char* title, int enterLine = 0);

// A presenter made of lambdas that counts how its window ended.
struct Probe : platform::DialogPresenter {
    std::function<void(platform::DialogHost&)> attach;
    std::vector<int> closed;
    void Attach(platform::DialogHost& host) override {
        if (attach) attach(host);
    }
    void Closed(int result) override { closed.push_back(result); }
};

// What the window itself shows, read past DialogHost.
struct WindowView {
    std::function<std::vector<std::string>(int list)> items;
    std::function<int(int bar)> progress;
    std::function<bool(int id)> enabled;
};

// Works the controls of a window built from kTable; leaves them changed.
void ExpectControlsByIdKeepTheWindowsTerms(platform::DialogHost& host, const WindowView& view);

}  // namespace hosttest
