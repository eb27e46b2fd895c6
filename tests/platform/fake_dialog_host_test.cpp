// The presenters' test window (FakeDialogHost) against what the window backends do with the same
// table: its lists, texts and fields behave as theirs, so the presenter tests mean something.

#include "tests/fakes/fake_dialog_host.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/platform/host_contract.h"

namespace {

TEST(FakeDialogHost, KeepsTheControlsAsTheWindowBackendsDo) {
    fakes::FakeDialogHost host(hosttest::Layout("Host"));
    hosttest::WindowView view;
    view.items = [&](int id) { return host.Items(id); };
    view.progress = [&](int id) { return host.Progress(id); };
    view.enabled = [&](int id) { return host.Enabled(id); };
    hosttest::ExpectControlsByIdKeepTheWindowsTerms(host, view);
    EXPECT_EQ(host.UnknownIds(), std::vector<int>(4, 999));
}

}  // namespace
