// The LV2 UI module's one exported symbol (see ze710_lv2_ui.map).
#include "lv2/Ze710Lv2Ui.h"

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
    return index == 0 ? &ze710_lv2_ui_descriptor : nullptr;
}
