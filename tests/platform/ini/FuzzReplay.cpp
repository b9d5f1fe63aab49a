// Replays a fuzz target's seed corpus and every input it once failed on
// (tests/data/fuzz-regressions/<name>/) through the target's own checks, in
// the normal test build. MV_FUZZ_NAME names the target, MV_FUZZ_SUITE the
// test suite.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ini/TestFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(MV_FUZZ_SUITE, SeedsAndRegressions)
{
    int replayed = 0;
    for (const char* dir : {MV_SOURCE_DIR "/fuzz/corpus/" MV_FUZZ_NAME,
                            MV_TEST_DATA_DIR "/fuzz-regressions/" MV_FUZZ_NAME}) {
        if (!std::filesystem::is_directory(dir))
            continue;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (!entry.is_regular_file())
                continue;
            const std::string bytes = mv::test::ReadFileBytes(entry.path().string());
            // The target aborts on a failed check; the input is named first.
            std::fprintf(stderr, "replaying %s\n", entry.path().c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0) << "no seed or regression input for " MV_FUZZ_NAME;
}

} // namespace
