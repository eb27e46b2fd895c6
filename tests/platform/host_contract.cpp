#include "tests/platform/host_contract.h"

#include <gtest/gtest.h>

namespace hosttest {

platform::DialogSpec Layout(const char* title, int enterLine) {
    platform::DialogSpec layout;
    layout.title = title;
    layout.controls = kTable;
    layout.width = 140;
    layout.height = 175;
    layout.enterAppendsLineTo = enterLine;
    return layout;
}

void ExpectControlsByIdKeepTheWindowsTerms(platform::DialogHost& host, const WindowView& view) {
    using Items = std::vector<std::string>;
    EXPECT_EQ(host.Text(1), "OK");
    host.SetText(20, "姓名");
    EXPECT_EQ(host.Text(20), "姓名");
    host.SetText(26, "one\ntwo");
    EXPECT_EQ(host.Text(26), "one\ntwo");

    host.SetChecked(10, true);
    host.SetChecked(11, true);
    EXPECT_FALSE(host.Checked(10));
    EXPECT_TRUE(host.Checked(11));

    // Sorted adds keep "nothing selected"; inserts go where they are told.
    for (const char* item : {"3行", "1行", "2行"}) host.AddItem(22, item);
    EXPECT_EQ(view.items(22), (Items{"1行", "2行", "3行"}));
    EXPECT_EQ(host.Position(22), -1);
    EXPECT_EQ(host.Text(22), "");
    host.Select(22, 1);
    EXPECT_EQ(host.Text(22), "2行");
    EXPECT_EQ(host.AddItem(22, "0行"), 0);
    EXPECT_EQ(host.Position(22), 2);  // the selected item moved down
    host.SetText(22, "typed");
    EXPECT_EQ(host.Text(22), "typed");
    host.InsertItem(23, 0, "b");
    host.InsertItem(23, 0, "c");   // at the given place, whatever the sorting
    host.InsertItem(23, 99, "z");  // out of range: at the end
    EXPECT_EQ(host.AddItem(23, "a"), 0);
    EXPECT_EQ(view.items(23), (Items{"a", "c", "b", "z"}));
    host.Select(23, 2);
    EXPECT_EQ(host.Position(23), 2);
    host.ResetList(23);
    EXPECT_TRUE(view.items(23).empty());
    EXPECT_EQ(host.Position(23), -1);
    host.ResetList(22);
    EXPECT_TRUE(view.items(22).empty());
    EXPECT_EQ(host.Text(22), "");

    EXPECT_EQ(host.Octets(24), (std::array<uint8_t, 4>{0, 0, 0, 0}));  // empty fields
    host.SetOctets(24, {10, 0, 0, 199});
    EXPECT_EQ(host.Octets(24), (std::array<uint8_t, 4>{10, 0, 0, 199}));
    EXPECT_EQ(host.Text(24), "10.0.0.199");
    host.SetProgress(25, 40);
    EXPECT_EQ(view.progress(25), 40);
    host.Enable(3, false);
    EXPECT_FALSE(view.enabled(3));
    host.Enable(3, true);
    EXPECT_TRUE(view.enabled(3));
    EXPECT_EQ(host.Text(999), "");  // unknown ids are harmless
    host.SetText(999, "x");
    host.Select(999, 0);
    EXPECT_EQ(host.Position(999), -1);
}

}  // namespace hosttest
