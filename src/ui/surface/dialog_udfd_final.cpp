#include "surface/dialog_udfd_final.h"

#include "app/dialog_units.h"
#include "surface/row_catalogue.h"

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
