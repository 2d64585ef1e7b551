// CPlugEditor: the VST 2 face of the editor. The framework's AEffEditor
// (the host's editor opcodes) on one side, CEditorHost (what the editor
// needs of the effect) on the other, both mapped onto the effect's
// AudioEffectX operations and host callbacks. Owned by the effect.
#pragma once

#include "editor/CEditorGUI.h"
#include "editor/CEditorHost.h"
#include "plugin_interface/AEffEditor.h"
#include "plugin_interface/AudioEffectX.h"

class CPlugEditor final : public AEffEditor, private CEditorHost {
public:
    explicit CPlugEditor(AudioEffectX* effect);
    // With the effect, which retires the editor first (CPlug::release_instance).
    ~CPlugEditor() override;

    CEditorGUI* gui() { return editor_gui; }

    // Host thread: the host's editor opcodes.
    bool getRect(ERect** rect) override;
    bool open(void* parent) override;
    void close() override;

private:
    float getParameter(int index) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;
    void setParameterAutomated(int index, float value) override;
    int getNumPrograms() override;
    void setProgram(int index) override;
    void getProgramName(char* text, int size) override;
    void sizeWindow(int width, int height) override;

    AudioEffectX* fx;
    ERect rect{};
    CEditorGUI* editor_gui;
};
