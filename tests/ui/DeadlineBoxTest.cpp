#include "setup/GameSetup.h"
#include "support/RecordingUserInterface.h"
#include "ui/AdvancedSettingsDialog.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace turnpost {
namespace {

using test::RecordingUserInterface;

TEST(DeadlineBox, TakesWholeHoursAndRefusesTheRest)
{
    const struct
    {
        const char* Typed;
        std::int32_t Stored; // what the setup holds afterwards; 7 is the value before
        const char* Message; // empty: accepted
    } cases[] = {
        {"48", 48, ""},
        {"0", 0, ""},
        {"8760", 8760, ""},
        {"two days", 7, "Please enter an integer."},
        {"-1", 7, "The deadline must be from 0 to 8760 hours (0 for none)."},
        {"8761", 7, "The deadline must be from 0 to 8760 hours (0 for none)."},
    };
    for (const auto& c : cases) {
        GameSetup setup;
        setup.TurnDeadlineHours = 7;
        RecordingUserInterface ui;
        CAdvancedSettingsDialog dialog(setup, ui);
        dialog.show();
        auto* edit = dialog.findChild<QLineEdit*>("deadlineHoursEdit");
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), "7");
        edit->setText(c.Typed);
        dialog.findChild<QPushButton*>("okButton")->click();

        EXPECT_EQ(setup.TurnDeadlineHours, c.Stored) << c.Typed;
        if (*c.Message == '\0') {
            EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.Typed;
            EXPECT_TRUE(ui.Messages.empty()) << c.Typed;
            continue;
        }
        ASSERT_EQ(ui.Messages.size(), 1u) << c.Typed;
        EXPECT_EQ(ui.Messages[0].Text, c.Message);
        EXPECT_EQ(dialog.focusWidget(), edit) << c.Typed;
        EXPECT_TRUE(dialog.isVisible()) << c.Typed;
    }
}

} // namespace
} // namespace turnpost
