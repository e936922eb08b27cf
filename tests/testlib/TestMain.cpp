// main() of the tests that need Qt Core only: private XDG folders, then a
// QCoreApplication, then GoogleTest.
#include <QCoreApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include "tests/testlib/TestEnvironment.h"

int main(int argc, char **argv)
{
    kztest::resetTestEnvironment();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
