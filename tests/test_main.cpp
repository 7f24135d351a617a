#include <gtest/gtest.h>

#include <clocale>

#include "pipeline/image_io.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    initImageIo();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
