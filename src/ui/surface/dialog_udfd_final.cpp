#include "surface/dialog_udfd_final.h"

#include "surface/row_catalogue.h"

namespace velmor {

namespace {
// 208 x 220 dialog units.
const QSize kTemplateSize(312, 358);
}  // namespace

CDialogUdFdFinal::CDialogUdFdFinal(const SettingsFile& settings, QWidget* parent)
    : CRecordTablesDialog(settings, kSectionProfileUdFinal, kSectionProfileFdFinal, kTemplateSize,
                          parent) {
    setWindowTitle(TitleFor(RecordVersion()));
}

QString CDialogUdFdFinal::TitleFor(int) const {
    return kFinalTablesTitle;
}

}  // namespace velmor
