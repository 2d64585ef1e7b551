// The LV2 module's one exported symbol (see ze710_lv2.map).
#include "lv2/Ze710Lv2.h"

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &ze710_lv2_descriptor : nullptr;
}
