#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    // Real widgets without a display; also when gtest_discover_tests runs the
    // binary at build time.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
