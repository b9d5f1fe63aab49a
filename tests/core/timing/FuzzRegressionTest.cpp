// Replays every input the time-expression fuzzer once found failing
// (tests/data/fuzz-regressions/timeexpr/) with the fuzzer's own checks.

#include "TimeExprCheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace mv {
namespace {

TEST(FuzzRegression, TimeExpressionInputs) {
    const std::filesystem::path dir =
        std::filesystem::path(MV_TEST_DATA_DIR) / "fuzz-regressions" / "timeexpr";
    int replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(CheckTimeExpressionInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size()),
                  "");
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace mv
