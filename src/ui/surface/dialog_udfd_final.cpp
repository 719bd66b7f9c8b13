#include "ui/surface/dialog_udfd_final.h"

#include "core/surface/row_catalogue.h"
#include "ui/common/dialog_units.h"

namespace velmor {

namespace {
const QSize kTemplateSize(DluX(208), DluY(220));
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
