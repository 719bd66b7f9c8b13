// The message interface: filter conversion and the scripted answers.
#include <gtest/gtest.h>

#include "app/scripted_message_ui.h"

namespace velmor {
namespace {

TEST(MessageUiTest, WindowsFiltersBecomeQtFilters) {
    EXPECT_EQ(QtFileFilter("DLL Files (*.dll)|*.dll|All Files (*.*)|*.*||"),
              "DLL Files (*.dll);;All Files (*)");
    EXPECT_EQ(QtFileFilter("Source Files (*.txt)|*.txt|TEXT Files (*.*)|*.*||"),
              "Source Files (*.txt);;TEXT Files (*)");
    // The pattern decides, whatever the name shows; lists are separated by ';'.
    EXPECT_EQ(QtFileFilter("Models|*.stl;*.obj||"), "Models (*.stl *.obj)");
    EXPECT_EQ(QtFileFilter("STL (*.bin)|*.stl"), "STL (*.stl)");
    EXPECT_EQ(QtFileFilter(""), "");
}

TEST(MessageUiTest, ScriptedAnswersComeInOrderAndTheOldInterfaceReturns) {
    MessageUi* before = &Messages();
    {
        CScriptedMessageUi scripted;
        EXPECT_EQ(&Messages(), &scripted);
        scripted.QueueAnswer(MessageAnswer::Cancel);
        EXPECT_EQ(ShowMessage(nullptr, "a", MessageIcon::Question, MessageButtons::OkCancel),
                  MessageAnswer::Cancel);
        EXPECT_EQ(ShowMessage(nullptr, "b", MessageIcon::Stop), MessageAnswer::Ok);
        EXPECT_EQ(ShowMessage(nullptr, "c", MessageIcon::None, MessageButtons::YesNo),
                  MessageAnswer::Yes);
        ASSERT_EQ(scripted.Shown().size(), 3u);
        EXPECT_EQ(scripted.Shown()[1].text, "b");
        EXPECT_EQ(scripted.Shown()[1].icon, MessageIcon::Stop);

        scripted.QueuePath(QStringLiteral("/tmp/x.so"));
        scripted.QueuePath(std::nullopt);
        FileDialogRequest request;
        request.title = "Open";
        EXPECT_EQ(Messages().OpenFileName(nullptr, request), QStringLiteral("/tmp/x.so"));
        EXPECT_FALSE(Messages().SaveFileName(nullptr, request).has_value());
        EXPECT_FALSE(Messages().OpenFileName(nullptr, request).has_value());  // none queued
        ASSERT_EQ(scripted.FileDialogs().size(), 3u);
        EXPECT_TRUE(scripted.FileDialogs()[1].save);
        EXPECT_EQ(scripted.FileDialogs()[0].request.title, "Open");
    }
    EXPECT_EQ(&Messages(), before);
}

}  // namespace
}  // namespace velmor
