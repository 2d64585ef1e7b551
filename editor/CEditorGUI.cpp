#include "editor/CEditorGUI.h"

#include <cstring>

namespace {
// Parameter index (0 to 7) to its position in the editor's mirror.
constexpr int kMirrorSlotOfIndex[CEditorGUI::kNumMirroredParams] = {0, 1, 5, 2, 4, 3, 6, 7};
}  // namespace

CEditorGUI::CEditorGUI(AudioEffect* effect) : AEffEditor(effect)
{
    systemWindow = nullptr;
    for (int i = 0; i < kNumMirroredParams; ++i)
        parameter_mirror[i].store(i == kNumMirroredParams - 1 ? 1.0f : 0.5f,
                                  std::memory_order_relaxed);
    std::strcpy(window_title, "ZE710 Kestrelwood");
}

CEditorGUI::~CEditorGUI() {}

bool CEditorGUI::getRect(ERect** out)
{
    rect.top = 0;
    rect.left = 0;
    rect.bottom = kPanelHeight;
    rect.right = kPanelWidth;
    if (out)
        *out = &rect;
    return false;
}

bool CEditorGUI::open(void* /*parent*/)
{
    return false;
}

void CEditorGUI::close() {}

void CEditorGUI::setParameter(int index, float value)
{
    if (index >= 0 && index < kNumMirroredParams)
        parameter_mirror[kMirrorSlotOfIndex[index]].store(value, std::memory_order_relaxed);
    else if (index == kUiSizeIndex)
        ui_size.store(value, std::memory_order_relaxed);
}

void CEditorGUI::setProgram(int index)
{
    current_program.store(index, std::memory_order_relaxed);
}

void CEditorGUI::setHostEffEnable(float value)
{
    host_bypass.store(!(value > 0.5f), std::memory_order_relaxed);
}

void CEditorGUI::set_plugin_name(char* name)
{
    if (!name)
        return;
    size_t n = strnlen(name, sizeof window_title - 1);
    std::memcpy(window_title, name, n);
    window_title[n] = 0;
}
