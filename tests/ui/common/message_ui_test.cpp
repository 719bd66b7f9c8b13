// The file dialogs' filters: the Windows form "text|patterns|...||" becomes Qt's.
#include "ui/common/message_ui.h"

#include <gtest/gtest.h>

namespace velmor {
namespace {

TEST(FileFilterTest, WindowsAndQtFormsConvert) {
    EXPECT_EQ(QtFileFilter("DLL Files (*.dll)|*.dll|All Files (*.*)|*.*||"),
              "DLL Files (*.dll);;All Files (*)");
    EXPECT_EQ(QtFileFilter("Models|*.stl;*.obj||"), "Models (*.stl *.obj)");
}

}  // namespace
}  // namespace velmor
