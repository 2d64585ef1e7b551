#include "plugin/CPlugProgram.h"

#include <cstring>

CPlugProgram::CPlugProgram()
    : hf_gain(0.5f), lf_gain(0.5f), mid_gain(0.5f), hf_freq(0.5f), lf_freq(0.5f),
      mid_freq(0.5f), mid_bw(0.5f), bypass_switch(1.0f)
{
    set_name("Default");
}

void CPlugProgram::set_name(const char* text)
{
    if (!text)
        return;
    size_t n = strnlen(text, sizeof name - 1);
    std::memset(name, 0, sizeof name);
    std::memcpy(name, text, n);
}
