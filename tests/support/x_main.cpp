// main() of the test programs whose tests all run on one private X server of
// the program's own, 1000 x 2100 (room for the largest editor), named by
// DISPLAY; listing the tests starts none.
#include "tests/support/support.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<test_support::private_xvfb> server;
    if (!GTEST_FLAG_GET(list_tests)) {
        server = std::make_unique<test_support::private_xvfb>("1000x2100x24");
        if (!server->running())
            return std::fprintf(stderr, "Xvfb did not start\n"), 1;
        server->use();
    }
    return RUN_ALL_TESTS();
}
