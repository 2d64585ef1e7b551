// The controller face: the parameters as hosts list, show and set them,
// the program list, the host's component handler and the view.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "model/eq_display.h"
#include "vst3/Ze710Vst3.h"
#include "vst3/Ze710Vst3View.h"
#include "vst3/vst3_text.h"

using namespace vst3;

namespace {

// The VST 2 parameter names, by index.
const char* const kSoundTitles[kEqNumSoundParams] = {
    "HF dB", "LF dB", "Mid Hz", "Mid dB", "LF Hz", "HF Hz", "Mid BW", "Effect",
};
// As many bytes as VST 2 gives a display text: the same texts in every format.
constexpr size_t kDisplayBytes = 24;
constexpr int kLastProgram = kEqNumPrograms - 1;
// The order in which a program's values reach the host, as in VST 2.
constexpr int kProgramOrder[kEqNumSoundParams] = {kEqHfGain, kEqLfGain, kEqMidGain, kEqHfFreq,
                                                  kEqLfFreq, kEqMidFreq, kEqMidBw,  kEqEffect};

bool is_sound(ParamID id) { return id < static_cast<ParamID>(kEqNumSoundParams); }

float clamp01(double v) { return v > 1.0 ? 1.0f : (v < 0.0 ? 0.0f : static_cast<float>(v)); }

int program_of(double normalised)
{
    return static_cast<int>(std::lround(clamp01(normalised) * kLastProgram));
}

}  // namespace

using Controller = Ze710Vst3::Controller;

tresult Controller::initialize(FUnknown*)
{
    return kResultOk;
}

tresult Controller::terminate()
{
    return setComponentHandler(nullptr);
}

// ---- state ------------------------------------------------------------------------------

tresult Controller::setComponentState(IBStream* state)
{
    EqBank bank;
    if (!Ze710Vst3::read_bank(state, &bank))
        return kResultFalse;
    fx.apply_bank(bank, false);
    return kResultOk;
}

tresult Controller::setState(IBStream*)
{
    return kResultOk;  // everything travels with the component's state
}

tresult Controller::getState(IBStream*)
{
    return kResultOk;
}

// ---- parameters ----------------------------------------------------------------------------

tresult Controller::getParameterInfo(int32 index, ParameterInfo& info)
{
    if (index < 0 || index >= kNumParameters)
        return kInvalidArgument;
    std::memset(&info, 0, sizeof info);
    info.unitId = kRootUnitId;
    info.flags = ParameterInfo::kCanAutomate;
    const char* title;
    if (index < kEqNumSoundParams) {
        // Units stay empty, as the VST 2 labels: the unit is in the text.
        info.id = static_cast<ParamID>(index);
        title = kSoundTitles[index];
        info.stepCount = index == kEqEffect ? 1 : 0;
        info.defaultNormalizedValue = eq_default_of(index);
    } else if (index == kEqNumSoundParams) {
        info.id = kBypassId;
        title = "Bypass";
        info.stepCount = 1;
        info.flags |= ParameterInfo::kIsBypass;
    } else {
        info.id = kProgramId;
        title = "Program";
        info.stepCount = kLastProgram;
        info.flags |= ParameterInfo::kIsProgramChange | ParameterInfo::kIsList;
    }
    utf16_from_bytes(info.title, 128, title);
    utf16_from_bytes(info.shortTitle, 128, title);
    return kResultOk;
}

tresult Controller::getParamStringByValue(ParamID id, ParamValue value, String128 string)
{
    if (!string || !std::isfinite(value))
        return kInvalidArgument;
    char text[kDisplayBytes + 1] = "";
    if (is_sound(id)) {
        eq_display_text(static_cast<int>(id), clamp01(value), text, kDisplayBytes);
    } else if (id == kBypassId) {
        std::strcpy(text, value > 0.5 ? "On" : "Off");
    } else if (id == kProgramId) {
        const EqProgram program = fx.bank.program(program_of(value));
        utf16_from_bytes(string, 128, program.name);
        return kResultOk;
    } else {
        return kInvalidArgument;
    }
    utf16_from_bytes(string, 128, text);
    return kResultOk;
}

tresult Controller::getParamValueByString(ParamID id, TChar* string, ParamValue& value)
{
    if (!string)
        return kInvalidArgument;
    char text[128];
    bytes_from_utf16(text, sizeof text, string, 128);
    if (is_sound(id)) {
        float v;
        if (!eq_value_of_text(static_cast<int>(id), text, &v))
            return kResultFalse;
        value = v;
    } else if (id == kBypassId) {
        if (!strcasecmp(text, "on") || !strcmp(text, "1"))
            value = 1.0;
        else if (!strcasecmp(text, "off") || !strcmp(text, "0"))
            value = 0.0;
        else
            return kResultFalse;
    } else if (id == kProgramId) {
        // A program's name or number, 1 to 9 (names begin with it: "05 ...").
        char* end = nullptr;
        const long number = std::strtol(text, &end, 10);
        if (end == text || number < 1 || number > kEqNumPrograms)
            return kResultFalse;
        value = static_cast<double>(number - 1) / kLastProgram;
    } else {
        return kInvalidArgument;
    }
    return kResultOk;
}

