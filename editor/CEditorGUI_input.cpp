// CEditorGUI: pointer input (GUI thread, through the trampolines registered
// at open). The editor does not react to the pointer yet: presses, releases,
// motion and double clicks reach these handlers and are ignored.
//
// For the handlers that will act here: widget state is guarded by
// widget_mutex (recursive), but it must be released before calling into the
// effect (setParameterAutomated, beginEdit, endEdit, setProgram,
// getProgramName), because the effect answers under its own mutex with
// setParameter, which takes widget_mutex on the host's threads.
#include "editor/CEditorGUI.h"

void CEditorGUI::button_press_handler(int, int, unsigned int) {}
void CEditorGUI::button_release_handler(int, int, unsigned int) {}
void CEditorGUI::motion_notify_handler(int, int) {}
void CEditorGUI::double_click_handler(int, int, unsigned int) {}
