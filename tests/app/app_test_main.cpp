// Runs every registered QtTest class on the offscreen platform.
#include <QApplication>
#include <QTest>

#include "tests/app/app_test_registry.h"

namespace vorlano::testing {
std::vector<TTestFactory>& TestFactories() {
    static std::vector<TTestFactory> factories;
    return factories;
}
}  // namespace vorlano::testing

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int failed = 0;
    for (const auto& factory : vorlano::testing::TestFactories()) {
        auto test = factory();
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
