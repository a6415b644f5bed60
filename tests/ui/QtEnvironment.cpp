// One QApplication for the whole test run, on Qt's offscreen platform unless the caller chose
// another, with the look the program itself uses, in German: the window's texts are checked
// word for word as the German program showed them (a test wanting English switches and back).

#include "core/Language.h"
#include "ui/MainWindowApp.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QApplication>(argc_, argv_);
        ASSERT_TRUE(
            taktwerk::core::useLanguage(taktwerk::core::Language::German, TAKTWERK_LOCALE_DIR));
        taktwerk::ui::prepareApplication(*application_);
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[8] = "test_ui";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] const auto* const kRegistered =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
