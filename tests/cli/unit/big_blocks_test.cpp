// Reused image-sized blocks: a freed large block serves the next large
// request that fits, and contents survive growth.
#include <gtest/gtest.h>

#include <cstring>

#include "cli/big_blocks.h"

namespace {

TEST(CliBigBlocks, FreedLargeBlockIsReusedForAFittingRequest)
{
    const size_t mib = 1 << 20;
    void* a = big_alloc(3 * mib);
    ASSERT_NE(a, nullptr);
    std::memset(a, 1, 3 * mib);
    big_free(a);
    void* b = big_alloc(2 * mib);  // fits in the kept 3 MiB block
    EXPECT_EQ(b, a);
    void* c = big_alloc(4 * mib);  // does not
    EXPECT_NE(c, a);
    big_free(b);
    big_free(c);
    // The smallest kept block that fits is chosen.
    void* d = big_alloc(3 * mib);
    EXPECT_EQ(d, a);
    big_free(d);
}

TEST(CliBigBlocks, ReallocKeepsContentsAcrossSizes)
{
    char* p = (char*)big_alloc(10);
    std::memcpy(p, "glimmoring", 10);
    p = (char*)big_realloc(p, 100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "glimmoring", 10), 0);
    p = (char*)big_realloc(p, 3 << 20);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "glimmoring", 10), 0);
    p[(3 << 20) - 1] = 'x';
    EXPECT_EQ(big_realloc(p, 5), p);  // shrinking keeps the block
    big_free(p);
    big_free(nullptr);
    void* fresh = big_realloc(nullptr, 16);
    EXPECT_NE(fresh, nullptr);
    big_free(fresh);
}

}  // namespace
