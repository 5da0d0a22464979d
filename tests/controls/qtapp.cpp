// One QApplication for every test of the executable.
#include <QApplication>

#include <gtest/gtest.h>

namespace {

class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "strandel_tests";
        static char *argv[] = {name, nullptr};
        if (!QApplication::instance())
            app_ = new QApplication(argc, argv);
    }
    void TearDown() override
    {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication *app_ = nullptr;
};

[[maybe_unused]] const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

} // namespace
