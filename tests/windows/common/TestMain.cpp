// The main of every Windows test program: a failing or crashing test must end the
// program, never wait under Wine for a click on an error dialog that nobody sees.
#include <gtest/gtest.h>

#include <windows.h>

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
