// SPDX-License-Identifier: GPL-3.0-or-later
// GoogleTest main with an application object: the fetch object's timer runs in an
// event loop.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
