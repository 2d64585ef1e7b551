#include "plugin/CPlugEditor.h"

#include <cstdio>

CPlugEditor::CPlugEditor(AudioEffectX* effect)
    : AEffEditor(effect), fx(effect), editor_gui(new CEditorGUI(this))
{
    // The framework's open flag stays clear, as hosts have always seen it.
    systemWindow = nullptr;
}

CPlugEditor::~CPlugEditor()
{
    delete editor_gui;
}

bool CPlugEditor::getRect(ERect** out)
{
    int width, height;
    editor_gui->getRect(&width, &height);
    rect.top = 0;
    rect.left = 0;
    rect.bottom = static_cast<VstInt16>(height);
    rect.right = static_cast<VstInt16>(width);
    if (out)
        *out = &rect;
    return false;
}

bool CPlugEditor::open(void* parent)
{
    return editor_gui->open(parent);
}

void CPlugEditor::close()
{
    editor_gui->close();
}

float CPlugEditor::getParameter(int index) { return fx->getParameter(index); }
void CPlugEditor::beginEdit(int index) { fx->beginEdit(index); }
void CPlugEditor::endEdit(int index) { fx->endEdit(index); }
void CPlugEditor::setParameterAutomated(int index, float value) { fx->setParameterAutomated(index, value); }

int CPlugEditor::getNumPrograms()
{
    const AEffect* record = fx->getAeffect();
    return record ? record->numPrograms : 0;
}

void CPlugEditor::setProgram(int index)
{
    fx->setProgram(index);
    fx->updateDisplay();
}

void CPlugEditor::getProgramName(char* text, int size)
{
    if (!text || size <= 0)
        return;
    char name[kVstMaxProgNameLen + 1] = {0};
    fx->getProgramName(name);
    name[kVstMaxProgNameLen] = 0;
    std::snprintf(text, static_cast<size_t>(size), "%s", name);
}

void CPlugEditor::sizeWindow(int width, int height) { fx->sizeWindow(width, height); }
