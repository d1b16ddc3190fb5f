// The gadget table.
#include "gui/gadget_table.h"

// The gadget table itself.
template <>
ObjectTable* GadgetRegistry::table_ = nullptr;

namespace {

constexpr int32_t GADGET_TABLE_STEP = 50;

} // namespace

bool GadgetTableCreate(ObjectTableHook destroyHolder) {
    return GadgetRegistry::Create(GADGET_TABLE_STEP, destroyHolder);
}

GadgetRecord* GadgetOfControl(HWND control) {
    if (!control) {
        return nullptr;
    }
    GadgetRecord* record = FindGadget(GetWindowLongPtrA(control, GWLP_ID));
    return record && record->control == control ? record : nullptr;
}
