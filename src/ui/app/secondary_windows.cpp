#include "app/secondary_windows.h"

namespace velmor {

QString UdFdInitialTitle(int recordVersion) {
    switch (recordVersion) {
        case 1:
            return QStringLiteral("Initial USER_DATA FIXED_DATA2");
        case 2:
            return QStringLiteral("Initial USER_DATA FIXED_DATA3");
        case 3:
            return QStringLiteral("Initial USER_DATA FIXED_DATA4");
        default:
            break;
    }
    return QStringLiteral("Initial USER_DATA FIXED_DATA");
}

}  // namespace velmor
