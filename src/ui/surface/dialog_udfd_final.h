// "UD FD Final": the final record pair, as the library left it after the last "Call DLL" or
// the last single-ray trace. Its "data" cells can be edited, but nothing reads them back.
#pragma once

#include "ui/surface/record_tables_dialog.h"

namespace velmor {

inline constexpr const char* kSectionProfileUdFinal = "Profile List UD Final";
inline constexpr const char* kSectionProfileFdFinal = "Profile List FD Final";

class CDialogUdFdFinal : public CRecordTablesDialog {
    Q_OBJECT
public:
    explicit CDialogUdFdFinal(const SettingsFile& settings, QWidget* parent = nullptr);

protected:
    QString TitleFor(int recordVersion) const override;
};

}  // namespace velmor
