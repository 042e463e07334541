// The engine runs under Windows (Wine): base classes and sample scale.
#include <gtest/gtest.h>

#include "core/sound.h"

TEST(Win32Smoke, PlaceholderSourceIsSilent) {
    LSourceRef src(new LSRCNull(1));
    int32_t buf[16] = {1};
    src->Read(buf, 16);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(src->GetError(), 1);
}