ParamValue Controller::normalizedParamToPlain(ParamID id, ParamValue value)
{
    if (is_sound(id))
        return eq_physical_of(static_cast<int>(id), clamp01(value));
    return id == kProgramId ? program_of(value) : value;
}

ParamValue Controller::plainParamToNormalized(ParamID id, ParamValue plain)
{
    if (is_sound(id))
        return clamp01(eq_normalised_of(static_cast<int>(id), static_cast<float>(plain)));
    return clamp01(id == kProgramId ? plain / kLastProgram : plain);
}

ParamValue Controller::getParamNormalized(ParamID id)
{
    if (is_sound(id))
        return fx.bank.value(static_cast<int>(id));
    if (id == kBypassId)
        return fx.bypass.load();
    if (id == kProgramId)
        return static_cast<double>(fx.bank.current_program()) / kLastProgram;
    return 0.0;
}

tresult Controller::setParamNormalized(ParamID id, ParamValue value)
{
    if (!std::isfinite(value))
        return kInvalidArgument;
    const float v = clamp01(value);
    if (is_sound(id)) {
        fx.edit_value(static_cast<int>(id), v);
    } else if (id == kBypassId) {
        fx.bypass.store(v > 0.5f ? 1.0f : 0.0f);
    } else if (id == kProgramId) {
        const int program = program_of(value);
        if (program == fx.bank.current_program())
            return kResultOk;
        fx.bank.select_program(program);
    } else {
        return kInvalidArgument;
    }

    Ze710Vst3View* open = fx.acquire_view();
    if (open) {
        CEditorGUI& editor = open->editor();
        if (is_sound(id)) {
            editor.setParameter(static_cast<int>(id), v);
        } else if (id == kBypassId) {
            editor.setHostEffEnable(v > 0.5f ? 0.0f : 1.0f);
        } else {
            for (int p = 0; p < kEqNumSoundParams; ++p)
                editor.setParameter(p, fx.bank.value(p));
            editor.setProgram(fx.bank.current_program());
        }
        open->release();
    }
    // A new program changes every value: the host hears each one as an
    // edit, as the VST 2 plug-in reports a program's values. Not while a
    // host restores a session into a new instance (a program before any
    // state or audio): the values and the state it restores next count, and
    // Ardour would apply edits reported now after them. (A restart request
    // instead would come from inside the host's own program change, where
    // Ardour 7 waits for itself.)
    if (id == kProgramId && fx.settled.load())
        if (IComponentHandler* handler = fx.handler()) {
            for (int p : kProgramOrder) {
                handler->beginEdit(static_cast<ParamID>(p));
                handler->performEdit(static_cast<ParamID>(p), fx.bank.value(p));
                handler->endEdit(static_cast<ParamID>(p));
            }
            handler->release();
        }
    return kResultOk;
}

tresult Controller::setComponentHandler(IComponentHandler* handler)
{
    if (handler)
        handler->addRef();
    IComponentHandler* old;
    {
        std::lock_guard<std::mutex> lock(fx.link_mutex);
        old = fx.component_handler;
        fx.component_handler = handler;
    }
    if (old)
        old->release();
    return kResultOk;
}

IPlugView* Controller::createView(FIDString name)
{
    if (!name || std::strcmp(name, kViewTypeEditor) != 0)
        return nullptr;
    {
        std::lock_guard<std::mutex> lock(fx.link_mutex);
        if (fx.view)
            return nullptr;
    }
    Ze710Vst3View* view = Ze710Vst3View::create(fx);
    if (!view)
        return nullptr;
    std::lock_guard<std::mutex> lock(fx.link_mutex);
    if (fx.view) {  // another thread was quicker
        view->release();
        return nullptr;
    }
    fx.view = view;
    return view;
}

// ---- the program list ----------------------------------------------------------------------

tresult Controller::getUnitInfo(int32 index, UnitInfo& info)
{
    if (index != 0)
        return kInvalidArgument;
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    utf16_from_bytes(info.name, 128, "Root");
    info.programListId = kProgramListId;
    return kResultOk;
}

tresult Controller::getProgramListInfo(int32 index, ProgramListInfo& info)
{
    if (index != 0)
        return kInvalidArgument;
    info.id = kProgramListId;
    utf16_from_bytes(info.name, 128, "Programs");
    info.programCount = kEqNumPrograms;
    return kResultOk;
}

tresult Controller::getProgramName(ProgramListID list, int32 index, String128 name)
{
    if (list != kProgramListId || index < 0 || index >= kEqNumPrograms || !name)
        return kInvalidArgument;
    utf16_from_bytes(name, 128, fx.bank.program(index).name);
    return kResultOk;
}

tresult Controller::selectUnit(UnitID unit)
{
    return unit == kRootUnitId ? kResultOk : kInvalidArgument;
}

tresult Controller::getUnitByBus(MediaType, BusDirection, int32, int32, UnitID& unit)
{
    unit = kRootUnitId;
    return kResultOk;
}
