// CEditorHost: the effect as the editor sees it, whatever the plug-in format.
// Each format's glue implements it in a small adapter (the VST 2 one in
// plugin/CPlugEditor.h, the LV2 one in lv2/Ze710Lv2Ui.h); the editor knows
// nothing else of the format.
//
// Values are normalised (0 to 1) and indexed as in model/eq_params.h. The
// editor calls these from its GUI thread (input handlers) and from the
// host's thread (open, size). A change must come back to the editor at once
// through CEditorGUI::setParameter, before setParameterAutomated returns:
// the input handler that made it moves the widget to the value reported and
// puts its text on the banner.
// The editor never holds its widget lock while it calls in here.
#pragma once

class CEditorHost {
public:
    // The stored value of a parameter, 0 to 8.
    virtual float getParameter(int index) = 0;
    // A gesture on a parameter starts or ends (the user grabs or lets go).
    // endEdit also comes for parameters whose gesture never began.
    virtual void beginEdit(int index) = 0;
    virtual void endEdit(int index) = 0;
    // Sets a parameter from the editor and tells the host.
    virtual void setParameterAutomated(int index, float value) = 0;
    virtual int getNumPrograms() = 0;
    // Selects a program (0 to getNumPrograms() - 1) and tells the host: its
    // values arrive through setParameter, then the editor's setProgram.
    virtual void setProgram(int index) = 0;
    // The current program's name, terminated within size bytes.
    virtual void getProgramName(char* text, int size) = 0;
    // The editor window has a new size, in device pixels.
    virtual void sizeWindow(int width, int height) = 0;

protected:
    ~CEditorHost() = default;
};
