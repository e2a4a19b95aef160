#include <QApplication>

#include <gtest/gtest.h>

// The widgets need a QApplication; CTest runs this with QT_QPA_PLATFORM=offscreen.
int main(int argc, char** argv)
{
    // Test discovery runs this without CTest's environment too; widgets never need a real display here.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("turnpost");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
