// SPDX-License-Identifier: GPL-3.0-or-later
// The window's kept size: read back as written, ignored when unreadable or when it does not fit.
#include "app/window_state.h"

#include <gtest/gtest.h>

#include "fakes/fakes.h"

TEST(WindowState, KeptAcrossStartsAndGivenBackOnlyWhereItFits) {
    fakes::MemorySettings settings;
    EXPECT_FALSE(app::readWindowState(settings));
    app::writeWindowState(settings, {1500, 900, true});
    auto kept = app::readWindowState(settings);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->width, 1500);
    EXPECT_EQ(kept->height, 900);
    EXPECT_TRUE(kept->maximized);

    for (const char* bad : {"", "12px", "-5", "0", "99999999999"}) {
        settings.values["window-width"] = bad;
        EXPECT_FALSE(app::readWindowState(settings)) << bad;
    }

    struct Case {
        int w, h;
        bool fits;
    } cases[] = {{1500, 900, true}, {1920, 1080, true}, {2560, 1400, false}, {1500, 1200, false}, {800, 700, false}};
    for (const auto& c : cases)
        EXPECT_EQ(app::fitsMonitor({c.w, c.h, false}, 1920, 1080, 900, 650), c.fits) << c.w << "x" << c.h;
}
