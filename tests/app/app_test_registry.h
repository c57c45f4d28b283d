// Registers QtTest classes so that one executable runs them all.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace vorlano::testing {

using TTestFactory = std::function<std::unique_ptr<QObject>()>;
std::vector<TTestFactory>& TestFactories();

struct TRegistrar {
    explicit TRegistrar(TTestFactory factory) { TestFactories().push_back(std::move(factory)); }
};

}  // namespace vorlano::testing

#define VORLANO_REGISTER_TEST(Class)                            \
    static const vorlano::testing::TRegistrar Class##Registrar( \
        [] { return std::make_unique<Class>(); });
