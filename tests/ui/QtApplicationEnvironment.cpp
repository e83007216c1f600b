// One application object, the program's own, for every test of the desktop front end, on the
// offscreen platform unless the caller chose another.

#include "support/TempDir.h"
#include "ui/GuardedApplication.h"

#include <QApplication>
#include <memory>

#include <gtest/gtest.h>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        // The program's settings file and workbooks go to a folder of this
        // run, never to the person's own.
        home_ = std::make_unique<vellrun::testing::TempDir>("vellrun-ui-home");
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((home_->Path() / "config").string()));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((home_->Path() / "cache").string()));
        application_ = std::make_unique<vellrun::ui::GuardedApplication>(argc_, argv_);
        application_->SetCatching(false);
    }
    void TearDown() override {
        application_.reset();
        home_.reset();
    }

private:
    int argc_ = 1;
    char name_[8] = "test_ui";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<vellrun::ui::GuardedApplication> application_;
    std::unique_ptr<vellrun::testing::TempDir> home_;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
